#include "TrayIcon.h"

#include "Exception.h"

#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QTimer>
#include <QWindowStateChangeEvent>

#include <utility>

namespace {

std::function<bool()>& AvailabilityOverride() {
    static std::function<bool()> available;
    return available;
}

} // namespace

TTrayIcon::TTrayIcon(QWidget* mainWindow) : QSystemTrayIcon(mainWindow), mainWindow_(mainWindow) {
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = QIcon(QStringLiteral(":/images/app-32.png"));
    setIcon(icon);
    connect(this, &QSystemTrayIcon::activated, this, &TTrayIcon::Activated);
    mainWindow_->installEventFilter(this);
}

TTrayIcon::~TTrayIcon() = default;

bool TTrayIcon::SystemTrayAvailable() {
    if (AvailabilityOverride())
        return AvailabilityOverride()();
    if (QGuiApplication::platformName() == QStringLiteral("offscreen"))
        return true;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void TTrayIcon::SetSystemTrayAvailableForTesting(std::function<bool()> available) {
    AvailabilityOverride() = std::move(available);
}

void TTrayIcon::SetVisible(bool on) {
    if (on && !SystemTrayAvailable())
        throw dormix::Exception("Cannot Create System Shell Notification Icon");
    setVisible(on);
}

bool TTrayIcon::IsOwnWindow(const QWidget* widget) const {
    // The icon's own window, embedded in the notification area.
    return widget->inherits("QSystemTrayIconSys");
}

void TTrayIcon::Minimize() {
    minimizePending_ = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || IsOwnWindow(window))
            continue;
        const Qt::WindowType type = window->windowType();
        if (type == Qt::Popup || type == Qt::ToolTip) {
            // Open menus and tooltips go and do not come back.
            window->close();
            continue;
        }
        // Each window comes back in the state it had before it was minimised.
        Qt::WindowStates state = window->windowState();
        if (window == mainWindow_ && (state & Qt::WindowMinimized))
            state = stateBeforeMinimize_;
        state &= ~(Qt::WindowMinimized | Qt::WindowActive);
        // A modal window ends as cancelled when hidden (its command changes
        // nothing), so it is not shown again.
        if (!window->isModal())
            hiddenWindows_.append({window, state});
        window->hide();
    }
    hidden_ = true;
    emit OnMinimize();
}

void TTrayIcon::Restore() {
    minimizePending_ = false;
    hidden_ = false;
    const QList<HiddenWindow> windows = std::exchange(hiddenWindows_, {});
    for (const HiddenWindow& hidden : windows) {
        if (hidden.Window.isNull())
            continue;
        // The state first: a window the window system had minimised is shown
        // normal (or maximised) again, not as an icon.
        if (hidden.Window->windowState() != hidden.State)
            hidden.Window->setWindowState(hidden.State);
        hidden.Window->show();
    }
    // The main window in the foreground.
    if (mainWindow_->windowState() & Qt::WindowMinimized)
        mainWindow_->setWindowState(mainWindow_->windowState() & ~Qt::WindowMinimized);
    mainWindow_->show();
    mainWindow_->raise();
    mainWindow_->activateWindow();
    emit OnRestore();
}

void TTrayIcon::Activated(QSystemTrayIcon::ActivationReason reason) {
    // The right button's menu is opened by the icon itself (the PopupMenu);
    // a single left click does nothing.
    if (reason == QSystemTrayIcon::DoubleClick)
        Restore();
}

bool TTrayIcon::eventFilter(QObject* watched, QEvent* event) {
    if (watched == mainWindow_ && event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        const bool nowMinimized = (mainWindow_->windowState() & Qt::WindowMinimized) != 0;
        const bool wasMinimized = (change->oldState() & Qt::WindowMinimized) != 0;
        if (nowMinimized && !wasMinimized && !hidden_ && !minimizePending_) {
            // The main window's minimise command hides the whole application,
            // once the window system's own handling of it is done.
            stateBeforeMinimize_ = change->oldState();
            minimizePending_ = true;
            QTimer::singleShot(0, this, [this] {
                if (minimizePending_)
                    Minimize();
            });
        }
    }
    return QSystemTrayIcon::eventFilter(watched, event);
}
