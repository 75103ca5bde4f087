// The main window: toolbar, alarm list, status bar, the list's and the tray
// icon's pop-up menus, the three timers and the version-information reader.
#pragma once

#include "Controls.h"
#include "ExeVersion.h"
#include "Timer.h"
#include "ui_Unit1.h"

#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>

class TForm1 : public QWidget, public Ui_TForm1 {
    Q_OBJECT

public:
    // The controls of the window definition (Unit1.ui) are the public members
    // inherited from Ui_TForm1: Panel1, Image1, Panel2/Image3 (Options),
    // Panel3/Image2 (About), Panel4/Image4 (Help), clbAlarms, StatusBar1 and the
    // menu items pmAlarmsEnableDisable, N1, pmAlarmsDuplicate, Paste1,
    // pmAlarmsDelete, pmAlarmsInsert, pmAlarmsAdd, Restore1, Options1, Exit1.
    explicit TForm1(QWidget* owner = nullptr);
    ~TForm1() override;

    // The alarm list's pop-up menu, opened at the pointer by a right click or
    // the context-menu key on clbAlarms.
    QMenu* pmAlarms;
    // The tray icon's menu: Restore, Options, Exit.
    QMenu* pmTray;
    // The notification-area icon: the application's icon, tooltip "Dormix",
    // menu pmTray. Created hidden.
    QSystemTrayIcon* TrayIcon1;
    // Hides the window to the tray once, 1000 ms after start.
    TTimer* TimerMinimize;
    // The alarm timer; first tick 5000 ms after start. Counts suspended time.
    TTimer* TimerPlayback;
    // Refreshes the time and date panels every 1000 ms.
    TTimer* UpdateTimer;
    // The executable's version information, read when the window is built.
    TExeVersion* ExeVersion;
};

extern TForm1* Form1;
