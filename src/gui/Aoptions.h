// The alarm editor: description, time of day, on/off switch, weekdays and
// sound file of one alarm.
#pragma once

#include "Alarms.h"
#include "ui_Aoptions.h"

#include <QDialog>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>

class QFileDialog;

namespace dormix {
class THelpKeys;
}

// The Qt display format (QDateTimeEdit::setDisplayFormat) for a strftime time
// format as glibc's nl_langinfo(T_FMT) gives it: %H %k %I %l %M %S %p %P %T
// %R %r (%r as ampmFormat, the locale's T_FMT_AMPM) and %%; E and O modifiers
// are ignored, other conversions (dates, zones) are left out, and any other
// text is kept as literal text.
QString QtTimeFormat(const std::string& strftimeFormat,
                     const std::string& ampmFormat = "%I:%M:%S %p");
// The format for the long time of the calling thread's LC_TIME locale.
QString LocaleQtTimeFormat();

// The file-open dialog component: settings kept between runs, and a run that
// shows Qt's own (not the desktop's) file dialog with them.
class TOpenDialog {
public:
    QString Title;
    QStringList Filters; // "Wave Files (*.wav)" and so on
    int FilterIndex = 0; // the filter selected at the start
    QString DefaultExt;  // without the dot
    // The file to start from (its folder too), and on confirmation the chosen
    // file's full path. Empty: no file preset.
    QString FileName;

    // Shows the dialog; true when the user confirmed an existing file, which
    // is then in FileName. FileName is unchanged otherwise.
    bool Execute(QWidget* owner);

    // Runs the configured dialog in place of the user: returns true when a
    // file is confirmed (the dialog's selectedFiles() then names it). The
    // default shows the dialog modally.
    std::function<bool(QFileDialog&)> Run;
};

class TAlarmOptions : public QDialog, public Ui_TAlarmOptions {
    Q_OBJECT

public:
    // The controls of the window definition (Aoptions.ui) are the public
    // members inherited from Ui_TAlarmOptions. BitBtn1 (OK) accepts and is the
    // default button; BitBtn2 (Cancel) rejects.
    explicit TAlarmOptions(QWidget* owner = nullptr);
    ~TAlarmOptions() override;

    // The open dialog of btnBrowse.
    TOpenDialog ODSounds;

    // The alarm to show and, on OK, to update; set by the caller before every
    // show. Not owned.
    dormix::TAlarm* Alarm = nullptr;

    // Plays a sound file to its end (the main window's TestSound); btnTest
    // passes the current text of eAudioFile. Nothing happens while unset.
    std::function<void(const std::string&)> TestSound;

    // The picker's whole value: its own date part (1 March 2003 from the
    // window definition, never changed) plus the time of day it shows.
    dormix::TDateTime DTPTimeValue() const;

    void FormShow();
    // The modal result is result(): OK writes the controls into Alarm.
    void FormClose();
    void btnBrowseClick();
    void btnTestClick();

    // Every close passes here (OK, Cancel, Escape, the close box), FormClose
    // included.
    void done(int result) override;

    dormix::THelpKeys* HelpKeys() const { return HelpKeys_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The picker's date part, day 37681 (1 March 2003).
    dormix::TDateTime DTPDate_;
    dormix::THelpKeys* HelpKeys_;
};

extern TAlarmOptions* AlarmOptions;
