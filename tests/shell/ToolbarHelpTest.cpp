// The toolbar's picture buttons (Options, About, Help) with their hover
// highlight, the tray menu's Options, and help on F1 for the focused control
// and for the highlighted item of an open pop-up menu.
#include "About.h"
#include "Doptions.h"
#include "HelpViewer.h"
#include "PulseServer.h"
#include "ShellTestSupport.h"

#include <QElapsedTimer>
#include <QMenu>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace dormix;
using namespace dormix::test;

namespace {

bool Raised(const QFrame* frame) {
    return frame->frameShape() != QFrame::NoFrame && frame->frameShadow() == QFrame::Raised;
}

// The program's dialogs, as the entry point creates them, for the scope.
class Dialogs {
public:
    Dialogs() {
        DormixOptions = &options;
        fAbout = &about;
    }
    ~Dialogs() {
        DormixOptions = nullptr;
        fAbout = nullptr;
    }
    Dialogs(const Dialogs&) = delete;
    Dialogs& operator=(const Dialogs&) = delete;
    TDormixOptions options;
    TfAbout about;
};

// Runs `inside` once a modal window is up, then closes it with `close`;
// returns the modal window seen, null when none came within the time.
QWidget* WhileModal(const std::function<void()>& open, const std::function<void(QWidget*)>& inside,
                    int timeoutMs = 3000) {
    QWidget* seen = nullptr;
    QElapsedTimer waited;
    waited.start();
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            timer.stop();
            seen = modal;
            inside(modal);
        } else if (waited.elapsed() > timeoutMs) {
            timer.stop();
        }
    });
    timer.start();
    open();
    // A command that opened nothing returns at once; wait for the timer to
    // give up so that a late window is still caught.
    while (timer.isActive())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return seen;
}

} // namespace

TEST(Toolbar, HoverHighlightFollowsTheTable) {
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    EXPECT_FALSE(Raised(form->Panel2));
    EXPECT_FALSE(Raised(form->Panel3));
    EXPECT_FALSE(Raised(form->Panel4));

    const QPoint centre(-1, -1);
    const QPoint frameEdge(1, 1);
    struct Case {
        const char* what;
        QWidget* before; // sets the starting highlight
        QWidget* over;
        QPoint pos;
        bool options, about, help;
    };
    const Case cases[] = {
        {"toolbar", form->Image2, form->Panel1, QPoint(150, 20), false, false, false},
        {"alarm list", form->Image3, form->clbAlarms->viewport(), centre, false, false, false},
        {"Options frame", form->Image2, form->Panel2, frameEdge, true, false, false},
        {"Options picture", form->Panel4, form->Image3, centre, true, false, false},
        {"Help frame straight onto About", form->Panel4, form->Image2, centre, false, true, false},
        {"Help frame", form->Image3, form->Panel4, frameEdge, false, false, true},
        {"About frame: unchanged", form->Image2, form->Panel3, frameEdge, false, true, false},
        {"About frame: unchanged", form->Panel4, form->Panel3, frameEdge, false, false, true},
        {"Help picture: unchanged", form->Image3, form->Image4, centre, true, false, false},
        {"logo: unchanged", form->Panel4, form->Image1, centre, false, false, true},
        {"status bar: unchanged", form->Image2, form->StatusBar1, centre, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MoveOver(c.before,
                 c.before == form->Panel4 || c.before == form->Panel2 ? frameEdge : centre);
        MoveOver(c.over, c.pos);
        EXPECT_EQ(Raised(form->Panel2), c.options);
        EXPECT_EQ(Raised(form->Panel3), c.about);
        EXPECT_EQ(Raised(form->Panel4), c.help);
    }
}

TEST(Toolbar, OptionsFromPictureAndTrayMenuEditTheWindowsAudioSettings) {
    PulseServer server(2);
    Dialogs dialogs;
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    struct Way {
        const char* what;
        std::function<void()> open;
    };
    const Way ways[] = {
        {"Options picture", [&] { QTest::mouseClick(form->Image3, Qt::LeftButton); }},
        {"tray menu Options", [&] { form->Options1->trigger(); }},
    };
    std::int16_t volume = 100;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.what);
        form->AudioSettings = {1, volume, false};
        TAudioSettings* shownOn = nullptr;
        int devices = -1, thumb = -1;
        QWidget* modal = WhileModal(way.open, [&](QWidget*) {
            shownOn = dialogs.options.Settings;
            devices = dialogs.options.cbDeviceNumber->count();
            thumb = dialogs.options.tbVolume->value();
            dialogs.options.tbVolume->setValue(0); // the top: loudest
            dialogs.options.cbOverrideMixer->setChecked(true);
            dialogs.options.BitBtn2->click();
        });
        EXPECT_EQ(modal, &dialogs.options);
        EXPECT_EQ(shownOn, &form->AudioSettings);
        EXPECT_EQ(devices, 2);
        EXPECT_EQ(thumb, 255 - volume);
        EXPECT_EQ(form->AudioSettings.Device, 1);
        EXPECT_EQ(form->AudioSettings.Volume, 255);
        EXPECT_TRUE(form->AudioSettings.VolumeOverride);
        volume = 40;
    }
}

TEST(Toolbar, AboutAndHelpPicturesAndFramesOutsideThem) {
    Dialogs dialogs;
    SetApplicationHelpFile(DORMIX_HELP_FILE);
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);

    QWidget* modal = WhileModal([&] { QTest::mouseClick(form->Image2, Qt::LeftButton); },
                                [&](QWidget*) { dialogs.about.btnOK->click(); });
    EXPECT_EQ(modal, &dialogs.about);

    // A click on a frame outside its picture does nothing.
    for (TPanel* frame : {form->Panel2, form->Panel3, form->Panel4}) {
        SCOPED_TRACE(frame->objectName().toStdString());
        QWidget* opened = WhileModal(
            [&] {
                QTest::mouseClick(frame, Qt::LeftButton, {}, {1, 1});
            },
            [](QWidget* w) { w->close(); }, 300);
        EXPECT_EQ(opened, nullptr);
    }
    EXPECT_EQ(form->HelpKeys()->Viewer()->HelpWindow(), nullptr);

    // Help: the help file's contents.
    QTest::mouseClick(form->Image4, Qt::LeftButton);
    QWidget* help = form->HelpKeys()->Viewer()->HelpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(form->HelpKeys()->Viewer()->Browser()->CurrentContext(), 0);
    SetApplicationHelpFile({});
}

TEST(Help, F1ShowsTheFocusedControlsTopicAndTheHighlightedMenuItems) {
    SetApplicationHelpFile(DORMIX_HELP_FILE);
    TempDir dir;
    WriteAlarmFile(dir.AlarmFile(),
                   {{"Wake up", EncodeDateTime(2003, 3, 1, 7, 0, 0), {1, 3}, true, ""}});
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    form->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    THelpViewer* viewer = form->HelpKeys()->Viewer();

    form->clbAlarms->setFocus();
    form->clbAlarms->setCurrentRow(0);
    ASSERT_EQ(QApplication::focusWidget(), form->clbAlarms);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    ASSERT_NE(viewer->Browser(), nullptr);
    EXPECT_EQ(viewer->Browser()->CurrentContext(), 16);

    struct Item {
        QAction* action;
        int context;
    };
    const Item items[] = {
        {form->pmAlarmsEnableDisable, 17}, {form->pmAlarmsDuplicate, 18},
        {form->pmAlarmsInsert, 19},        {form->pmAlarmsDelete, 20},
        {form->pmAlarmsAdd, 21},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.action->text().toStdString());
        form->pmAlarms->popup(form->clbAlarms->mapToGlobal(QPoint(10, 10)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form->pmAlarms));
        form->pmAlarms->setActiveAction(item.action);
        ASSERT_EQ(form->pmAlarms->activeAction(), item.action);
        QTest::keyClick(form->pmAlarms, Qt::Key_F1);
        EXPECT_EQ(viewer->Browser()->CurrentContext(), item.context);
        form->pmAlarms->close();
    }
    SetApplicationHelpFile({});
}
