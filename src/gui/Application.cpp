#include "Application.h"

#include "Exception.h"

#include <QMessageBox>

const char* const ApplicationTitle = "Dormix - The Alarm Scheduler";

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
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return {};
    }
}

void ShowException(const QString& message) {
    QMessageBox box(QMessageBox::Critical, QString::fromUtf8(ApplicationTitle),
                    ExceptionMessageText(message), QMessageBox::Ok);
    box.exec();
}

// The title is not set as the display name: the platform would append that to
// every window's caption.
TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowException(ExceptionMessage(std::current_exception()));
        return false;
    }
}
