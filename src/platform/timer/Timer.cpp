#include "Timer.h"

#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <sys/timerfd.h>
#include <unistd.h>

TTimer::TTimer(QObject* owner, TimerClock clock, int interval, bool enabled)
    : QObject(owner), clock_(clock), interval_(interval < 0 ? 0 : interval), enabled_(enabled) {
    if (clock_ == TimerClock::Precise) {
        precise_ = new QTimer(this);
        precise_->setTimerType(Qt::PreciseTimer);
        connect(precise_, &QTimer::timeout, this, &TTimer::OnTimer);
    } else {
        fd_ = ::timerfd_create(CLOCK_BOOTTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (fd_ < 0)
            throw std::runtime_error("Unable to create a timer");
        notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, &TTimer::BootReady);
    }
    Restart();
}

TTimer::~TTimer() {
    if (fd_ >= 0) {
        delete notifier_; // before its descriptor goes
        notifier_ = nullptr;
        ::close(fd_);
    }
}

void TTimer::SetInterval(int ms) {
    if (ms < 0)
        ms = 0;
    if (ms == interval_)
        return; // the running countdown goes on
    interval_ = ms;
    Restart();
}

void TTimer::SetEnabled(bool on) {
    if (on == enabled_)
        return;
    enabled_ = on;
    Restart();
}

void TTimer::Restart() {
    Stop();
    if (!enabled_ || interval_ == 0)
        return;
    if (precise_ != nullptr) {
        precise_->start(interval_);
    } else {
        itimerspec setting{};
        setting.it_value.tv_sec = interval_ / 1000;
        setting.it_value.tv_nsec = static_cast<long>(interval_ % 1000) * 1000000L;
        setting.it_interval = setting.it_value;
        ::timerfd_settime(fd_, 0, &setting, nullptr);
    }
}

void TTimer::Stop() {
    if (precise_ != nullptr) {
        precise_->stop();
    } else {
        // Disarming also clears expirations not yet read, so no stale tick follows.
        const itimerspec off{};
        ::timerfd_settime(fd_, 0, &off, nullptr);
    }
}

void TTimer::BootReady() {
    std::uint64_t expirations = 0;
    ssize_t got;
    do {
        got = ::read(fd_, &expirations, sizeof expirations);
    } while (got < 0 && errno == EINTR);
    // Nothing to read: the timer was re-armed or stopped since it became ready.
    if (got != static_cast<ssize_t>(sizeof expirations) || expirations == 0)
        return;
    if (enabled_ && interval_ > 0)
        emit OnTimer(); // however many periods passed, one tick
}
