#include "Application.h"

#include "Exception.h"

#include <QMessageBox>

#include <utility>

const char* const ApplicationTitle = "Dormix - The Alarm Scheduler";

namespace {

ExceptionBoxFunc& ExceptionBox() {
    static ExceptionBoxFunc box;
    return box;
}

} // namespace

QString ExceptionMessageText(const QString& message) {
    const QByteArray bytes = message.toLocal8Bit();
    if (!bytes.isEmpty() && static_cast<unsigned char>(bytes.back()) > '.')
        return message + '.';
    return message;
}

QString ExceptionMessage(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const dormix::Exception& e) {
        return QString::fromLocal8Bit(e.Message());
    } catch (...) {
        // Any other exception stands for one of the program's own with an
        // empty message.
        return {};
    }
}

void ShowException(const QString& message) {
    const QString caption = QString::fromUtf8(ApplicationTitle);
    const QString text = ExceptionMessageText(message);
    if (ExceptionBox()) {
        ExceptionBox()(caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
    box.exec();
}

void ShowCurrentException() {
    ShowException(ExceptionMessage(std::current_exception()));
}

void SetExceptionBoxForTesting(ExceptionBoxFunc box) {
    ExceptionBox() = std::move(box);
}

// The title is not set as the display name: the platform would append that to
// every window's caption.
TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
        return false;
    }
}
