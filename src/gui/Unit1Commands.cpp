// The alarm list's commands: the items of its pop-up menu, the double click
// that edits an alarm and the check boxes that switch alarms on and off. Every
// change that takes effect ends by selecting the next alarm and arming the
// playback timer again, measured from now; a cancelled editor or a delete
// answered No changes nothing and arms nothing.
//
// The editor and the delete confirmation run their own message loops, so the
// playback timer may tick while they are open. A tick rewrites rows in place
// and never adds or removes one, so each command reads the selected row again
// once its dialog has closed.
#include "Unit1.h"

#include "Aoptions.h"
#include "Application.h"

#include <QDialog>
#include <QMessageBox>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace {

// Row positions are 16-bit signed numbers: the list holds at most this many.
constexpr std::size_t kMaxAlarms = INT16_MAX;

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// Runs a handler; an exception escaping it is shown in the standard exception
// message box, and the program goes on.
template <typename Handler> void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ShowCurrentException();
    }
}

// The modal Yes/No question before a delete: Yes is the default button, and
// there is no icon. Escape and the close box answer No.
bool AskDelete(QWidget* owner, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setDefaultButton(QMessageBox::Yes);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

// The alarm editor shown modally on `alarm`; true when it closed with OK and
// has written its controls into the alarm.
bool EditAlarm(dormix::TAlarm& alarm) {
    if (AlarmOptions == nullptr)
        return false;
    AlarmOptions->Alarm = &alarm;
    const int result = AlarmOptions->exec();
    // A new alarm is destroyed when the editor is cancelled: keep no pointer to it.
    AlarmOptions->Alarm = nullptr;
    return result == QDialog::Accepted;
}

// The selected row when it stands for an alarm, -1 otherwise.
int SelectedAlarm(const TForm1& form) {
    const int p = form.clbAlarms->ItemIndex();
    if (p < 0 || static_cast<std::size_t>(p) >= form.AlarmList.size())
        return -1;
    return p;
}

// Where Add and Duplicate put an alarm: just below the selected row, at the
// end when none or the last one is selected.
int BelowSelected(const TForm1& form) {
    const int count = static_cast<int>(form.AlarmList.size());
    const int p = SelectedAlarm(form);
    return p < 0 || p == count - 1 ? count : p + 1;
}

// Puts the alarm into the list at `index` with its row and its check mark.
void PutAlarm(TForm1& form, int index, std::unique_ptr<dormix::TAlarm> alarm) {
    const QString text = Local(alarm->GetDisplayText());
    const bool enabled = alarm->Enabled;
    form.AlarmList.insert(form.AlarmList.begin() + index, std::move(alarm));
    form.clbAlarms->InsertRow(index, text, enabled);
}

// True, after saying so, when the list cannot take another alarm.
bool ListIsFull(TForm1& form) {
    if (form.AlarmList.size() < kMaxAlarms)
        return false;
    QMessageBox box(
        QMessageBox::Information, QString::fromUtf8(ApplicationTitle),
        QStringLiteral("The alarm list is full: Dormix holds at most %1 alarms.").arg(kMaxAlarms),
        QMessageBox::Ok, &form);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return true;
}

void Reschedule(TForm1& form) {
    form.SelectNextAlarm();
    form.ArmPlaybackTimer();
}

} // namespace

void TForm1::ConnectCommands() {
    ConfirmDelete = [this](const QString& caption, const QString& text) {
        return AskDelete(this, caption, text);
    };
    connect(pmAlarms, &QMenu::aboutToShow, this, [this] { Guarded([this] { pmAlarmsPopup(); }); });
    const std::pair<QAction*, void (TForm1::*)()> items[] = {
        {pmAlarmsEnableDisable, &TForm1::pmAlarmsEnableDisableClick},
        {pmAlarmsDuplicate, &TForm1::pmAlarmsDuplicateClick},
        {pmAlarmsInsert, &TForm1::pmAlarmsInsertClick},
        {pmAlarmsDelete, &TForm1::pmAlarmsDeleteClick},
        {pmAlarmsAdd, &TForm1::pmAlarmsAddClick},
    };
    for (const auto& [action, handler] : items)
        connect(action, &QAction::triggered, this,
                [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
    connect(clbAlarms, &TCheckListBox::DblClick, this,
            [this] { Guarded([this] { clbAlarmsDblClick(); }); });
    connect(clbAlarms, &TCheckListBox::ClickCheck, this,
            [this] { Guarded([this] { clbAlarmsClickCheck(); }); });
}

void TForm1::pmAlarmsPopup() {
    const int p = clbAlarms->ItemIndex();
    const bool selected = p >= 0;
    // Without a selected row the caption stays as it was.
    if (selected)
        pmAlarmsEnableDisable->setText(clbAlarms->Checked(p) ? QStringLiteral("Disable")
                                                             : QStringLiteral("Enable"));
    pmAlarmsEnableDisable->setEnabled(selected);
    pmAlarmsInsert->setEnabled(selected);
    pmAlarmsDelete->setEnabled(selected);
}

void TForm1::pmAlarmsAddClick() {
    if (ListIsFull(*this))
        return;
    auto alarm = std::make_unique<dormix::TAlarm>();
    if (!EditAlarm(*alarm))
        return;
    PutAlarm(*this, BelowSelected(*this), std::move(alarm));
    Reschedule(*this);
}

void TForm1::pmAlarmsInsertClick() {
    if (ListIsFull(*this))
        return;
    auto alarm = std::make_unique<dormix::TAlarm>();
    if (!EditAlarm(*alarm))
        return;
    PutAlarm(*this, std::max(SelectedAlarm(*this), 0), std::move(alarm));
    Reschedule(*this);
}

void TForm1::pmAlarmsDuplicateClick() {
    const int p = SelectedAlarm(*this);
    if (p < 0 || ListIsFull(*this))
        return;
    auto copy = std::make_unique<dormix::TAlarm>();
    copy->CopyFrom(*AlarmList[static_cast<std::size_t>(p)]);
    PutAlarm(*this, BelowSelected(*this), std::move(copy));
    Reschedule(*this);
}

void TForm1::pmAlarmsDeleteClick() {
    int p = SelectedAlarm(*this);
    if (p < 0)
        return;
    const QString description = Local(AlarmList[static_cast<std::size_t>(p)]->Description);
    if (!ConfirmDelete("Delete " + description + " Alarm?",
                       "Are you sure you want to permanently and irrevocably delete " +
                           description + "?"))
        return;
    p = SelectedAlarm(*this);
    if (p < 0)
        return;
    clbAlarms->DeleteRow(p);
    AlarmList.erase(AlarmList.begin() + p);
    Reschedule(*this);
}

void TForm1::pmAlarmsEnableDisableClick() {
    const int p = SelectedAlarm(*this);
    if (p < 0)
        return;
    clbAlarms->SetChecked(p, !clbAlarms->Checked(p));
    clbAlarmsClickCheck();
}

void TForm1::clbAlarmsClickCheck() {
    const int p = SelectedAlarm(*this);
    if (p < 0)
        return;
    dormix::TAlarm& alarm = *AlarmList[static_cast<std::size_t>(p)];
    alarm.Enabled = clbAlarms->Checked(p);
    clbAlarms->SetRowText(p, Local(alarm.GetDisplayText()));
    Reschedule(*this);
}

void TForm1::clbAlarmsDblClick() {
    const int p = SelectedAlarm(*this);
    if (p < 0)
        return;
    dormix::TAlarm* alarm = AlarmList[static_cast<std::size_t>(p)].get();
    if (!EditAlarm(*alarm))
        return;
    // The selected row is read again; it is the edited alarm's, since nothing
    // adds or removes rows while the editor is open. Should it not be, the
    // edited alarm's own row is rewritten, so that row i still shows alarm i.
    int row = SelectedAlarm(*this);
    if (row < 0 || AlarmList[static_cast<std::size_t>(row)].get() != alarm) {
        const auto it = std::find_if(AlarmList.begin(), AlarmList.end(),
                                     [alarm](const auto& a) { return a.get() == alarm; });
        if (it == AlarmList.end())
            return;
        row = static_cast<int>(it - AlarmList.begin());
    }
    clbAlarms->SetRowText(row, Local(alarm->GetDisplayText()));
    clbAlarms->SetChecked(row, alarm->Enabled);
    Reschedule(*this);
}
