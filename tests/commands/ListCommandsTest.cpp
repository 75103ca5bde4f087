// The alarm list's commands on a real main window with the real alarm editor:
// where each command puts an alarm, what the menu offers, what every way out of
// a dialog leaves alone, and that every change re-arms the playback timer
// measured from now.
#include "CommandsSupport.h"

#include "AppPaths.h"

#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

// InsertHandler runs the Insert handler directly: the menu offers Insert only
// while a row is selected.
enum class Command { Add, Insert, InsertHandler, Duplicate, Delete, EnableDisable, DoubleClick };

const char* Name(Command c) {
    switch (c) {
    case Command::Add:
        return "Add";
    case Command::Insert:
        return "Insert";
    case Command::InsertHandler:
        return "Insert handler";
    case Command::Duplicate:
        return "Duplicate";
    case Command::Delete:
        return "Delete";
    case Command::EnableDisable:
        return "Enable/Disable";
    case Command::DoubleClick:
        return "double click";
    }
    return "?";
}

// Opens the list's menu as a right click does and clicks one of its items.
// An item that is disabled does nothing, and the menu is closed again.
void ChooseFromMenu(CommandForm& w, QAction* item) {
    QMenu& menu = *w.form->pmAlarms;
    menu.popup(w.form->clbAlarms->viewport()->mapToGlobal(QPoint(5, 5)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
    QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
    if (menu.isVisible())
        menu.close();
}

// Runs a command the way a user does: the menu's items by a click, the double
// click on the selected row (on the list's empty part when none is selected).
void RunCommand(CommandForm& w, Command command) {
    TForm1& f = *w.form;
    switch (command) {
    case Command::Add:
        return ChooseFromMenu(w, f.pmAlarmsAdd);
    case Command::Insert:
        return ChooseFromMenu(w, f.pmAlarmsInsert);
    case Command::InsertHandler:
        return f.pmAlarmsInsertClick();
    case Command::Duplicate:
        return ChooseFromMenu(w, f.pmAlarmsDuplicate);
    case Command::Delete:
        return ChooseFromMenu(w, f.pmAlarmsDelete);
    case Command::EnableDisable:
        return ChooseFromMenu(w, f.pmAlarmsEnableDisable);
    case Command::DoubleClick: {
        const int p = f.clbAlarms->ItemIndex();
        const QPoint at =
            p >= 0 ? w.RowTextPoint(p) : QPoint(20, f.clbAlarms->viewport()->height() - 5);
        QTest::mouseDClick(f.clbAlarms->viewport(), Qt::LeftButton, {}, at);
        return;
    }
    }
}

bool UsesEditor(Command c) {
    return c == Command::Add || c == Command::Insert || c == Command::InsertHandler ||
           c == Command::DoubleClick;
}

// In the editor: the alarm becomes "new", due at 10:05 on Mondays, then OK.
void EditToNewAndOk(QWidget& modal) {
    TAlarmOptions* e = AsEditor(modal);
    if (e == nullptr)
        return void(modal.close());
    e->Description->setText("new");
    e->DTPTime->setTime(QTime(10, 5, 0));
    e->cbMonday->setChecked(true);
    e->BitBtn1->click();
}

// Minutes from kStart (plus the 2 s the clock moves before a command) to the
// playback timer's period.
int PeriodFor(int minutes) {
    return (minutes * 60 - 2) * 1000;
}

} // namespace

TEST(ListCommands, EachCommandPutsTheAlarmWhereTheListSaysAndReArms) {
    struct Case {
        Command command;
        int rows;     // 0: empty list, 3: a, b, c
        int selected; // -1: none
        std::vector<std::string> after;
        bool dialog; // the editor or the confirmation came up
        int selectedAfter;
        int period; // ms; 5000 when nothing was re-armed
    };
    const int none = 5000;
    const std::vector<Case> cases = {
        {Command::Add, 0, -1, {"new"}, true, -1, PeriodFor(5)},
        {Command::Add, 3, -1, {"a", "b", "c", "new"}, true, -1, PeriodFor(5)},
        {Command::Add, 3, 0, {"a", "new", "b", "c"}, true, 0, PeriodFor(5)},
        {Command::Add, 3, 1, {"a", "b", "new", "c"}, true, 1, PeriodFor(5)},
        {Command::Add, 3, 2, {"a", "b", "c", "new"}, true, 2, PeriodFor(5)},
        {Command::Insert, 0, -1, {}, false, -1, none},
        {Command::Insert, 3, -1, {"a", "b", "c"}, false, -1, none},
        {Command::InsertHandler, 0, -1, {"new"}, true, -1, PeriodFor(5)},
        {Command::InsertHandler, 3, -1, {"new", "a", "b", "c"}, true, -1, PeriodFor(5)},
        {Command::Insert, 3, 0, {"new", "a", "b", "c"}, true, 1, PeriodFor(5)},
        {Command::Insert, 3, 1, {"a", "new", "b", "c"}, true, 2, PeriodFor(5)},
        {Command::Insert, 3, 2, {"a", "b", "new", "c"}, true, 3, PeriodFor(5)},
        {Command::Duplicate, 0, -1, {}, false, -1, none},
        {Command::Duplicate, 3, -1, {"a", "b", "c"}, false, -1, none},
        {Command::Duplicate, 3, 0, {"a", "a", "b", "c"}, false, 0, PeriodFor(60)},
        {Command::Duplicate, 3, 1, {"a", "b", "b", "c"}, false, 1, PeriodFor(60)},
        {Command::Duplicate, 3, 2, {"a", "b", "c", "c"}, false, 2, PeriodFor(60)},
        {Command::Delete, 0, -1, {}, false, -1, none},
        {Command::Delete, 3, -1, {"a", "b", "c"}, false, -1, none},
        {Command::Delete, 3, 0, {"b", "c"}, true, -2, PeriodFor(120)},
        {Command::Delete, 3, 1, {"a", "c"}, true, -2, PeriodFor(60)},
        {Command::Delete, 3, 2, {"a", "b"}, true, -2, PeriodFor(60)},
        {Command::EnableDisable, 0, -1, {}, false, -1, none},
        {Command::EnableDisable, 3, -1, {"a", "b", "c"}, false, -1, none},
        {Command::EnableDisable, 3, 0, {"a", "b", "c"}, false, 0, PeriodFor(120)},
        {Command::EnableDisable, 3, 2, {"a", "b", "c"}, false, 2, PeriodFor(60)},
        {Command::DoubleClick, 0, -1, {}, false, -1, none},
        {Command::DoubleClick, 3, -1, {"a", "b", "c"}, false, -1, none},
        {Command::DoubleClick, 3, 1, {"a", "new", "c"}, true, 1, PeriodFor(5)},
        {Command::DoubleClick, 3, 2, {"a", "b", "new"}, true, 2, PeriodFor(5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Name(c.command)) + ", " + std::to_string(c.rows) +
                     " rows, selected " + std::to_string(c.selected));
        CommandForm w(c.rows == 0 ? std::vector<AlarmEntry>{} : ThreeAlarms());
        w.Select(c.selected);
        std::vector<QString> asked;
        w.form->ConfirmDelete = [&](const QString& caption, const QString&) {
            asked.push_back(caption);
            return true;
        };
        w.clock.Advance(2);
        bool editorShown = false;
        {
            WhenModal editor(EditToNewAndOk);
            RunCommand(w, c.command);
            editorShown = editor.Shown();
        }
        EXPECT_EQ(editorShown || !asked.empty(), c.dialog);
        EXPECT_EQ(editorShown, c.dialog && UsesEditor(c.command));
        EXPECT_EQ(w.Descriptions(), c.after);
        w.ExpectRowsMirrorAlarms();
        // -2: the list control's choice after a delete; the invariant is
        // checked above either way.
        if (c.selectedAfter != -2) {
            EXPECT_EQ(w.form->clbAlarms->ItemIndex(), c.selectedAfter);
        }
        EXPECT_EQ(w.form->TimerPlayback->Interval(), c.period);
        EXPECT_TRUE(w.form->TimerPlayback->Enabled());
        // Check marks set by the program are never reported as the user's.
        EXPECT_EQ(w.checks->count(), 0);
    }
}

TEST(ListCommands, EveryWayOutOfTheDialogChangesNothingAndArmsNothing) {
    enum class Way { Cancel, Escape, CloseBox, No };
    struct Case {
        Command command;
        Way way;
    };
    const std::vector<Case> cases = {
        {Command::Add, Way::Cancel},           {Command::Add, Way::Escape},
        {Command::Add, Way::CloseBox},         {Command::Insert, Way::Cancel},
        {Command::Insert, Way::Escape},        {Command::Insert, Way::CloseBox},
        {Command::DoubleClick, Way::Cancel},   {Command::DoubleClick, Way::Escape},
        {Command::DoubleClick, Way::CloseBox}, {Command::Delete, Way::No},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Name(c.command)) + " closed by way " +
                     std::to_string(static_cast<int>(c.way)));
        CommandForm w(ThreeAlarms());
        w.FirstTick();
        const int period = w.form->TimerPlayback->Interval();
        ASSERT_EQ(w.form->NextAlarmIndex(), 0);
        w.Select(1);
        std::vector<std::string> before;
        for (int i = 0; i < 3; ++i)
            before.push_back(w.form->clbAlarms->item(i)->text().toStdString());
        const TAlarm beforeB = *w.form->AlarmList[1];
        w.form->ConfirmDelete = [](const QString&, const QString&) { return false; };
        w.clock.Advance(7); // a re-arm would now give another period
        {
            WhenModal editor([&](QWidget& modal) {
                TAlarmOptions* e = AsEditor(modal);
                if (e == nullptr)
                    return void(modal.close());
                e->Description->setText("edited");
                e->cbEnabled->setChecked(false);
                switch (c.way) {
                case Way::Escape:
                    QTest::keyClick(e, Qt::Key_Escape);
                    break;
                case Way::CloseBox:
                    e->close();
                    break;
                default:
                    e->BitBtn2->click();
                }
            });
            RunCommand(w, c.command);
            EXPECT_EQ(editor.Shown(), UsesEditor(c.command));
        }
        EXPECT_EQ(w.Descriptions(), (std::vector<std::string>{"a", "b", "c"}));
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(w.form->clbAlarms->item(i)->text().toStdString(), before[i]);
        const TAlarm& b = *w.form->AlarmList[1];
        EXPECT_EQ(b.Description, beforeB.Description);
        EXPECT_TRUE(b.Enabled);
        EXPECT_EQ(b.Time, beforeB.Time);
        EXPECT_EQ(b.NextTime, beforeB.NextTime);
        EXPECT_EQ(w.form->clbAlarms->ItemIndex(), 1);
        EXPECT_EQ(w.form->TimerPlayback->Interval(), period);
        EXPECT_EQ(w.form->NextAlarmIndex(), 0);
        w.ExpectRowsMirrorAlarms();
        // The editor keeps no pointer to an alarm that is gone.
        EXPECT_EQ(w.editor->Alarm, nullptr);
    }
}

TEST(ListCommands, OkWritesTheEditorsValuesOnFirstMarch2003AndRedrawsTheRow) {
    CommandForm w(
        {Due("a", 60), {"b", EncodeDateTime(2031, 12, 24, 7, 8, 9), {1}, false, "/b.wav"}});
    w.Select(1);
    {
        WhenModal editor([](QWidget& modal) {
            TAlarmOptions* e = AsEditor(modal);
            if (e == nullptr)
                return void(modal.close());
            // The alarm as it is, then every field changed but the time.
            EXPECT_EQ(e->Description->text(), "b");
            EXPECT_EQ(e->DTPTime->time(), QTime(7, 8, 9));
            EXPECT_FALSE(e->cbEnabled->isChecked());
            e->Description->setText("b edited");
            e->cbEnabled->setChecked(true);
            e->cbMonday->setChecked(false);
            e->cbSaturday->setChecked(true);
            e->eAudioFile->setText("/other.wav");
            e->BitBtn1->click();
        });
        RunCommand(w, Command::DoubleClick);
        ASSERT_TRUE(editor.Shown());
    }
    const TAlarm& b = *w.form->AlarmList[1];
    EXPECT_EQ(b.Description, "b edited");
    EXPECT_EQ(b.Time, 37681.0 + (7 * 3600 + 8 * 60 + 9) / 86400.0);
    EXPECT_TRUE(b.Enabled);
    EXPECT_EQ(b.Days, (std::array<bool, 7>{false, false, false, false, false, false, true}));
    EXPECT_EQ(b.SoundFile, "/other.wav");
    // Next Saturday, 9 March 2024, 07:08:09.
    EXPECT_EQ(b.NextTime, EncodeDateTime(2024, 3, 9, 7, 8, 9));
    EXPECT_TRUE(w.form->clbAlarms->Checked(1));
    w.ExpectRowsMirrorAlarms();

    // A new alarm left as the editor shows it: the defaults, its time of day
    // on the editor's day.
    w.Select(-1);
    {
        WhenModal editor([](QWidget& modal) {
            if (TAlarmOptions* e = AsEditor(modal))
                e->BitBtn1->click();
            else
                modal.close();
        });
        RunCommand(w, Command::Add);
    }
    ASSERT_EQ(w.form->AlarmList.size(), 3u);
    const TAlarm& added = *w.form->AlarmList[2];
    EXPECT_EQ(added.Description, "Description");
    EXPECT_EQ(added.Time, 37681.0 + 10 / 24.0);
    EXPECT_TRUE(added.Enabled);
    EXPECT_EQ(added.Days, (std::array<bool, 7>{}));
    EXPECT_EQ(added.SoundFile, DefaultSoundFile());
    w.ExpectRowsMirrorAlarms();
}

TEST(ListCommands, BrowseThenCancelLeavesTheSoundFileAlone) {
    CommandForm w(ThreeAlarms());
    const std::string chosen = w.dir.File("chosen.wav");
    WriteText(chosen, "RIFF");
    w.editor->ODSounds.Run = [&](QFileDialog& fd) {
        fd.selectFile(QString::fromStdString(chosen));
        return true;
    };
    w.Select(0);
    const std::string row = w.form->clbAlarms->item(0)->text().toStdString();
    {
        WhenModal editor([&](QWidget& modal) {
            TAlarmOptions* e = AsEditor(modal);
            if (e == nullptr)
                return void(modal.close());
            e->btnBrowse->click();
            EXPECT_EQ(e->eAudioFile->text().toStdString(), chosen);
            e->BitBtn2->click();
        });
        RunCommand(w, Command::DoubleClick);
        ASSERT_TRUE(editor.Shown());
    }
    EXPECT_EQ(w.form->AlarmList[0]->SoundFile, "/sounds/a.wav");
    EXPECT_EQ(w.form->clbAlarms->item(0)->text().toStdString(), row);
}

TEST(ListCommands, TheMenuFollowsTheSelectedRow) {
    CommandForm w({Due("on", 60), Due("off", 120, false)});
    QMenu& menu = *w.form->pmAlarms;
    // The window definition's order.
    std::vector<std::string> order;
    for (QAction* a : menu.actions())
        order.push_back(a->isSeparator() ? "-" : a->text().toStdString());
    EXPECT_EQ(order, (std::vector<std::string>{"Enable", "-", "Duplicate", "-", "Insert", "Delete",
                                               "Add"}));
    struct Case {
        int selected;
        const char* caption;
        bool rowItems; // Enable/Disable, Insert, Delete
    };
    const Case cases[] = {
        {-1, "Enable", false}, {0, "Disable", true},   {1, "Enable", true},
        {0, "Disable", true},  {-1, "Disable", false}, // the caption stays as it was
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected);
        w.Select(c.selected);
        menu.popup(w.form->clbAlarms->viewport()->mapToGlobal(QPoint(5, 5)));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&menu));
        EXPECT_EQ(w.form->pmAlarmsEnableDisable->text().toStdString(), c.caption);
        EXPECT_EQ(w.form->pmAlarmsEnableDisable->isEnabled(), c.rowItems);
        EXPECT_EQ(w.form->pmAlarmsInsert->isEnabled(), c.rowItems);
        EXPECT_EQ(w.form->pmAlarmsDelete->isEnabled(), c.rowItems);
        EXPECT_TRUE(w.form->pmAlarmsDuplicate->isEnabled());
        EXPECT_TRUE(w.form->pmAlarmsAdd->isEnabled());
        // Opening the menu leaves the selection where it was.
        EXPECT_EQ(w.form->clbAlarms->ItemIndex(), c.selected);
        menu.close();
    }
}

TEST(ListCommands, TheMenuOpensOnARightClickAndOnAKeyboardRequestWithoutMovingTheSelection) {
    CommandForm w(ThreeAlarms());
    QMenu& menu = *w.form->pmAlarms;
    w.Select(0);
    TCheckListBox& list = *w.form->clbAlarms;
    // Through the window, as the window system delivers a right click.
    const QPoint onRow2 = list.viewport()->mapTo(w.form.get(), w.RowTextPoint(2));
    QTest::mouseClick(w.form->windowHandle(), Qt::RightButton, {}, onRow2);
    ASSERT_TRUE(ProcessEventsUntil([&] { return menu.isVisible(); }, 2000));
    EXPECT_EQ(list.ItemIndex(), 0);
    EXPECT_EQ(w.form->pmAlarmsEnableDisable->text(), "Disable");
    menu.close();

    // The menu key: the window system turns it into a keyboard context-menu
    // request for the focused list.
    list.setFocus();
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(10, 10),
                              list.mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(&list, &menuKey);
    ASSERT_TRUE(ProcessEventsUntil([&] { return menu.isVisible(); }, 2000));
    EXPECT_EQ(list.ItemIndex(), 0);
    menu.close();
}

TEST(ListCommands, TheDeleteQuestionNamesTheAlarmEvenWithoutADescription) {
    struct Case {
        std::string description, caption, text;
    };
    const Case cases[] = {
        {"Gym", "Delete Gym Alarm?",
         "Are you sure you want to permanently and irrevocably delete Gym?"},
        {"", "Delete  Alarm?", "Are you sure you want to permanently and irrevocably delete ?"},
    };
    for (const Case& c : cases) {
        CommandForm w({{c.description, EncodeDateTime(2003, 3, 1, 11, 0, 0), {1}, true, ""}});
        w.Select(0);
        QString caption, text;
        w.form->ConfirmDelete = [&](const QString& cap, const QString& txt) {
            caption = cap;
            text = txt;
            return false;
        };
        RunCommand(w, Command::Delete);
        EXPECT_EQ(caption.toStdString(), c.caption);
        EXPECT_EQ(text.toStdString(), c.text);
        EXPECT_EQ(w.form->AlarmList.size(), 1u);
    }
}

TEST(ListCommands, TheRealDeleteQuestionIsAYesNoBoxWithYesAsDefault) {
    CommandForm w(ThreeAlarms());
    struct Case {
        const char* what;
        std::function<void(QMessageBox&)> answer;
        std::vector<std::string> after;
    };
    const std::vector<Case> cases = {
        {"Escape",
         [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); },
         {"a", "b", "c"}},
        {"No", [](QMessageBox& box) { box.button(QMessageBox::No)->click(); }, {"a", "b", "c"}},
        {"Enter", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Return); }, {"a", "c"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        w.Select(1);
        bool looked = false;
        {
            WhenModal question([&](QWidget& modal) {
                auto* box = qobject_cast<QMessageBox*>(&modal);
                if (box == nullptr) {
                    ADD_FAILURE() << "no message box";
                    return void(modal.close());
                }
                looked = true;
                EXPECT_EQ(box->windowTitle(), "Delete b Alarm?");
                EXPECT_EQ(box->text(),
                          "Are you sure you want to permanently and irrevocably delete b?");
                EXPECT_EQ(box->icon(), QMessageBox::NoIcon);
                EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
                EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Yes));
                EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
                c.answer(*box);
            });
            RunCommand(w, Command::Delete);
        }
        EXPECT_TRUE(looked);
        EXPECT_EQ(w.Descriptions(), c.after);
        w.ExpectRowsMirrorAlarms();
    }
}

TEST(ListCommands, TickingAndDisablingARowGiveTheSameResult) {
    enum class How { ClickOnBox, SpaceBar, Menu };
    for (How how : {How::ClickOnBox, How::SpaceBar, How::Menu}) {
        SCOPED_TRACE(static_cast<int>(how));
        CommandForm w(ThreeAlarms());
        TCheckListBox& list = *w.form->clbAlarms;
        // Another row is selected: the click on row 0's box selects row 0 first.
        w.Select(how == How::ClickOnBox ? 2 : 0);
        w.clock.Advance(2);
        switch (how) {
        case How::ClickOnBox:
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, w.CheckBoxCentre(0));
            break;
        case How::SpaceBar:
            list.setFocus();
            QTest::keyClick(&list, Qt::Key_Space);
            break;
        case How::Menu:
            ChooseFromMenu(w, w.form->pmAlarmsEnableDisable);
            break;
        }
        EXPECT_EQ(list.ItemIndex(), 0);
        EXPECT_FALSE(w.form->AlarmList[0]->Enabled);
        EXPECT_FALSE(list.Checked(0));
        EXPECT_NE(list.item(0)->text().toStdString().find(";   disabled "), std::string::npos);
        w.ExpectRowsMirrorAlarms();
        // Passed over: b is next.
        EXPECT_EQ(w.form->NextAlarmIndex(), 1);
        EXPECT_EQ(w.form->TimerPlayback->Interval(), PeriodFor(120));
        EXPECT_EQ(w.checks->count(), how == How::Menu ? 0 : 1);

        // And back on the same way.
        w.clock.Advance(2);
        if (how == How::Menu)
            ChooseFromMenu(w, w.form->pmAlarmsEnableDisable);
        else if (how == How::SpaceBar)
            QTest::keyClick(&list, Qt::Key_Space);
        else
            QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, w.CheckBoxCentre(0));
        EXPECT_TRUE(w.form->AlarmList[0]->Enabled);
        EXPECT_EQ(w.form->NextAlarmIndex(), 0);
        EXPECT_EQ(w.form->TimerPlayback->Interval(), (3600 - 4) * 1000);
        w.ExpectRowsMirrorAlarms();
    }
}

TEST(ListCommands, TheSpaceBarWithoutASelectedRowChangesNothing) {
    CommandForm w(ThreeAlarms());
    TCheckListBox& list = *w.form->clbAlarms;
    list.setFocus();
    list.setCurrentRow(1, QItemSelectionModel::NoUpdate); // the focus rectangle, not selected
    ASSERT_EQ(list.ItemIndex(), -1);
    QTest::keyClick(&list, Qt::Key_Space);
    EXPECT_EQ(w.checks->count(), 0);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(list.Checked(i));
    EXPECT_EQ(w.form->TimerPlayback->Interval(), 5000);
}
