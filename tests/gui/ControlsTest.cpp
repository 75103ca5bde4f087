// The small controls the windows are built from, and the exception box text.
#include "Controls.h"
#include "Application.h"

#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Clicks the check box of a row the way a user does.
void ClickCheckBox(TCheckListBox& list, int row) {
    QStyleOptionViewItem opt;
    opt.initFrom(list.viewport());
    opt.rect = list.visualItemRect(list.item(row));
    opt.features |= QStyleOptionViewItem::HasCheckIndicator;
    const QRect box =
        list.style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, &list);
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, box.center());
}

} // namespace

TEST(CheckListBox, OnlyTheUsersTicksAreReportedForTheSelectedRow) {
    TCheckListBox list;
    list.resize(200, 100);
    list.AddRow("first", true);
    list.AddRow("second", false);
    list.AddRow("third", false);
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    QSignalSpy spy(&list, &TCheckListBox::ClickCheck);

    // Rows changed by the program: silent.
    list.SetChecked(0, false);
    list.SetRowText(1, "second, renamed");
    list.InsertRow(0, "zeroth", true);
    list.DeleteRow(3);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(list.count(), 3);
    EXPECT_EQ(list.item(2)->text(), "second, renamed");
    EXPECT_FALSE(list.Checked(2));
    EXPECT_EQ(list.ItemIndex(), -1);

    // A click on a row's box selects the row, ticks it and reports it.
    ClickCheckBox(list, 2);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 2);
    EXPECT_TRUE(list.Checked(2));
    EXPECT_EQ(list.ItemIndex(), 2);

    // Replacing the text keeps the check mark and the selection.
    list.SetRowText(2, "new text");
    EXPECT_TRUE(list.Checked(2));
    EXPECT_EQ(list.ItemIndex(), 2);

    // The space bar toggles the selected row's box.
    list.setFocus();
    QTest::keyClick(list.viewport(), Qt::Key_Space);
    ASSERT_EQ(spy.count(), 2);
    EXPECT_FALSE(list.Checked(2));
}

TEST(CheckListBox, RowsHaveTheItemHeightOrTheFontsLineHeight) {
    TCheckListBox list;
    list.AddRow("a");
    list.AddRow("b");
    for (int height : {13, 40}) {
        list.setItemHeight(height);
        const int expected = std::max(height, list.fontMetrics().height());
        EXPECT_EQ(list.sizeHintForRow(0), expected);
        EXPECT_EQ(list.visualItemRect(list.item(1)).top() - list.visualItemRect(list.item(0)).top(),
                  expected);
    }
}

TEST(StatusBar, PanelsLieSideBySideAndTheLastRunsToTheEdge) {
    TStatusBar bar;
    bar.setPanelTexts({"Hints", "Time", "Date"});
    bar.setPanelWidths({"500", "50", "150"});
    QSignalSpy resized(&bar, &TStatusBar::Resize);
    bar.resize(900, 19);
    bar.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&bar));
    EXPECT_GE(resized.count(), 1);
    EXPECT_EQ(bar.PanelRect(0), QRect(0, 0, 500, 19));
    EXPECT_EQ(bar.PanelRect(1), QRect(500, 0, 50, 19));
    EXPECT_EQ(bar.PanelRect(2), QRect(550, 0, 350, 19));

    bar.SetPanelText(2, "12:34:56");
    bar.SetPanelWidth(0, -30); // a too-narrow window gives panel 0 a negative width
    EXPECT_EQ(bar.PanelText(2), "12:34:56");
    EXPECT_EQ(bar.PanelWidth(0), -30);
    EXPECT_EQ(bar.PanelRect(1), QRect(0, 0, 50, 19));
    EXPECT_EQ(bar.TextWidth("12:34:56"), bar.fontMetrics().horizontalAdvance("12:34:56"));
    EXPECT_GT(bar.TextWidth("12:34:56"), bar.TextWidth("1"));

    const int before = static_cast<int>(resized.count());
    bar.resize(600, 19);
    QCoreApplication::processEvents();
    EXPECT_EQ(resized.count(), before + 1);
}

TEST(ExceptionBox, FullStopIsAddedAfterCharactersAboveIt) {
    struct Row {
        const char* message;
        const char* shown;
    };
    const Row rows[] = {
        {"", ""},
        {"Unable to write to /x/Dormis.ini", "Unable to write to /x/Dormis.ini."},
        {"Done.", "Done."},
        {"Really?", "Really?."},
        {"Stop!", "Stop!"},
        {"a,", "a,"},
        {"a-", "a-"},
        {"a/", "a/."},
        {"Fehler: Größe", "Fehler: Größe."},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ExceptionMessageText(QString::fromUtf8(r.message)).toStdString(), r.shown)
            << r.message;
}
