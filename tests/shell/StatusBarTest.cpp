// The status bar: the date and the time in the user's locale, panel widths
// from the texts, and the hint of the control under the pointer.
#include "ShellTestSupport.h"

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

const TDateTime kEvening = EncodeDateTime(2024, 3, 4, 21, 5, 7);

} // namespace

TEST(StatusBar, DateAndTimeInTheLocaleWithWidthsFromTheTexts) {
    struct Case {
        const char* locale;
        const char* date;
        const char* time;
    };
    const Case cases[] = {
        {"en_GB.UTF-8", "04/03/24", "21:05:07"},
        {"de_DE.UTF-8", "04.03.2024", "21:05:07"},
        {"en_US.UTF-8", "03/04/2024", "09:05:07 PM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        ScopedLocale locale(c.locale);
        ASSERT_TRUE(locale.Ok()) << c.locale << " is not installed";
        FixedClock clock(kEvening);
        TempDir dir;
        auto form = ShowForm(dir);
        ASSERT_TRUE(form);
        TStatusBar* bar = form->StatusBar1;
        // Panel 1 shows the date and panel 2 the time.
        EXPECT_EQ(bar->PanelText(1), c.date);
        EXPECT_EQ(bar->PanelText(2), c.time);
        EXPECT_EQ(bar->PanelText(0), "Hints");

        // Widths follow the texts at every resize of the bar, one narrower
        // than the two panels need included.
        for (const int width : {500, 640, 120, 30}) {
            SCOPED_TRACE(width);
            bar->resize(width, bar->height());
            ASSERT_EQ(bar->width(), width);
            const int dateWidth = bar->fontMetrics().horizontalAdvance(c.date) + 20;
            const int timeWidth = bar->fontMetrics().horizontalAdvance(c.time) + 20;
            EXPECT_EQ(bar->PanelWidth(1), dateWidth);
            EXPECT_EQ(bar->PanelWidth(2), timeWidth);
            EXPECT_EQ(bar->PanelWidth(0), width - dateWidth - timeWidth);
        }
        EXPECT_LT(bar->PanelWidth(0), 0);
    }
}

TEST(StatusBar, TheClockChangesTextsButNeverWidths) {
    ScopedLocale locale("en_GB.UTF-8");
    ASSERT_TRUE(locale.Ok());
    FixedClock clock(kEvening);
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    TStatusBar* bar = form->StatusBar1;
    const int widths[] = {bar->PanelWidth(0), bar->PanelWidth(1), bar->PanelWidth(2)};
    // A text that grows keeps the old width until the next resize.
    clock.Value = EncodeDateTime(2024, 12, 31, 23, 59, 59);
    setlocale(LC_TIME, "en_US.UTF-8");
    form->UpdateTimerTimer();
    EXPECT_EQ(bar->PanelText(1), "12/31/2024");
    EXPECT_EQ(bar->PanelText(2), "11:59:59 PM");
    EXPECT_EQ(bar->PanelWidth(0), widths[0]);
    EXPECT_EQ(bar->PanelWidth(1), widths[1]);
    EXPECT_EQ(bar->PanelWidth(2), widths[2]);
}

TEST(StatusBar, HintOfTheControlUnderThePointerOrTheNearestEnclosingOne) {
    TempDir dir;
    auto form = ShowForm(dir);
    ASSERT_TRUE(form);
    struct Case {
        const char* what;
        QWidget* widget;
        QPoint pos;
        const char* hint;
    };
    const QPoint centre(-1, -1);
    const QPoint frameEdge(1, 1);
    const Case cases[] = {
        {"toolbar", form->Panel1, QPoint(150, 20), "Dormix by Tarnby."},
        {"logo", form->Image1, centre, "Dormix by Tarnby."},
        {"Options frame", form->Panel2, frameEdge, "Dormix by Tarnby."},
        {"Options picture", form->Image3, centre, "Options"},
        {"About frame", form->Panel3, frameEdge, "Dormix by Tarnby."},
        {"About picture", form->Image2, centre, "About"},
        {"Help frame", form->Panel4, frameEdge, "Dormix by Tarnby."},
        {"Help picture", form->Image4, centre, "Help"},
        {"alarm list", form->clbAlarms->viewport(), centre,
         "Right-click for options, Double Click to edit an alarm"},
        {"status bar", form->StatusBar1, centre, ""},
        {"back on the list", form->clbAlarms->viewport(), QPoint(5, 5),
         "Right-click for options, Double Click to edit an alarm"},
        {"back on the toolbar", form->Panel1, QPoint(200, 10), "Dormix by Tarnby."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MoveOver(c.widget, c.pos);
        EXPECT_EQ(form->StatusBar1->PanelText(0), c.hint);
    }
}
