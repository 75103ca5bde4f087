// The help viewer: shows topics of the program's help file by help context
// number, in a help window (with links between topics) or as a pop-up at a
// point, and shows the file's contents. A missing file, a damaged file or an
// unknown context number is reported in one message box, nothing more.
//
// Windows and controls carry their help context numbers in the dynamic
// property "helpContext" (see the window definitions). THelpKeys turns F1,
// and in dialogs the title-bar help button, into requests for those topics.
#pragma once

#include "HelpFile.h"

#include <QFrame>
#include <QPointer>
#include <QTextBrowser>

class QAction;
class QLabel;

namespace dormix {

// The program's help file: "DORMIX.HLP" beside the executable until set.
QString ApplicationHelpFile();
void SetApplicationHelpFile(const QString& path);

// The help context of a widget: its own "helpContext", else that of the
// nearest enclosing widget, up to and including its window; 0 when none.
int HelpContextOf(const QWidget* widget);
// An action's (menu item's) own "helpContext"; 0 when none or null.
int HelpContextOf(const QAction* action);
// The control a help request on `widget` is about: the widget itself, or for
// an inner part of a composite control (a spin box's edit field, say) that
// control; the nearest widget up the chain with a name of its own.
QWidget* HelpControlOf(QWidget* widget);

// A text browser over one parsed help file: "topic:<number>" links load the
// topics, with history for back and forward.
class THelpBrowser : public QTextBrowser {
    Q_OBJECT

public:
    explicit THelpBrowser(QWidget* parent = nullptr);
    void SetHelpFile(const THelpFile& file) { File_ = file; }
    const THelpFile& HelpFile() const { return File_; }
    // The context number of the topic shown; -1 for none.
    int CurrentContext() const;

    QVariant loadResource(int type, const QUrl& name) override;

private:
    THelpFile File_;
};

// A pop-up topic: a small frame with the topic's text that closes on the
// next click or key press.
class THelpPopup : public QFrame {
    Q_OBJECT

public:
    THelpPopup(QWidget* owner, const QString& html);
    QString Html() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* Text_;
};

class THelpViewer : public QObject {
    Q_OBJECT

public:
    // The help window, pop-ups and message boxes belong to `owner`'s window.
    explicit THelpViewer(QWidget* owner);

    // The file to read; empty: ApplicationHelpFile(). Read at every request.
    QString HelpFile;

    // Show a context's topic in the help window (0: the contents).
    bool ShowTopic(int context);
    // Show the contents in the help window.
    bool ShowContents();
    // Show a context's topic as a pop-up with its top-left corner at a point
    // (global coordinates), kept on the screen.
    bool ShowPopup(int context, const QPoint& globalPos);

    // Null until first shown.
    QWidget* HelpWindow() const { return Window_; }
    THelpBrowser* Browser() const { return Browser_; }
    // The open pop-up, if any.
    THelpPopup* Popup() const { return Popup_; }

    // The caption of the help window and of the message box.
    static const char* const Caption;

private:
    bool load(THelpFile& file, int context);
    void ensureWindow();

    QWidget* Owner_;
    QPointer<QWidget> Window_;
    QPointer<THelpBrowser> Browser_;
    QPointer<THelpPopup> Popup_;
};

// Handles help requests for one window and the pop-up menus it owns: F1 on
// the focused control (or on the highlighted item of an open menu), and, in
// pop-up mode, the title-bar help button's clicks on a control. The topic is
// that of the nearest help context (HelpContextOf); in pop-up mode it shows
// at the control's top-left corner, otherwise in the help window. Nothing is
// shown for context 0. A child of the window.
class THelpKeys : public QObject {
    Q_OBJECT

public:
    enum class TMode { Window, Popup };
    THelpKeys(QWidget* window, TMode mode);

    THelpViewer* Viewer() const { return Viewer_; }
    // Help on a control of the window, as F1 on it asks for it.
    bool HelpOn(QWidget* widget);
    // Help on a menu item.
    bool HelpOn(QAction* action);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool owns(const QWidget* widget) const;

    QWidget* Window_;
    TMode Mode_;
    THelpViewer* Viewer_;
};

} // namespace dormix
