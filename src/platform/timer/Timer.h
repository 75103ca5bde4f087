// TTimer: the repeating timer of the windows, with a period in milliseconds and
// an on/off switch.
//
// - Setting a different period restarts the countdown from that moment;
//   setting the period in force changes nothing (the countdown goes on).
// - Switching on when off starts the countdown; switching on when on, or off
//   when off, changes nothing.
// - A period of 0 (or less) gives no ticks.
// - Ticks (OnTimer) arrive only through the thread's event loop, nested loops
//   of modal dialogs included, and never interrupt a running handler. Ticks
//   that fell due while the thread was busy come as one.
//
// Two clocks:
// - Precise: a Qt precise timer, for the status-bar and minimize timers.
// - Boot: a timerfd on CLOCK_BOOTTIME, which counts time the machine spends
//   suspended, so an alarm that fell due during a suspend ticks at wake-up.
#pragma once

#include <QObject>

#include <memory>

class QSocketNotifier;
class QTimer;

enum class TimerClock { Precise, Boot };

class TTimer : public QObject {
    Q_OBJECT

public:
    explicit TTimer(QObject* owner, TimerClock clock = TimerClock::Precise, int interval = 1000,
                    bool enabled = true);
    ~TTimer() override;

    TimerClock Clock() const { return clock_; }
    int Interval() const { return interval_; }
    void SetInterval(int ms);
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool on);

signals:
    void OnTimer();

private:
    void Restart(); // (re)starts the countdown when on with a period, else stops
    void Stop();
    void BootReady();

    TimerClock clock_;
    int interval_ = 0;
    bool enabled_ = false;
    QTimer* precise_ = nullptr;           // child of this (Precise)
    int fd_ = -1;                         // timerfd (Boot)
    QSocketNotifier* notifier_ = nullptr; // child of this (Boot)
};
