#include "HelpViewer.h"

#include "AppPaths.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QHBoxLayout>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWhatsThis>

namespace dormix {

namespace {

QString& HelpFileSetting() {
    static QString path;
    return path;
}

} // namespace

QString ApplicationHelpFile() {
    if (HelpFileSetting().isEmpty())
        return QString::fromStdString(ExeDirectory()) + QStringLiteral("/DORMIX.HLP");
    return HelpFileSetting();
}

void SetApplicationHelpFile(const QString& path) {
    HelpFileSetting() = path;
}

int HelpContextOf(const QWidget* widget) {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (const int context = w->property("helpContext").toInt(); context != 0)
            return context;
        if (w->isWindow())
            break;
    }
    return 0;
}

int HelpContextOf(const QAction* action) {
    return action != nullptr ? action->property("helpContext").toInt() : 0;
}

QWidget* HelpControlOf(QWidget* widget) {
    for (QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        const QString name = w->objectName();
        if ((!name.isEmpty() && !name.startsWith(QStringLiteral("qt_"))) || w->isWindow())
            return w;
    }
    return widget;
}

// --- THelpBrowser ---

THelpBrowser::THelpBrowser(QWidget* parent) : QTextBrowser(parent) {
    setObjectName(QStringLiteral("HelpBrowser"));
    setOpenExternalLinks(false);
}

int THelpBrowser::CurrentContext() const {
    return THelpFile::ContextOfUrl(source()).value_or(-1);
}

QVariant THelpBrowser::loadResource(int type, const QUrl& name) {
    if (const std::optional<int> context = THelpFile::ContextOfUrl(name)) {
        if (type != QTextDocument::HtmlResource)
            return {};
        const QString html = File_.TopicHtml(*context);
        if (!html.isEmpty())
            return html;
        return QStringLiteral("<p>There is no help topic %1 in this help file.</p>").arg(*context);
    }
    // Only the help file's own topics are shown; pictures and other links
    // are not followed.
    return {};
}

// --- THelpPopup ---

THelpPopup::THelpPopup(QWidget* owner, const QString& html)
    : QFrame(owner, Qt::Popup | Qt::FramelessWindowHint), Text_(new QLabel(this)) {
    setObjectName(QStringLiteral("HelpPopup"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFrameStyle(QFrame::Box | QFrame::Plain);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    Text_->setForegroundRole(QPalette::ToolTipText);
    Text_->setTextFormat(Qt::RichText);
    Text_->setWordWrap(true);
    Text_->setText(html);
    Text_->setFixedWidth(320);
    auto* layout = new QVBoxLayout(this); // owned by this frame
    layout->setContentsMargins(8, 6, 8, 8);
    layout->addWidget(Text_);
    adjustSize();
}

QString THelpPopup::Html() const {
    return Text_->text();
}

void THelpPopup::mousePressEvent(QMouseEvent* event) {
    // A click outside closes a pop-up by itself; inside it closes it too.
    QFrame::mousePressEvent(event);
    close();
}

void THelpPopup::keyPressEvent(QKeyEvent* event) {
    event->accept();
    close();
}

// --- THelpViewer ---

const char* const THelpViewer::Caption = "Dormix Help";

THelpViewer::THelpViewer(QWidget* owner) : QObject(owner), Owner_(owner) {}

bool THelpViewer::load(THelpFile& file, int context) {
    const QString path = HelpFile.isEmpty() ? ApplicationHelpFile() : HelpFile;
    QString error;
    QString message;
    if (!file.Load(path, &error))
        message = QStringLiteral("The help file \"%1\" cannot be read: %2.").arg(path, error);
    else if (context != THelpFile::ContentsContext && file.Find(context) == nullptr)
        message = QStringLiteral("The help file \"%1\" has no topic for help context %2.")
                      .arg(path)
                      .arg(context);
    if (message.isEmpty())
        return true;
    QWidget* parent = Owner_ != nullptr ? Owner_->window() : nullptr;
    QMessageBox::warning(parent, QString::fromLatin1(Caption), message);
    return false;
}

void THelpViewer::ensureWindow() {
    if (Window_)
        return;
    // A window of its own that belongs to the owner's window, and does not
    // keep the program running when the other windows have closed.
    QWidget* parent = Owner_ != nullptr ? Owner_->window() : nullptr;
    Window_ = new QWidget(parent, Qt::Window); // owned by the owner's window
    Window_->setObjectName(QStringLiteral("HelpWindow"));
    Window_->setAttribute(Qt::WA_QuitOnClose, false);
    Window_->setWindowTitle(QString::fromLatin1(Caption));
    Window_->resize(520, 440);

    Browser_ = new THelpBrowser(Window_);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), Window_);
    auto* back = new QPushButton(QStringLiteral("&Back"), Window_);
    auto* forward = new QPushButton(QStringLiteral("&Forward"), Window_);
    contents->setObjectName(QStringLiteral("btnContents"));
    back->setObjectName(QStringLiteral("btnBack"));
    forward->setObjectName(QStringLiteral("btnForward"));
    back->setEnabled(false);
    forward->setEnabled(false);
    THelpBrowser* browser = Browser_;
    connect(contents, &QPushButton::clicked, this, [this] { ShowContents(); });
    connect(back, &QPushButton::clicked, browser, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser, &QTextBrowser::forward);
    connect(browser, &QTextBrowser::backwardAvailable, back, &QWidget::setEnabled);
    connect(browser, &QTextBrowser::forwardAvailable, forward, &QWidget::setEnabled);

    auto* buttons = new QHBoxLayout; // owned by the window's layout
    buttons->addWidget(contents);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(Window_); // owned by the window
    layout->addLayout(buttons);
    layout->addWidget(Browser_);
}

bool THelpViewer::ShowTopic(int context) {
    THelpFile file;
    if (!load(file, context))
        return false;
    ensureWindow();
    Browser_->SetHelpFile(file);
    const QUrl url = THelpFile::TopicUrl(context);
    if (Browser_->source() == url)
        Browser_->reload();
    else
        Browser_->setSource(url);
    Window_->show();
    Window_->raise();
    Window_->activateWindow();
    return true;
}

bool THelpViewer::ShowContents() {
    return ShowTopic(THelpFile::ContentsContext);
}

bool THelpViewer::ShowPopup(int context, const QPoint& globalPos) {
    THelpFile file;
    if (!load(file, context))
        return false;
    if (Popup_)
        Popup_->close();
    QString html;
    if (const THelpTopic* topic = file.Find(context))
        html = QStringLiteral("<b>%1</b><br>%2").arg(topic->Title.toHtmlEscaped(), topic->Body);
    else
        html = file.ContentsHtml();
    Popup_ = new THelpPopup(Owner_, html); // owned by the owner, deleted on close
    // Top-left corner at the point, moved back onto the screen if it would
    // stand out of it.
    QPoint pos = globalPos;
    if (const QScreen* screen = QGuiApplication::screenAt(globalPos)) {
        const QRect area = screen->availableGeometry();
        pos.setX(std::max(area.left(), std::min(pos.x(), area.right() + 1 - Popup_->width())));
        pos.setY(std::max(area.top(), std::min(pos.y(), area.bottom() + 1 - Popup_->height())));
    }
    Popup_->move(pos);
    Popup_->show();
    return true;
}

// --- THelpKeys ---

THelpKeys::THelpKeys(QWidget* window, TMode mode)
    : QObject(window), Window_(window), Mode_(mode), Viewer_(new THelpViewer(window)) {
    // Seen for every widget, so that F1 and What's This clicks are caught at
    // the control they are meant for, before the control itself.
    qApp->installEventFilter(this);
}

bool THelpKeys::owns(const QWidget* widget) const {
    for (const QWidget* w = widget; w != nullptr; w = w->parentWidget()) {
        if (qobject_cast<const THelpPopup*>(w) != nullptr)
            return false;
        if (w == Window_)
            return true;
    }
    return false;
}

bool THelpKeys::HelpOn(QWidget* widget) {
    const int context = HelpContextOf(widget);
    if (context == 0)
        return false;
    if (Mode_ == TMode::Popup) {
        const QWidget* control = HelpControlOf(widget);
        return Viewer_->ShowPopup(context, control->mapToGlobal(QPoint(0, 0)));
    }
    return Viewer_->ShowTopic(context);
}

bool THelpKeys::HelpOn(QAction* action) {
    const int context = HelpContextOf(action);
    if (context == 0)
        return false;
    if (Mode_ == TMode::Popup)
        return Viewer_->ShowPopup(context, QCursor::pos());
    return Viewer_->ShowTopic(context);
}

bool THelpKeys::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::WhatsThis && type != QEvent::QueryWhatsThis)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || !owns(widget))
        return false;
    if (type == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier)
            return false;
        if (auto* menu = qobject_cast<QMenu*>(widget))
            HelpOn(menu->activeAction());
        else
            HelpOn(widget);
        return true;
    }
    if (Mode_ != TMode::Popup)
        return false;
    // The title-bar help button: every control of the window has help (the
    // window's own number catches the rest).
    event->accept();
    if (type == QEvent::WhatsThis) {
        // Answered: the help mode ends here, as it does for Qt's own texts.
        QWhatsThis::leaveWhatsThisMode();
        HelpOn(widget);
    }
    return true;
}

} // namespace dormix
