// The notification-area (tray) icon: hides the whole application to an icon
// and brings it back.
//
// - Visible: setting it adds the icon (the application's icon, the tooltip
//   Hint); where no notification area is present it throws
//   dormix::Exception("Cannot Create System Shell Notification Icon").
// - Minimize(): hides every window of the application, so that no task-bar
//   entry remains (the icon's own window stays), then raises OnMinimize.
// - The main window's minimise command (title-bar button or system menu)
//   goes through Minimize.
// - Restore(): shows the hidden windows again as they were, brings the main
//   window to the foreground, then raises OnRestore.
// - A left double-click on the icon restores; the right button opens the
//   PopupMenu at the pointer (on the press where the tray reports no
//   release); other clicks do nothing.
#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

class QMenu;

class TTrayIcon : public QSystemTrayIcon {
    Q_OBJECT

public:
    // Watches `mainWindow`'s minimise command; a child of it.
    explicit TTrayIcon(QWidget* mainWindow);
    ~TTrayIcon() override;

    bool Visible() const { return isVisible(); }
    void SetVisible(bool on);
    QString Hint() const { return toolTip(); }
    void SetHint(const QString& hint) { setToolTip(hint); }
    QMenu* PopupMenu() const { return contextMenu(); }
    void SetPopupMenu(QMenu* menu) { setContextMenu(menu); }

    void Minimize();
    void Restore();
    // The application is hidden by Minimize and not yet restored.
    bool Hidden() const { return hidden_; }

    // Whether a notification area is there to take the icon. By default the
    // platform's answer; the offscreen platform, which only draws into memory,
    // counts as having one. Tests may replace the answer; an empty function
    // restores the default.
    static bool SystemTrayAvailable();
    static void SetSystemTrayAvailableForTesting(std::function<bool()> available);

signals:
    void OnMinimize();
    void OnRestore();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct HiddenWindow {
        QPointer<QWidget> Window;
        Qt::WindowStates State;
    };

    void Activated(QSystemTrayIcon::ActivationReason reason);
    bool IsOwnWindow(const QWidget* widget) const;

    QWidget* mainWindow_;
    QList<HiddenWindow> hiddenWindows_;
    // The main window's state before the window system minimised it.
    Qt::WindowStates stateBeforeMinimize_;
    bool minimizePending_ = false;
    bool hidden_ = false;
};
