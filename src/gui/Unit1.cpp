#include "Unit1.h"

#include "AlarmFile.h"
#include "AppPaths.h"
#include "Application.h"
#include "IniFile.h"
#include "Playback.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <utility>

TForm1* Form1 = nullptr;

namespace {

// Runs a handler; an exception escaping it is shown in the standard exception
// message box, and the program goes on.
template <typename Handler> void Guarded(Handler&& handler) {
    try {
        handler();
    } catch (...) {
        ShowCurrentException();
    }
}

// Device and Volume keep the low 16 bits of the integer read, as a signed number.
std::int16_t Low16(std::int32_t value) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(value & 0xFFFF));
}

// The program's modal windows that are open, each told to end as cancelled.
int RejectModalDialogs() {
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(widget);
        if (dialog != nullptr && dialog->isVisible() && dialog->isModal()) {
            ++count;
            dialog->reject();
        }
    }
    return count;
}

} // namespace

// The scheduler's view of the window: its playback timer and its list rows.
class TForm1::SchedulerSeams : public dormix::IPlaybackTimer, public dormix::IAlarmRows {
public:
    explicit SchedulerSeams(TForm1& form) : form_(form) {}

    int Interval() const override { return form_.TimerPlayback->Interval(); }
    void SetInterval(int ms) override { form_.TimerPlayback->SetInterval(ms); }
    bool Enabled() const override { return form_.TimerPlayback->Enabled(); }
    void SetEnabled(bool on) override { form_.TimerPlayback->SetEnabled(on); }

    void SetRowText(int index, const std::string& text) override {
        form_.clbAlarms->SetRowText(index, QString::fromLocal8Bit(text));
    }
    void SetRowChecked(int index, bool checked) override {
        form_.clbAlarms->SetChecked(index, checked);
    }

private:
    TForm1& form_;
};

TForm1::TForm1(QWidget* owner) : TForm1(owner, dormix::ExeDirectory()) {}

TForm1::TForm1(QWidget* owner, const std::string& directory)
    : QWidget(owner), alarmFile_(directory + "/Dormis.ini"),
      settingsFile_(directory + "/Dormix.ini") {
    // 1. The window definition, with its timers counting from here.
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

    TimerMinimize = new TTimer(this, TimerClock::Precise, 1000, true);
    TimerMinimize->setObjectName("TimerMinimize");
    TimerPlayback = new TTimer(this, TimerClock::Boot, 5000, true);
    TimerPlayback->setObjectName("TimerPlayback");
    UpdateTimer = new TTimer(this, TimerClock::Precise, 1000, true);
    UpdateTimer->setObjectName("UpdateTimer");

    ExeVersion = new TExeVersion(this);
    ExeVersion->setObjectName("ExeVersion");

    connect(TimerPlayback, &TTimer::OnTimer, this,
            [this] { Guarded([this] { TimerPlaybackTimer(); }); });
    connect(TimerMinimize, &TTimer::OnTimer, this,
            [this] { Guarded([this] { TimerMinimizeTimer(); }); });
    connect(UpdateTimer, &TTimer::OnTimer, this,
            [this] { Guarded([this] { UpdateTimerTimer(); }); });
    connect(Exit1, &QAction::triggered, this, [this] { Guarded([this] { Exit1Click(); }); });
    ConnectCommands();
    ConnectShell();

    SoundPlayer = [](const dormix::TAudioSettings& settings, const dormix::TAlarm& alarm) {
        dormix::PlayAlarm(settings, alarm);
    };

    // 2. Nothing armed; distances measured from now. 3. AlarmList is empty.
    seams_ = std::make_unique<SchedulerSeams>(*this);
    scheduler_ = std::make_unique<dormix::TAlarmScheduler>(
        AlarmList, *seams_, *seams_, [this](const dormix::TAlarm& alarm) { PlayAlarm(alarm); });

    // 4. The caption from the version information.
    setWindowTitle(
        QString::fromLocal8Bit(ExeVersion->ProductName + " Version " + ExeVersion->FileVersion));

    // 5.-9. Placement and audio settings; 10. the alarms.
    ReadSettings();
    LoadAlarms();
}

TForm1::~TForm1() = default;

std::int16_t TForm1::NextAlarmIndex() const {
    return scheduler_->NextAlarmIndex;
}

dormix::TDateTime TForm1::ReferenceTime() const {
    return scheduler_->ReferenceTime;
}

// --- settings file ---

void TForm1::ReadSettings() {
    const dormix::TIniFile ini(settingsFile_);
    // Each value is applied before the next is read.
    SetFrameTop(ini.ReadInteger("Form", "Top", 100));
    SetFrameLeft(ini.ReadInteger("Form", "Left", 100));
    SetFrameHeight(ini.ReadInteger("Form", "Height", 400));
    SetFrameWidth(ini.ReadInteger("Form", "Width", 500));
    pendingFrameSize_ = frameGeometry().size();
    if (ini.ReadBool("Form", "Maximized", false))
        setWindowState(windowState() | Qt::WindowMaximized);
    Minimized = ini.ReadBool("Form", "Minimized", false);
    AudioSettings.Device = Low16(ini.ReadInteger("Options", "Device", 0));
    AudioSettings.Volume = Low16(ini.ReadInteger("Options", "Volume", 25));
    AudioSettings.VolumeOverride = ini.ReadBool("Options", "VolumeOverride", false);
}

void TForm1::WriteSettings() {
    dormix::TIniFile ini(settingsFile_);
    const QRect frame = frameGeometry();
    ini.WriteInteger("Form", "Top", frame.top());
    ini.WriteInteger("Form", "Left", frame.left());
    ini.WriteInteger("Form", "Height", frame.height());
    ini.WriteInteger("Form", "Width", frame.width());
    ini.WriteBool("Form", "Maximized", isMaximized());
    ini.WriteBool("Form", "Minimized", Minimized);
    ini.WriteInteger("Options", "Device", AudioSettings.Device);
    ini.WriteInteger("Options", "Volume", AudioSettings.Volume);
    ini.WriteBool("Options", "VolumeOverride", AudioSettings.VolumeOverride);
    ini.UpdateFile();
}

// A window's position is that of its frame; its size is set without the frame.
void TForm1::SetFrameTop(int top) {
    move(frameGeometry().left(), top);
}

void TForm1::SetFrameLeft(int left) {
    move(left, frameGeometry().top());
}

void TForm1::SetFrameHeight(int height) {
    resize(width(), height - (frameGeometry().height() - this->height()));
}

void TForm1::SetFrameWidth(int width) {
    resize(width - (frameGeometry().width() - this->width()), height());
}

void TForm1::ApplyPendingFrameSize() {
    // The frame is known only once the platform has framed the window, after
    // the size was set from the settings file: without this, every run would
    // grow the window by its frame.
    const QSize frame = frameGeometry().size() - size();
    if (frame.width() <= 0 && frame.height() <= 0)
        return;
    const QSize outer = *pendingFrameSize_;
    pendingFrameSize_.reset();
    if ((windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) == 0)
        resize(outer - frame);
}

bool TForm1::event(QEvent* event) {
    const bool result = QWidget::event(event);
    // Some platforms frame the window as it is shown, others once it is
    // mapped, before its first paint; after that the size is the user's.
    if (pendingFrameSize_ && (event->type() == QEvent::Show || event->type() == QEvent::Paint)) {
        ApplyPendingFrameSize();
        if (event->type() == QEvent::Paint)
            pendingFrameSize_.reset();
    }
    return result;
}

// --- alarm file ---

void TForm1::LoadAlarms() {
    auto alarms = dormix::LoadAlarmFile(alarmFile_, dormix::Now());
    AlarmList.reserve(alarms.size());
    for (auto& alarm : alarms) {
        const QString text = QString::fromLocal8Bit(alarm->GetDisplayText());
        const bool enabled = alarm->Enabled;
        AlarmList.push_back(std::move(alarm));
        clbAlarms->AddRow(text, enabled);
    }
}

void TForm1::SaveAlarms() {
    dormix::SaveAlarmFile(alarmFile_, AlarmList);
}

// --- scheduler ---

void TForm1::SelectNextAlarm() {
    scheduler_->SelectNextAlarm();
}

void TForm1::ArmPlaybackTimer() {
    scheduler_->ArmPlaybackTimer();
}

void TForm1::TimerPlaybackTimer() {
    scheduler_->TimerPlaybackTimer();
}

// --- playback ---

void TForm1::PlayAlarm(const dormix::TAlarm& alarm) {
    SoundPlayer(AudioSettings, alarm);
}

void TForm1::TestSound(const std::string& path) {
    dormix::TAlarm alarm;
    alarm.SoundFile = path;
    PlayAlarm(alarm);
}

// --- closing ---

void TForm1::FormClose() {
    SaveAlarms();
    WriteSettings();
    // Both files are written: the alarms go, and no tick may reach them.
    TimerPlayback->SetEnabled(false);
    scheduler_->NextAlarmIndex = -1;
    AlarmList.clear();
    clbAlarms->clear();
}

void TForm1::Exit1Click() {
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (closed_) {
        // Closing again as the application ends: nothing left to write.
        event->accept();
        return;
    }
    // The close completes only when both files are written.
    event->ignore();
    if (QApplication::activeModalWidget() != nullptr) {
        DeferClose();
        return;
    }
    try {
        FormClose();
    } catch (...) {
        // The window stays open with its alarms; the user may close it again.
        ShowCurrentException();
        return;
    }
    closed_ = true;
    event->accept();
    emit Closed();
}

void TForm1::DeferClose() {
    const int modal = RejectModalDialogs();
    if (closeDeferred_)
        return;
    closeDeferred_ = true;
    // Each modal window runs one loop level above its command's; the main
    // loop is level 1.
    closeLoopLevel_ = std::max(1, QThread::currentThread()->loopLevel() - modal);
    QTimer::singleShot(0, this, &TForm1::RetryDeferredClose);
}

void TForm1::RetryDeferredClose() {
    if (closed_)
        return;
    if (QApplication::activeModalWidget() != nullptr ||
        QThread::currentThread()->loopLevel() > closeLoopLevel_) {
        // A command is still on its way back to the main loop.
        RejectModalDialogs();
        QTimer::singleShot(10, this, &TForm1::RetryDeferredClose);
        return;
    }
    closeDeferred_ = false;
    close();
}
