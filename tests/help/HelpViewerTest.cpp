// The help viewer on the real windows: which number F1 and the title-bar help
// button find, where the pop-up shows, the help window and its links, and the
// one message for a missing file or number.
#include "HelpViewer.h"
#include "About.h"
#include "Aoptions.h"
#include "Doptions.h"
#include "Unit1.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QCoreApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWhatsThis>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace dormix;

namespace {

// The program's help file for every viewer of the test.
class HelpFileScope {
public:
    explicit HelpFileScope(const QString& path) { SetApplicationHelpFile(path); }
    ~HelpFileScope() { SetApplicationHelpFile(QString()); }
};

QString TitleOf(int context) {
    THelpFile file;
    EXPECT_TRUE(file.Load(DORMIX_HELP_FILE));
    const THelpTopic* topic = file.Find(context);
    return topic != nullptr ? topic->Title : QString();
}

// Shows a window and waits until it can take input.
void ShowReady(QWidget& window) {
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    QApplication::processEvents();
}

// Runs an action and collects the message boxes that come up meanwhile,
// closing each.
QStringList MessagesDuring(const std::function<void()>& action) {
    QStringList texts;
    QTimer watch;
    watch.setInterval(10);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            texts << box->text();
            box->close();
        }
    });
    watch.start();
    action();
    watch.stop();
    return texts;
}

} // namespace

TEST(HelpContexts, NearestEnclosingNumberWithTheDialogsOwnCatchingTheRest) {
    TAlarmOptions editor;
    TDormixOptions options;
    auto* timeEdit = editor.DTPTime->findChild<QLineEdit*>();
    ASSERT_NE(timeEdit, nullptr);
    const std::vector<std::pair<QWidget*, int>> rows = {
        {editor.Description, 4001},
        {timeEdit, 4003},
        {editor.cbMonday, 4004},
        {editor.GroupBox2, 4004},
        {editor.Label2, 4000},
        {editor.GroupBox1, 4000},
        {editor.BitBtn1, 4000},
        {editor.btnBrowse, 4007},
        {&editor, 4000},
        {options.Label4, 2003},
        {options.GroupBox1, 4},
        {options.BitBtn2, 4},
        {options.tbVolume, 7},
        {options.cbDeviceNumber, 5},
    };
    for (const auto& [widget, context] : rows)
        EXPECT_EQ(HelpContextOf(widget), context) << widget->objectName().toStdString();
    // The control a request is about: an inner part stands for its control.
    EXPECT_EQ(HelpControlOf(timeEdit), editor.DTPTime);
    EXPECT_EQ(HelpControlOf(editor.Label2), editor.Label2);
    EXPECT_EQ(HelpContextOf(static_cast<QWidget*>(nullptr)), 0);

    TForm1 form;
    EXPECT_EQ(HelpContextOf(form.clbAlarms), 16);
    EXPECT_EQ(HelpContextOf(form.pmAlarmsAdd), 21);
    EXPECT_EQ(HelpContextOf(form.pmAlarmsEnableDisable), 17);
    EXPECT_EQ(HelpContextOf(static_cast<QAction*>(nullptr)), 0);
}

TEST(HelpPopups, F1ShowsTheFocusedControlsTopicAtItsTopLeftCorner) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    TAlarmOptions editor;
    ShowReady(editor);
    THelpViewer* viewer = editor.HelpKeys()->Viewer();
    const std::vector<std::pair<QWidget*, int>> rows = {
        {editor.Description, 4001}, {editor.DTPTime, 4003}, {editor.cbSunday, 4004},
        {editor.eAudioFile, 4005},  {editor.btnTest, 4006}, {editor.BitBtn2, 4000},
    };
    for (const auto& [control, context] : rows) {
        SCOPED_TRACE(control->objectName().toStdString());
        editor.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
        control->setFocus();
        QApplication::processEvents();
        QWidget* focused = QApplication::focusWidget();
        ASSERT_TRUE(focused == control || control->isAncestorOf(focused));
        QTest::keyClick(focused, Qt::Key_F1);
        THelpPopup* popup = viewer->Popup();
        ASSERT_NE(popup, nullptr);
        EXPECT_TRUE(popup->isVisible());
        EXPECT_TRUE(popup->Html().contains(TitleOf(context).toHtmlEscaped()));
        EXPECT_EQ(popup->pos(), control->mapToGlobal(QPoint(0, 0)));
        popup->close();
        QApplication::processEvents();
    }
    // A key closes a pop-up.
    editor.Description->setFocus();
    QTest::keyClick(editor.Description, Qt::Key_F1);
    QPointer<THelpPopup> popup = viewer->Popup();
    ASSERT_FALSE(popup.isNull());
    QTest::keyClick(popup, Qt::Key_A);
    QApplication::processEvents();
    EXPECT_TRUE(popup.isNull() || !popup->isVisible());
    // The key went to the pop-up, not the edit.
    EXPECT_FALSE(editor.Description->text().endsWith("a"));
}

TEST(HelpPopups, APopupNearTheScreensEdgeStaysOnTheScreen) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    TDormixOptions options;
    ShowReady(options);
    THelpViewer* viewer = options.HelpKeys()->Viewer();
    const QRect screen = options.screen()->availableGeometry();
    ASSERT_TRUE(viewer->ShowPopup(7, screen.bottomRight() - QPoint(5, 5)));
    THelpPopup* popup = viewer->Popup();
    ASSERT_NE(popup, nullptr);
    EXPECT_TRUE(screen.contains(popup->frameGeometry()));
    popup->close();
}

TEST(HelpPopups, TheTitleBarHelpButtonThenAClickShowsTheControlsTopic) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    TAlarmOptions editor;
    ShowReady(editor);
    THelpViewer* viewer = editor.HelpKeys()->Viewer();
    auto* timeEdit = editor.DTPTime->findChild<QLineEdit*>();
    struct Row {
        QWidget* clicked;
        QWidget* control; // where the pop-up shows
        int context;
    };
    const std::vector<Row> rows = {
        {editor.btnBrowse, editor.btnBrowse, 4007},
        {timeEdit, editor.DTPTime, 4003},
        {editor.Label1, editor.Label1, 4000}, // no number of its own
        {editor.cbFriday, editor.cbFriday, 4004},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.control->objectName().toStdString());
        // What the window system sends for a click on the title-bar button.
        QCoreApplication::postEvent(qApp, new QEvent(QEvent::EnterWhatsThisMode));
        QApplication::processEvents();
        ASSERT_TRUE(QWhatsThis::inWhatsThisMode());
        QTest::mouseClick(r.clicked, Qt::LeftButton, Qt::NoModifier, QPoint(3, 3));
        QApplication::processEvents();
        EXPECT_FALSE(QWhatsThis::inWhatsThisMode());
        THelpPopup* popup = viewer->Popup();
        ASSERT_NE(popup, nullptr);
        EXPECT_TRUE(popup->isVisible());
        EXPECT_TRUE(popup->Html().contains(TitleOf(r.context).toHtmlEscaped()));
        // At the control's top-left corner, moved left only as far as the
        // screen's right edge needs.
        const QPoint corner = r.control->mapToGlobal(QPoint(0, 0));
        const int screenRight = editor.screen()->availableGeometry().right();
        EXPECT_EQ(popup->y(), corner.y());
        if (corner.x() + popup->width() - 1 <= screenRight)
            EXPECT_EQ(popup->x(), corner.x());
        else
            EXPECT_EQ(popup->geometry().right(), screenRight);
        popup->close();
        QApplication::processEvents();
    }
    // The click asked for help only: the button did not run.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(HelpWindow, ShowsATopicAndFollowsItsLinks) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    QWidget owner;
    THelpViewer viewer(&owner);
    EXPECT_EQ(viewer.HelpWindow(), nullptr);
    ASSERT_TRUE(viewer.ShowTopic(4000));
    QWidget* window = viewer.HelpWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->isWindow());
    THelpBrowser* browser = viewer.Browser();
    EXPECT_EQ(browser->CurrentContext(), 4000);
    EXPECT_TRUE(browser->toPlainText().contains(TitleOf(4000)));

    // The first link of the editor's topic, taken from the keyboard.
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    browser->setFocus();
    QTest::keyClick(browser, Qt::Key_Tab);
    EXPECT_FALSE(browser->textCursor().selectedText().isEmpty());
    QTest::keyClick(browser, Qt::Key_Return);
    EXPECT_EQ(browser->CurrentContext(), 4001);
    EXPECT_TRUE(browser->toPlainText().contains(TitleOf(4001)));
    window->findChild<QPushButton*>("btnBack")->click();
    EXPECT_EQ(browser->CurrentContext(), 4000);

    // The contents, and another topic in the same window.
    ASSERT_TRUE(viewer.ShowContents());
    EXPECT_EQ(viewer.HelpWindow(), window);
    EXPECT_EQ(browser->CurrentContext(), 0);
    EXPECT_TRUE(browser->toPlainText().contains(TitleOf(0)));
    ASSERT_TRUE(viewer.ShowTopic(16));
    EXPECT_EQ(browser->CurrentContext(), 16);
    // It does not keep the program running on its own.
    EXPECT_FALSE(window->testAttribute(Qt::WA_QuitOnClose));
}

TEST(HelpWindow, FindsTheHelpFileBesideTheProgram) {
    // The test program has DORMIX.HLP beside it, as the program has.
    char exe[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", exe, sizeof exe - 1), 0);
    const QString dir = QFileInfo(QString::fromLocal8Bit(exe)).absolutePath();
    EXPECT_EQ(ApplicationHelpFile(), dir + "/DORMIX.HLP");
    QWidget owner;
    THelpViewer viewer(&owner);
    QStringList messages = MessagesDuring([&] { EXPECT_TRUE(viewer.ShowContents()); });
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(viewer.Browser()->toPlainText().contains(TitleOf(0)));
}

TEST(HelpWindow, F1InAWindowShowsTheTopicOfTheFocusedControlOrTheMenuItem) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    QWidget window;
    window.setProperty("helpContext", 0);
    auto* list = new QListWidget(&window); // owned by the window
    list->setObjectName("list");
    list->setProperty("helpContext", 16);
    auto* plain = new QLineEdit(&window); // no number anywhere up its chain
    plain->setObjectName("plain");
    plain->move(0, 200);
    auto* menu = new QMenu(&window);
    QAction* add = menu->addAction("Add");
    add->setProperty("helpContext", 21);
    THelpKeys keys(&window, THelpKeys::TMode::Window);
    ShowReady(window);

    list->setFocus();
    QTest::keyClick(list, Qt::Key_F1);
    ASSERT_NE(keys.Viewer()->Browser(), nullptr);
    EXPECT_EQ(keys.Viewer()->Browser()->CurrentContext(), 16);

    menu->popup(window.mapToGlobal(QPoint(10, 10)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    menu->setActiveAction(add);
    QTest::keyClick(menu, Qt::Key_F1);
    EXPECT_EQ(keys.Viewer()->Browser()->CurrentContext(), 21);
    EXPECT_TRUE(menu->isVisible());
    menu->close();

    // No number: nothing is shown, no message.
    keys.Viewer()->HelpWindow()->close();
    plain->setFocus();
    const QStringList messages = MessagesDuring([&] { QTest::keyClick(plain, Qt::Key_F1); });
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_FALSE(keys.Viewer()->HelpWindow()->isVisible());
}

TEST(HelpMessages, AMissingFileOrNumberGivesOneMessageAndNothingMore) {
    HelpFileScope scope("/nonexistent-dormix/DORMIX.HLP");
    TAlarmOptions editor;
    ShowReady(editor);
    THelpViewer* viewer = editor.HelpKeys()->Viewer();

    editor.Description->setFocus();
    QStringList messages = MessagesDuring([&] { QTest::keyClick(editor.Description, Qt::Key_F1); });
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("/nonexistent-dormix/DORMIX.HLP"));
    EXPECT_EQ(viewer->Popup(), nullptr);
    EXPECT_TRUE(editor.isVisible());

    messages = MessagesDuring([&] { EXPECT_FALSE(viewer->ShowContents()); });
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(viewer->HelpWindow(), nullptr);

    // A file without the number asked for.
    viewer->HelpFile = DORMIX_HELP_FILE;
    messages = MessagesDuring([&] { EXPECT_FALSE(viewer->ShowTopic(12345)); });
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains("12345"));
    EXPECT_EQ(viewer->HelpWindow(), nullptr);
    messages = MessagesDuring([&] { EXPECT_FALSE(viewer->ShowPopup(12345, QPoint(10, 10))); });
    EXPECT_EQ(messages.size(), 1);
    EXPECT_EQ(viewer->Popup(), nullptr);
}

TEST(HelpWindow, F1InTheAboutBoxShowsItsTopicInTheHelpWindow) {
    HelpFileScope scope(DORMIX_HELP_FILE);
    TfAbout about;
    ShowReady(about);
    about.btnOK->setFocus();
    QTest::keyClick(about.btnOK, Qt::Key_F1);
    auto* keys = about.findChild<THelpKeys*>();
    ASSERT_NE(keys, nullptr);
    ASSERT_NE(keys->Viewer()->HelpWindow(), nullptr);
    EXPECT_TRUE(keys->Viewer()->HelpWindow()->isVisible());
    EXPECT_EQ(keys->Viewer()->Browser()->CurrentContext(), 3);
    EXPECT_TRUE(about.isVisible());
}
