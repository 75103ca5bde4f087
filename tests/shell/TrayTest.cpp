// Hiding the whole program to the tray icon and bringing it back: through the
// main window's minimise, the icon's clicks, the tray menu and the start-up
// timer; what the clock and the settings file see of it.
#include "Exception.h"
#include "ShellTestSupport.h"
#include "TrayIcon.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

const TDateTime kEvening = EncodeDateTime(2024, 3, 4, 21, 5, 7);

bool IsMinimizedState(const QWidget& w) {
    return (w.windowState() & Qt::WindowMinimized) != 0;
}

// The window system's minimise command on the main window.
void MinimizeByWindowSystem(TForm1& form) {
    form.setWindowState(form.windowState() | Qt::WindowMinimized);
}

} // namespace

TEST(Tray, IconIsThereFromStartWithTooltipAndMenu) {
    TempDir dir;
    TForm1 form(nullptr, dir.Path());
    EXPECT_TRUE(form.TrayIcon1->Visible());
    EXPECT_EQ(form.TrayIcon1->Hint(), "Dormix");
    EXPECT_FALSE(form.TrayIcon1->icon().isNull());
    ASSERT_EQ(form.TrayIcon1->PopupMenu(), form.pmTray);
    QStringList items;
    for (QAction* action : form.pmTray->actions())
        items << action->text();
    EXPECT_EQ(items, QStringList({"Restore", "Options", "Exit"}));
}

TEST(Tray, WithoutNotificationAreaTheWindowCannotBeBuilt) {
    TempDir dir;
    TTrayIcon::SetSystemTrayAvailableForTesting([] { return false; });
    try {
        TForm1 form(nullptr, dir.Path());
        ADD_FAILURE() << "the window was built without a notification area";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Cannot Create System Shell Notification Icon");
    }
    TTrayIcon::SetSystemTrayAvailableForTesting({});
    // Nothing of the half-built window is left on the screen.
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
}

TEST(Tray, MinimiseHidesEveryWindowAndDoubleClickBringsThemBackAsTheyWere) {
    TempDir dir;
    FixedClock clock(kEvening);
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    form->showMaximized();
    QWidget other;
    other.setWindowTitle("another window of the program");
    other.show();

    MinimizeByWindowSystem(*form);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !form->isVisible(); }));
    EXPECT_FALSE(other.isVisible());
    EXPECT_TRUE(form->Minimized);
    EXPECT_FALSE(form->UpdateTimer->Enabled());
    EXPECT_TRUE(form->TrayIcon1->Visible());

    // A single click, the middle button and the menu request do not restore.
    for (auto reason :
         {QSystemTrayIcon::Trigger, QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}) {
        emit form->TrayIcon1->activated(reason);
        QCoreApplication::processEvents();
        EXPECT_FALSE(form->isVisible()) << "activation reason " << reason;
        EXPECT_TRUE(form->Minimized);
    }

    emit form->TrayIcon1->activated(QSystemTrayIcon::DoubleClick);
    EXPECT_TRUE(form->isVisible());
    EXPECT_TRUE(other.isVisible());
    EXPECT_TRUE(form->isMaximized());
    EXPECT_FALSE(IsMinimizedState(*form));
    EXPECT_FALSE(form->Minimized);
    EXPECT_TRUE(form->UpdateTimer->Enabled());
}

TEST(Tray, MenuRestoreShowsTheHiddenWindowAndKeepsAShownOneShown) {
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);

    // Already shown: stays shown, Minimized stays false.
    form->Restore1->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Minimized);
    EXPECT_TRUE(form->UpdateTimer->Enabled());

    form->TrayIcon1->Minimize();
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(form->Minimized);
    form->Restore1->trigger();
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(IsMinimizedState(*form));
    EXPECT_FALSE(form->Minimized);
    EXPECT_TRUE(form->UpdateTimer->Enabled());
}

TEST(Tray, ClockStandsStillWhileHiddenAndCatchesUpAfterRestore) {
    TempDir dir;
    ScopedLocale locale("en_GB.UTF-8");
    ASSERT_TRUE(locale.Ok());
    FixedClock clock(kEvening);
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    EXPECT_EQ(form->StatusBar1->PanelText(2), "21:05:07");

    MinimizeByWindowSystem(*form);
    ASSERT_TRUE(ProcessEventsUntil([&] { return !form->isVisible(); }));
    clock.Advance(3600);
    // Well over one tick of the clock.
    QTest::qWait(1600);
    EXPECT_EQ(form->StatusBar1->PanelText(2), "21:05:07");

    form->Restore1->trigger();
    QElapsedTimer since;
    since.start();
    EXPECT_TRUE(
        ProcessEventsUntil([&] { return form->StatusBar1->PanelText(2) == "22:05:07"; }, 3000));
    EXPECT_LT(since.elapsed(), 2000);
}

TEST(Tray, TimerMinimizeHidesOnlyWhenClosedHiddenAndStopsForGood) {
    for (const bool minimized : {false, true}) {
        SCOPED_TRACE(minimized ? "Minimized on" : "Minimized off");
        TempDir dir;
        auto form = ShowForm(dir);
        ASSERT_TRUE(form);
        form->Minimized = minimized;
        form->TimerMinimizeTimer();
        EXPECT_FALSE(form->TimerMinimize->Enabled());
        EXPECT_EQ(form->isVisible(), !minimized);
        EXPECT_EQ(form->TrayIcon1->Hidden(), minimized);
        EXPECT_EQ(form->UpdateTimer->Enabled(), !minimized);
        EXPECT_EQ(form->Minimized, minimized);
    }
}

TEST(Tray, ExitWhileHiddenSavesMinimizedAndTheNextStartHidesAfterAboutASecond) {
    TempDir dir;
    {
        auto form = ShowForm(dir);
        ASSERT_TRUE(form);
        MinimizeByWindowSystem(*form);
        ASSERT_TRUE(ProcessEventsUntil([&] { return !form->isVisible(); }));
        form->Exit1->trigger();
        ASSERT_TRUE(ProcessEventsUntil([&] { return Exists(dir.SettingsFile()); }));
    }
    const auto lines = Lines(dir.SettingsFile());
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Minimized=1"), lines.end());

    QElapsedTimer started;
    started.start();
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    EXPECT_TRUE(form->Minimized);
    EXPECT_TRUE(form->isVisible());
    ASSERT_TRUE(ProcessEventsUntil([&] { return !form->isVisible(); }, 4000));
    const qint64 shownFor = started.elapsed();
    EXPECT_GE(shownFor, 900);
    EXPECT_LE(shownFor, 2500);
    EXPECT_TRUE(form->TrayIcon1->Hidden());
    EXPECT_FALSE(form->TimerMinimize->Enabled());

    // Once per start: brought back, it stays.
    form->Restore1->trigger();
    QTest::qWait(1500);
    EXPECT_TRUE(form->isVisible());
    EXPECT_FALSE(form->Minimized);
}
