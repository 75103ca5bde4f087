#include "Unit1.h"

#include <QApplication>

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* owner) : QWidget(owner) {
    InitGuiResources();
    setupUi(this);

    pmAlarms = new QMenu(this);
    pmAlarms->setObjectName("pmAlarms");
    pmAlarms->addActions({pmAlarmsEnableDisable, N1, pmAlarmsDuplicate, Paste1, pmAlarmsInsert,
                          pmAlarmsDelete, pmAlarmsAdd});
    connect(clbAlarms, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        pmAlarms->popup(clbAlarms->viewport()->mapToGlobal(pos));
    });

    pmTray = new QMenu(this);
    pmTray->setObjectName("pmTray");
    pmTray->addActions({Restore1, Options1, Exit1});

    TrayIcon1 = new QSystemTrayIcon(QApplication::windowIcon(), this);
    TrayIcon1->setObjectName("TrayIcon1");
    TrayIcon1->setToolTip("Dormix");
    TrayIcon1->setContextMenu(pmTray);

    // The timers count from here, as the window is built.
    TimerMinimize = new TTimer(this, TimerClock::Precise, 1000, true);
    TimerMinimize->setObjectName("TimerMinimize");
    TimerPlayback = new TTimer(this, TimerClock::Boot, 5000, true);
    TimerPlayback->setObjectName("TimerPlayback");
    UpdateTimer = new TTimer(this, TimerClock::Precise, 1000, true);
    UpdateTimer->setObjectName("UpdateTimer");

    ExeVersion = new TExeVersion(this);
    ExeVersion->setObjectName("ExeVersion");
}

TForm1::~TForm1() = default;
