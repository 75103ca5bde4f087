// The main window: toolbar, alarm list, status bar, the list's and the tray
// icon's pop-up menus, the three timers and the version-information reader;
// it owns the alarms and the scheduler, reads the settings and alarm files
// while it is built and writes them when it closes.
//
// The operations are spread over several sources: Unit1.cpp holds start-up,
// the settings file, the alarm file, the scheduler wiring, playback and
// closing; the list commands and the tray, status-bar and toolbar handlers
// live in sources of their own beside it.
#pragma once

#include "Alarms.h"
#include "AudioSettings.h"
#include "Controls.h"
#include "DateTime.h"
#include "ExeVersion.h"
#include "Scheduler.h"
#include "Timer.h"
#include "TrayIcon.h"
#include "ui_Unit1.h"

#include <QMenu>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace dormix {
class THelpKeys;
}

class TForm1 : public QWidget, public Ui_TForm1 {
    Q_OBJECT

public:
    // The controls of the window definition (Unit1.ui) are the public members
    // inherited from Ui_TForm1: Panel1, Image1, Panel2/Image3 (Options),
    // Panel3/Image2 (About), Panel4/Image4 (Help), clbAlarms, StatusBar1 and the
    // menu items pmAlarmsEnableDisable, N1, pmAlarmsDuplicate, Paste1,
    // pmAlarmsDelete, pmAlarmsInsert, pmAlarmsAdd, Restore1, Options1, Exit1.
    //
    // The alarm file (Dormis.ini) and the settings file (Dormix.ini) live in
    // the executable's directory.
    explicit TForm1(QWidget* owner = nullptr);
    // The same with both files in `directory` (no trailing "/").
    TForm1(QWidget* owner, const std::string& directory);
    ~TForm1() override;

    // --- components ---

    // The alarm list's pop-up menu, opened at the pointer by a right click or
    // the context-menu key on clbAlarms.
    QMenu* pmAlarms;
    // The tray icon's menu: Restore, Options, Exit.
    QMenu* pmTray;
    // The notification-area icon: the application's icon, tooltip "Dormix",
    // menu pmTray; added while the window is built.
    TTrayIcon* TrayIcon1;
    // Hides the window to the tray once, 1000 ms after start.
    TTimer* TimerMinimize;
    // The alarm timer; first tick 5000 ms after start. Counts suspended time.
    TTimer* TimerPlayback;
    // Refreshes the time and date panels every 1000 ms.
    TTimer* UpdateTimer;
    // The executable's version information, read when the window is built.
    TExeVersion* ExeVersion;

    // --- fields ---

    // The alarms in row order: row i of clbAlarms shows alarm i.
    dormix::TAlarmList AlarmList;
    // Read from the settings file; the options dialog edits them in place and
    // every sound reads them afresh.
    dormix::TAudioSettings AudioSettings;
    // The window is hidden to the tray.
    bool Minimized = false;

    // The scheduler's state: the index of the armed alarm (-1 for none) and
    // the moment distances are measured from.
    std::int16_t NextAlarmIndex() const;
    dormix::TDateTime ReferenceTime() const;

    // --- alarm file ---

    // Reads the alarm file into AlarmList and one row per alarm (text and
    // check mark); expects both to be empty. Arms nothing.
    void LoadAlarms();
    // Writes every alarm to the alarm file and commits it; throws
    // dormix::Exception("Unable to write to <path>") when it cannot.
    void SaveAlarms();

    // --- scheduler ---

    // Refreshes every alarm's next due time and its row, then picks the
    // enabled alarm nearest to ReferenceTime.
    void SelectNextAlarm();
    // Sets TimerPlayback for the picked alarm, measured from now (at least one
    // second); switches it off when none is picked.
    void ArmPlaybackTimer();
    // TimerPlayback's tick: plays the armed alarm, moves it on, selects and
    // arms the next.
    void TimerPlaybackTimer();

    // --- playback ---

    // Plays the alarm's sound with AudioSettings; returns when it has ended.
    void PlayAlarm(const dormix::TAlarm& alarm);
    // Plays any sound file the same way (the alarm editor's Test button).
    void TestSound(const std::string& path);
    // How a sound is played: the sound layer by default. Tests replace it.
    std::function<void(const dormix::TAudioSettings&, const dormix::TAlarm&)> SoundPlayer;

    // --- the alarm list's commands (Unit1Commands.cpp) ---

    // pmAlarms is about to open: "Enable"/"Disable", "Insert" and "Delete"
    // follow the selected row.
    void pmAlarmsPopup();
    void pmAlarmsAddClick();
    void pmAlarmsInsertClick();
    void pmAlarmsDuplicateClick();
    void pmAlarmsDeleteClick();
    void pmAlarmsEnableDisableClick();
    // Edits the selected alarm in the alarm editor.
    void clbAlarmsDblClick();
    // The user ticked or cleared the selected row's check box.
    void clbAlarmsClickCheck();
    // The delete confirmation: true for Yes. A modal Yes/No box by default;
    // tests replace it.
    std::function<bool(const QString& caption, const QString& text)> ConfirmDelete;

    // --- tray icon, status bar and toolbar (Unit1Shell.cpp) ---

    // The tray icon hid the application: the clock stops.
    void TrayIcon1Minimize();
    // The tray icon brought it back: the clock runs again.
    void TrayIcon1Restore();
    // The tray menu's Restore and Options.
    void Restore1Click();
    // Shows DormixOptions modally on AudioSettings.
    void Options1Click();
    // Hides to the tray when the program was closed while hidden; once.
    void TimerMinimizeTimer();
    // The date into panel 1, the time into panel 2.
    void UpdateTimerTimer();
    // The texts, then the widths: date and time as wide as their texts + 20,
    // the hint panel the rest (negative when the bar is too narrow).
    void StatusBar1Resize();
    // The toolbar: Options, About, the help file's contents.
    void Image3Click();
    void Image2Click();
    void Image4Click();
    // The hover highlight of the toolbar's button frames.
    void Panel1MouseMove();
    void Panel2MouseMove();
    void Image2MouseMove();
    void Panel4MouseMove();
    // F1 on the window and its menus; the help window.
    dormix::THelpKeys* HelpKeys() const { return HelpKeys_; }

    // --- closing ---

    // The close handling: writes the alarm file, then the settings file, and
    // releases the alarms once both are written. Throws when a file cannot be
    // written; nothing is released then.
    void FormClose();
    // The tray menu's Exit: the same request as the window's close box.
    void Exit1Click();

    // The two files.
    const std::string& AlarmFileName() const { return alarmFile_; }
    const std::string& SettingsFileName() const { return settingsFile_; }

signals:
    // The close has completed: both files are written and the alarms are
    // released. The program ends on it.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    class SchedulerSeams;

    // Connects the list, its menu and the confirmation to the commands.
    void ConnectCommands();
    // Adds the tray icon (throws without a notification area) and connects
    // the tray menu, status bar, toolbar and help.
    void ConnectShell();

    void ReadSettings();
    void WriteSettings();
    // Window placement by the outer frame, as the settings file keeps it.
    void SetFrameTop(int top);
    void SetFrameLeft(int left);
    void SetFrameHeight(int height);
    void SetFrameWidth(int width);
    // Once the window manager's frame is known, the stored outer size is
    // applied again with the frame taken off.
    void ApplyPendingFrameSize();

    // A close requested while a modal window of the program is open: the modal
    // windows end as cancelled, and the close runs once their commands have
    // returned to the main loop.
    void DeferClose();
    void RetryDeferredClose();

    std::string alarmFile_;
    std::string settingsFile_;
    std::unique_ptr<SchedulerSeams> seams_;
    std::unique_ptr<dormix::TAlarmScheduler> scheduler_;
    std::optional<QSize> pendingFrameSize_;
    dormix::THelpKeys* HelpKeys_ = nullptr;
    bool closed_ = false;
    bool closeDeferred_ = false;
    int closeLoopLevel_ = 0;
};

extern TForm1* Form1;
