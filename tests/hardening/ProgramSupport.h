// Shared by the hardening tests of the real main window: a watch on the
// standard exception box, a fixed clock, and running the event loop.
#pragma once

#include "Application.h"
#include "DateTime.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <vector>

namespace dormix::test {

// Records what the exception box would show instead of showing it.
class BoxWatch {
public:
    BoxWatch() {
        SetExceptionBoxForTesting(
            [this](const QString&, const QString& text) { Texts.push_back(text.toStdString()); });
    }
    ~BoxWatch() { SetExceptionBoxForTesting({}); }
    BoxWatch(const BoxWatch&) = delete;
    BoxWatch& operator=(const BoxWatch&) = delete;

    std::vector<std::string> Texts;
};

// Now() reads `Value` while this lives.
class FixedClock {
public:
    explicit FixedClock(TDateTime start) : Value(start) {
        SetClockForTesting([this] { return Value; });
    }
    ~FixedClock() { SetClockForTesting({}); }
    FixedClock(const FixedClock&) = delete;
    FixedClock& operator=(const FixedClock&) = delete;

    void Advance(double seconds) { Value += seconds / kSecondsPerDay; }
    TDateTime Value;
};

// Runs the event loop until `done` holds or the time is up.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

} // namespace dormix::test
