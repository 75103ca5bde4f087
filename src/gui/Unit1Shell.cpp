// The main window's edges: the tray icon and its menu, hiding again at
// start-up, the status bar (hints, date and time), the toolbar's three
// picture buttons with their hover highlight, and help on F1.
#include "Unit1.h"

#include "About.h"
#include "Application.h"
#include "DateTime.h"
#include "Doptions.h"
#include "HelpViewer.h"
#include "TrayIcon.h"

#include <QEnterEvent>
#include <QEvent>
#include <QMouseEvent>

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

// The hint of a control: its own, else the nearest enclosing control's, up to
// the window; empty when none has one.
QString HintOf(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (!w->statusTip().isEmpty())
            return w->statusTip();
        if (w->isWindow())
            break;
    }
    return {};
}

// Watches the pointer over the window: the hint of the control under it goes
// into the status bar's first panel, and moves over the alarm list take the
// toolbar's highlight away.
class TPointerWatch : public QObject {
public:
    explicit TPointerWatch(TForm1& form) : QObject(&form), form_(form) {
        form_.clbAlarms->viewport()->setMouseTracking(true);
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::Enter && type != QEvent::Leave && type != QEvent::MouseMove)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget == nullptr || widget->window() != &form_)
            return false;
        if (type == QEvent::Leave) {
            // Back to the enclosing control; a control entered next reports
            // itself after this. Leaving the window leaves no hint.
            SetHint(widget == &form_ ? QString() : HintOf(widget->parentWidget()));
            return false;
        }
        // The control under the pointer, whichever of its enclosing controls
        // the event is passed to.
        const QPointF global = type == QEvent::Enter
                                   ? static_cast<QEnterEvent*>(event)->globalPosition()
                                   : static_cast<QMouseEvent*>(event)->globalPosition();
        QWidget* under = form_.childAt(form_.mapFromGlobal(global.toPoint()));
        if (under == nullptr)
            under = &form_;
        SetHint(HintOf(under));
        if (type == QEvent::MouseMove && widget == under &&
            (under == form_.clbAlarms || form_.clbAlarms->isAncestorOf(under)))
            form_.Panel1MouseMove();
        return false;
    }

private:
    void SetHint(const QString& hint) { form_.StatusBar1->SetPanelText(0, hint); }

    TForm1& form_;
};

// A button frame flat (no outer bevel) or raised.
void SetRaised(QFrame* frame, bool raised) {
    frame->setFrameShape(raised ? QFrame::Panel : QFrame::NoFrame);
    frame->setFrameShadow(QFrame::Raised);
}

} // namespace

void TForm1::ConnectShell() {
    // The tray icon, added while the window is built; without a notification
    // area this ends the start-up.
    TrayIcon1 = new TTrayIcon(this);
    TrayIcon1->setObjectName("TrayIcon1");
    TrayIcon1->SetHint("Dormix");
    TrayIcon1->SetPopupMenu(pmTray);
    connect(TrayIcon1, &TTrayIcon::OnMinimize, this,
            [this] { Guarded([this] { TrayIcon1Minimize(); }); });
    connect(TrayIcon1, &TTrayIcon::OnRestore, this,
            [this] { Guarded([this] { TrayIcon1Restore(); }); });
    TrayIcon1->SetVisible(true);

    connect(Restore1, &QAction::triggered, this, [this] { Guarded([this] { Restore1Click(); }); });
    connect(Options1, &QAction::triggered, this, [this] { Guarded([this] { Options1Click(); }); });

    connect(StatusBar1, &TStatusBar::Resize, this,
            [this] { Guarded([this] { StatusBar1Resize(); }); });

    connect(Image3, &TImage::Click, this, [this] { Guarded([this] { Image3Click(); }); });
    connect(Image2, &TImage::Click, this, [this] { Guarded([this] { Image2Click(); }); });
    connect(Image4, &TImage::Click, this, [this] { Guarded([this] { Image4Click(); }); });
    connect(Panel1, &TPanel::MouseMove, this, &TForm1::Panel1MouseMove);
    connect(Panel2, &TPanel::MouseMove, this, &TForm1::Panel2MouseMove);
    connect(Image3, &TImage::MouseMove, this, &TForm1::Panel2MouseMove);
    connect(Image2, &TImage::MouseMove, this, &TForm1::Image2MouseMove);
    connect(Panel4, &TPanel::MouseMove, this, &TForm1::Panel4MouseMove);

    new TPointerWatch(*this);                                                  // child
    HelpKeys_ = new dormix::THelpKeys(this, dormix::THelpKeys::TMode::Window); // child
}

// --- tray icon ---

void TForm1::TrayIcon1Minimize() {
    Minimized = true;
    UpdateTimer->SetEnabled(false);
}

void TForm1::TrayIcon1Restore() {
    Minimized = false;
    UpdateTimer->SetEnabled(true);
}

void TForm1::Restore1Click() {
    TrayIcon1->Restore();
}

void TForm1::Options1Click() {
    if (DormixOptions == nullptr)
        return;
    DormixOptions->Settings = &AudioSettings;
    DormixOptions->exec();
}

// --- timers of the shell ---

void TForm1::TimerMinimizeTimer() {
    // Closed while hidden last time: hidden again, once per start.
    if (Minimized)
        TrayIcon1->Minimize();
    TimerMinimize->SetEnabled(false);
}

void TForm1::UpdateTimerTimer() {
    StatusBar1->SetPanelText(1, QString::fromLocal8Bit(dormix::DateToStr(dormix::Now())));
    StatusBar1->SetPanelText(2, QString::fromLocal8Bit(dormix::TimeToStr(dormix::Now())));
}

// --- status bar ---

void TForm1::StatusBar1Resize() {
    UpdateTimerTimer();
    const int dateWidth = StatusBar1->TextWidth(StatusBar1->PanelText(1)) + 20;
    const int timeWidth = StatusBar1->TextWidth(StatusBar1->PanelText(2)) + 20;
    StatusBar1->SetPanelWidth(1, dateWidth);
    StatusBar1->SetPanelWidth(2, timeWidth);
    // Negative when the bar is narrower than the two; set as computed.
    StatusBar1->SetPanelWidth(0, StatusBar1->width() - (dateWidth + timeWidth));
}

// --- toolbar ---

void TForm1::Image3Click() {
    Options1Click();
}

void TForm1::Image2Click() {
    if (fAbout != nullptr)
        fAbout->exec();
}

void TForm1::Image4Click() {
    HelpKeys_->Viewer()->ShowContents();
}

void TForm1::Panel1MouseMove() {
    SetRaised(Panel2, false);
    SetRaised(Panel3, false);
    SetRaised(Panel4, false);
}

void TForm1::Panel2MouseMove() {
    SetRaised(Panel2, true);
    SetRaised(Panel3, false);
    SetRaised(Panel4, false);
}

void TForm1::Image2MouseMove() {
    SetRaised(Panel2, false);
    SetRaised(Panel3, true);
    SetRaised(Panel4, false);
}

void TForm1::Panel4MouseMove() {
    SetRaised(Panel2, false);
    SetRaised(Panel3, false);
    SetRaised(Panel4, true);
}
