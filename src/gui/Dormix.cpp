// The program's entry point: the application object and its four windows.
#include "About.h"
#include "Aoptions.h"
#include "Application.h"
#include "Controls.h"
#include "Doptions.h"
#include "Unit1.h"

#include <QIcon>

#include <memory>

namespace {

QIcon ApplicationIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addFile(QString(":/images/app-%1.png").arg(size), QSize(size, size));
    return icon;
}

} // namespace

int main(int argc, char* argv[]) {
    // The application object outlives the windows; the windows are destroyed
    // in the reverse order of their creation.
    std::unique_ptr<TApplication> application;
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TAlarmOptions> alarmOptions;
    std::unique_ptr<TDormixOptions> dormixOptions;
    std::unique_ptr<TfAbout> about;
    try {
        application = std::make_unique<TApplication>(argc, argv);
        InitGuiResources();
        QApplication::setWindowIcon(ApplicationIcon());

        form1 = std::make_unique<TForm1>();
        Form1 = form1.get();
        alarmOptions = std::make_unique<TAlarmOptions>();
        AlarmOptions = alarmOptions.get();
        dormixOptions = std::make_unique<TDormixOptions>();
        DormixOptions = dormixOptions.get();
        about = std::make_unique<TfAbout>();
        fAbout = about.get();
        AlarmOptions->TestSound = [](const std::string& path) { Form1->TestSound(path); };

        // The program ends when its main window has closed, whatever other
        // window (the tray icon's) is still up.
        QObject::connect(Form1, &TForm1::Closed, application.get(), &QCoreApplication::quit,
                         Qt::QueuedConnection);

        Form1->show();
        QApplication::exec();
    } catch (...) {
        // The program's own exceptions show their message, anything else an
        // empty one; then the program ends.
        if (application)
            ShowCurrentException();
    }
    fAbout = nullptr;
    DormixOptions = nullptr;
    AlarmOptions = nullptr;
    Form1 = nullptr;
    return 0;
}
