// The commands and the scheduler together: each change re-arms the playback
// timer measured from now, a tick while a dialog is open works on the list as
// it then is, the editor's Test button sounds on a real sound server, and a
// full list takes no more alarms.
#include "CommandsSupport.h"
#include "Playback.h"
#include "Probes.h"
#include "PulseServer.h"

#include <QMenu>

#include <gtest/gtest.h>

#include <filesystem>

using namespace dormix;
using namespace dormix::test;

namespace {

// The editor sets the alarm's description and time of day, then OK.
std::function<void(QWidget&)> EditAndOk(const std::string& description, QTime time) {
    return [description, time](QWidget& modal) {
        TAlarmOptions* e = AsEditor(modal);
        if (e == nullptr)
            return void(modal.close());
        e->Description->setText(QString::fromStdString(description));
        e->DTPTime->setTime(time);
        e->cbMonday->setChecked(true);
        e->BitBtn1->click();
    };
}

} // namespace

TEST(CommandScheduling, EveryListChangeReArmsMeasuredFromNow) {
    CommandForm w(ThreeAlarms());
    w.FirstTick();
    ASSERT_EQ(w.form->TimerPlayback->Interval(), 3600 * 1000);
    TForm1& f = *w.form;
    // Each step runs 10 s after the one before; periods count from then.
    struct Step {
        const char* what;
        std::function<void()> run;
        std::vector<std::string> after;
        int nextAlarm;
        int periodSeconds; // from kStart; 0: the timer is off
    };
    auto menu = [&](QAction* item, std::function<void(QWidget&)> dialog = {}) {
        return [&w, item, dialog] {
            WhenModal answer(dialog ? dialog
                                    : std::function<void(QWidget&)>([](QWidget& m) { m.close(); }));
            w.form->pmAlarmsPopup();
            item->trigger();
        };
    };
    auto yes = [&w](bool answer) {
        w.form->ConfirmDelete = [answer](const QString&, const QString&) { return answer; };
    };
    const std::vector<Step> steps = {
        {"add d at 10:30 below a",
         [&] {
             w.Select(0);
             menu(f.pmAlarmsAdd, EditAndOk("d", {10, 30}))();
         },
         {"a", "d", "b", "c"},
         1,
         30 * 60},
        {"duplicate d",
         [&] {
             w.Select(1);
             menu(f.pmAlarmsDuplicate)();
         },
         {"a", "d", "d", "b", "c"},
         1,
         30 * 60},
        {"disable the first d",
         [&] {
             w.Select(1);
             menu(f.pmAlarmsEnableDisable)();
         },
         {"a", "d", "d", "b", "c"},
         2,
         30 * 60},
        {"insert e at 10:20 above b",
         [&] {
             w.Select(3);
             menu(f.pmAlarmsInsert, EditAndOk("e", {10, 20}))();
         },
         {"a", "d", "d", "e", "b", "c"},
         3,
         20 * 60},
        {"edit e to 10:45",
         [&] {
             w.Select(3);
             WhenModal answer(EditAndOk("e", {10, 45}));
             f.clbAlarmsDblClick();
         },
         {"a", "d", "d", "e", "b", "c"},
         2,
         30 * 60},
        {"delete the armed d",
         [&] {
             yes(true);
             w.Select(2);
             menu(f.pmAlarmsDelete)();
         },
         {"a", "d", "e", "b", "c"},
         2,
         45 * 60},
        {"untick e",
         [&] {
             w.Select(2);
             f.clbAlarms->SetChecked(2, false);
             f.clbAlarmsClickCheck();
         },
         {"a", "d", "e", "b", "c"},
         0,
         60 * 60},
        {"delete a, b and c",
         [&] {
             yes(true);
             for (int row : {4, 3, 0}) {
                 w.Select(row);
                 menu(f.pmAlarmsDelete)();
             }
         },
         {"d", "e"},
         -1,
         0},
    };
    int elapsed = 5;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        w.clock.Advance(10);
        elapsed += 10;
        step.run();
        EXPECT_EQ(w.Descriptions(), step.after);
        EXPECT_EQ(f.NextAlarmIndex(), step.nextAlarm);
        if (step.periodSeconds == 0) {
            EXPECT_FALSE(f.TimerPlayback->Enabled());
        } else {
            EXPECT_TRUE(f.TimerPlayback->Enabled());
            EXPECT_EQ(f.TimerPlayback->Interval(), (step.periodSeconds - elapsed) * 1000);
        }
        w.ExpectRowsMirrorAlarms();
    }
}

TEST(CommandScheduling, ATickWhileADialogIsOpenPlaysAndTheCommandKeepsItsRow) {
    // a is due at 11:00 and armed; the command works on c (row 2).
    enum class Dialog { AddEditor, DoubleClickEditor, DeleteQuestion };
    struct Case {
        const char* what;
        Dialog dialog;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"Add", Dialog::AddEditor, {"a", "b", "c", "new"}},
        {"double click", Dialog::DoubleClickEditor, {"a", "b", "new"}},
        {"Delete", Dialog::DeleteQuestion, {"a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CommandForm w(ThreeAlarms());
        w.FirstTick();
        ASSERT_EQ(w.form->NextAlarmIndex(), 0);
        w.Select(2);
        const TDateTime due = w.form->AlarmList[0]->NextTime;
        bool ticked = false;
        auto tickInside = [&](QWidget& modal) {
            // The alarm falls due while the dialog is open; its tick comes
            // through the dialog's own loop.
            w.clock.Value = due + 0.5 / kSecondsPerDay;
            emit w.form->TimerPlayback->OnTimer();
            ticked = true;
            EXPECT_EQ(w.played.size(), 1u);
            // a moved on a week, its row rewritten in place; the selection stays.
            EXPECT_EQ(w.form->AlarmList[0]->NextTime, due + 7);
            EXPECT_EQ(w.form->clbAlarms->count(), 3);
            EXPECT_EQ(w.form->clbAlarms->ItemIndex(), 2);
            w.ExpectRowsMirrorAlarms();
            if (auto* box = qobject_cast<QMessageBox*>(&modal))
                return box->button(QMessageBox::Yes)->click();
            TAlarmOptions* e = AsEditor(modal);
            if (e == nullptr)
                return void(modal.close());
            e->Description->setText("new");
            e->DTPTime->setTime(QTime(11, 30, 0));
            e->cbMonday->setChecked(true);
            e->BitBtn1->click();
        };
        {
            WhenModal answer(tickInside);
            switch (c.dialog) {
            case Dialog::AddEditor:
                w.form->pmAlarmsAddClick();
                break;
            case Dialog::DoubleClickEditor:
                w.form->clbAlarmsDblClick();
                break;
            case Dialog::DeleteQuestion:
                w.form->pmAlarmsDeleteClick(); // the real question box
                break;
            }
        }
        ASSERT_TRUE(ticked);
        ASSERT_EQ(w.played.size(), 1u);
        EXPECT_EQ(w.played[0].Description, "a");
        EXPECT_EQ(w.Descriptions(), c.after);
        w.ExpectRowsMirrorAlarms();
        // Re-armed from now, half a second after 11:00: b at 12:00, or the new
        // alarm at 11:30.
        const int expected = c.dialog == Dialog::DeleteQuestion ? 3599 : 1799;
        EXPECT_EQ(w.form->TimerPlayback->Interval(), expected * 1000);
    }
}

TEST(CommandScheduling, TheEditorsTestButtonSoundsTheEditedFileAndLeavesTheAlarmAlone) {
    PulseServer server(1);
    CommandForm w(ThreeAlarms());
    // The window plays through the sound layer, as in the program.
    w.form->SoundPlayer = [](const TAudioSettings& settings, const TAlarm& alarm) {
        dormix::PlayAlarm(settings, alarm);
    };
    const std::string stored = w.dir.File("stored.wav"), edited = w.dir.File("edited.wav");
    WriteSine(stored, 0.4, 440);
    WriteSine(edited, 0.4, 1000);
    w.form->AlarmList[1]->SoundFile = stored;
    w.Select(1);
    Recording recording;
    {
        WhenModal editor([&](QWidget& modal) {
            TAlarmOptions* e = AsEditor(modal);
            if (e == nullptr)
                return void(modal.close());
            e->eAudioFile->setText(QString::fromStdString(edited));
            MonitorRecorder recorder(server.MonitorName(0));
            e->btnTest->click(); // returns when the sound has ended
            recording = recorder.Stop();
            e->BitBtn2->click();
        });
        w.form->clbAlarmsDblClick();
        ASSERT_TRUE(editor.Shown());
    }
    const auto first = recording.FirstAudible(1e-5f), end = recording.EndOfAudible(1e-5f);
    ASSERT_TRUE(first && end) << "no sound on the server";
    EXPECT_NEAR(recording.Frequency(*first, *end), 1000, 20);
    EXPECT_NEAR(static_cast<double>(*end - *first) / recording.Rate, 0.4, 0.1);
    EXPECT_EQ(w.form->AlarmList[1]->SoundFile, stored);
}

TEST(CommandScheduling, AFullListTakesNoMoreAlarmsAndSaysSo) {
    CommandForm w({});
    TForm1& f = *w.form;
    const std::size_t full = 32767;
    {
        // Filled directly: the alarm file never holds this many.
        auto proto = MakeAlarm(Due("x", 240));
        f.clbAlarms->setUpdatesEnabled(false);
        for (std::size_t i = 0; i < full; ++i) {
            auto alarm = std::make_unique<TAlarm>();
            alarm->CopyFrom(*proto);
            f.clbAlarms->AddRow(QString::fromStdString(alarm->GetDisplayText()), true);
            f.AlarmList.push_back(std::move(alarm));
        }
        f.clbAlarms->setUpdatesEnabled(true);
    }
    w.clock.Advance(2);
    f.SelectNextAlarm();
    f.ArmPlaybackTimer();
    const int period = f.TimerPlayback->Interval();
    w.Select(static_cast<int>(full) - 1);
    for (QAction* item : {f.pmAlarmsAdd, f.pmAlarmsInsert, f.pmAlarmsDuplicate}) {
        SCOPED_TRACE(item->text().toStdString());
        QString said;
        bool editor = false;
        {
            WhenModal answer([&](QWidget& modal) {
                if (auto* box = qobject_cast<QMessageBox*>(&modal)) {
                    said = box->text();
                    return box->button(QMessageBox::Ok)->click();
                }
                editor = true;
                modal.close();
            });
            f.pmAlarmsPopup();
            item->trigger();
        }
        EXPECT_FALSE(editor);
        EXPECT_EQ(said, "The alarm list is full: Dormix holds at most 32767 alarms.");
        EXPECT_EQ(f.AlarmList.size(), full);
        EXPECT_EQ(f.clbAlarms->count(), static_cast<int>(full));
        EXPECT_EQ(f.TimerPlayback->Interval(), period);
    }
    // With one place free, the last one is taken; the new alarm, due first,
    // is armed at the highest position.
    f.ConfirmDelete = [](const QString&, const QString&) { return true; };
    f.pmAlarmsDeleteClick();
    ASSERT_EQ(f.AlarmList.size(), full - 1);
    w.Select(static_cast<int>(full) - 2);
    {
        WhenModal answer(EditAndOk("last", {10, 1}));
        f.pmAlarmsAddClick();
    }
    ASSERT_EQ(f.AlarmList.size(), full);
    EXPECT_EQ(f.AlarmList.back()->Description, "last");
    EXPECT_EQ(f.clbAlarms->item(static_cast<int>(full) - 1)->text().toStdString(),
              f.AlarmList.back()->GetDisplayText());
    EXPECT_EQ(f.NextAlarmIndex(), 32766);
    EXPECT_EQ(f.TimerPlayback->Interval(), (60 - 2) * 1000);
}
