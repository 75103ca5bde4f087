// The alarm editor: what it shows of an alarm, what OK writes back, what every
// other way out leaves alone, the sound file browser and the test button.
#include "Aoptions.h"
#include "DialogTestSupport.h"
#include "Playback.h"
#include "Probes.h"
#include "PulseServer.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QScreen>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <vector>

using namespace dormix;
using namespace dormix::test;

namespace {

std::vector<QCheckBox*> DayBoxes(TAlarmOptions& d) {
    return {d.cbSunday,   d.cbMonday, d.cbTuesday, d.cbWednesday,
            d.cbThursday, d.cbFriday, d.cbSaturday};
}

TAlarm SampleAlarm() {
    TAlarm alarm;
    alarm.Description = "Get up";
    alarm.Time = EncodeDateTime(2024, 7, 15, 6, 45, 30);
    alarm.NextTime = EncodeDateTime(2024, 7, 16, 6, 45, 30);
    alarm.Enabled = false;
    alarm.Days = {false, true, true, false, true, false, true};
    alarm.SoundFile = "/music/wake up.wav";
    return alarm;
}

bool SameAlarm(const TAlarm& a, const TAlarm& b) {
    return a.Description == b.Description && a.Time == b.Time && a.NextTime == b.NextTime &&
           a.Enabled == b.Enabled && a.Days == b.Days && a.SoundFile == b.SoundFile;
}

// Changes every control.
void EditEverything(TAlarmOptions& d) {
    d.Description->setText("Gym");
    d.DTPTime->setTime(QTime(18, 30, 5));
    d.cbEnabled->setChecked(!d.cbEnabled->isChecked());
    for (QCheckBox* box : DayBoxes(d))
        box->setChecked(!box->isChecked());
    d.eAudioFile->setText("/other/bell.wav");
}

class TempFolder {
public:
    TempFolder() : Path(MakeTempFolder("dormix-dlg")) {}
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(Path, ignored);
    }
    std::string Touch(const std::string& name) const {
        const std::string file = Path + "/" + name;
        std::ofstream(file) << "RIFF";
        return file;
    }
    std::string Path;
};

} // namespace

TEST(AlarmEditor, ShowFillsTheControlsAndOkWritesEveryFieldOnTheEditorsDate) {
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    dialog.Alarm = &alarm;
    ASSERT_EQ(ExecWith(dialog,
                       [&] {
                           EXPECT_EQ(dialog.Description->text(), "Get up");
                           EXPECT_EQ(dialog.DTPTime->time(), QTime(6, 45, 30));
                           EXPECT_FALSE(dialog.cbEnabled->isChecked());
                           std::array<bool, 7> shown{};
                           for (std::size_t i = 0; i < 7; ++i)
                               shown[i] = DayBoxes(dialog)[i]->isChecked();
                           EXPECT_EQ(shown, alarm.Days);
                           EXPECT_EQ(dialog.eAudioFile->text(), "/music/wake up.wav");
                           EditEverything(dialog);
                           dialog.BitBtn1->click();
                       }),
              QDialog::Accepted);
    EXPECT_EQ(alarm.Description, "Gym");
    EXPECT_EQ(alarm.Time, 37681.0 + (18 * 3600 + 30 * 60 + 5) / 86400.0);
    const DateTimeFields f = DecodeDateTime(alarm.Time);
    EXPECT_EQ((std::vector<int>{f.year, f.month, f.day, f.hour, f.minute, f.second, f.millisecond}),
              (std::vector<int>{2003, 3, 1, 18, 30, 5, 0}));
    EXPECT_TRUE(alarm.Enabled);
    EXPECT_EQ(alarm.Days, (std::array<bool, 7>{true, false, false, true, false, true, false}));
    EXPECT_EQ(alarm.SoundFile, "/other/bell.wav");
    // NextTime is not the editor's.
    EXPECT_EQ(alarm.NextTime, SampleAlarm().NextTime);
}

TEST(AlarmEditor, OkWithoutTouchingThePickerKeepsTheTimeOfDayOnFirstMarch2003) {
    struct Case {
        const char* what;
        TDateTime time;
        QTime shown;
    };
    const std::vector<Case> cases = {
        {"another date", EncodeDateTime(2031, 12, 24, 23, 59, 59), QTime(23, 59, 59)},
        {"milliseconds are not held", EncodeDateTime(2020, 2, 29, 7, 8, 9, 999), QTime(7, 8, 9)},
        {"midnight", EncodeDateTime(1999, 1, 1), QTime(0, 0, 0)},
        {"before day 0", -1.25, QTime(6, 0, 0)},
        {"the picker's own time", 37681.6614892477, QTime(15, 52, 32)},
    };
    TAlarmOptions dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAlarm alarm = SampleAlarm();
        alarm.Time = c.time;
        dialog.Alarm = &alarm;
        QTime shown;
        ASSERT_EQ(ExecWith(dialog,
                           [&] {
                               shown = dialog.DTPTime->time();
                               dialog.BitBtn1->click();
                           }),
                  QDialog::Accepted);
        EXPECT_EQ(shown, c.shown);
        const int seconds = c.shown.msecsSinceStartOfDay() / 1000;
        EXPECT_EQ(alarm.Time, 37681.0 + seconds / 86400.0);
    }
}

TEST(AlarmEditor, EveryWayOutButOkLeavesTheAlarmExactlyAsItWas) {
    TAlarmOptions dialog;
    for (TClose how : {TClose::Cancel, TClose::Escape, TClose::CloseBox}) {
        SCOPED_TRACE(CloseName(how));
        TAlarm alarm = SampleAlarm();
        dialog.Alarm = &alarm;
        EXPECT_EQ(ExecWith(dialog,
                           [&] {
                               EditEverything(dialog);
                               CloseDialog(dialog, dialog.BitBtn1, dialog.BitBtn2, how);
                           }),
                  QDialog::Rejected);
        EXPECT_TRUE(SameAlarm(alarm, SampleAlarm()));
        EXPECT_FALSE(dialog.isVisible());
    }
}

TEST(AlarmEditor, EachShowReadsTheAlarmAgain) {
    // An edit cancelled on one show does not come back on the next.
    TAlarmOptions dialog;
    TAlarm first = SampleAlarm();
    dialog.Alarm = &first;
    ExecWith(dialog, [&] {
        EditEverything(dialog);
        dialog.BitBtn2->click();
    });
    TAlarm second;
    second.Description = "Second";
    second.Time = EncodeDateTime(2025, 1, 2, 12, 0, 1);
    second.Enabled = true;
    second.Days.fill(true);
    second.SoundFile = "";
    dialog.Alarm = &second;
    ExecWith(dialog, [&] {
        EXPECT_EQ(dialog.Description->text(), "Second");
        EXPECT_EQ(dialog.DTPTime->time(), QTime(12, 0, 1));
        EXPECT_TRUE(dialog.cbEnabled->isChecked());
        for (QCheckBox* box : DayBoxes(dialog))
            EXPECT_TRUE(box->isChecked());
        EXPECT_EQ(dialog.eAudioFile->text(), "");
        dialog.BitBtn2->click();
    });
}

TEST(AlarmEditor, OkWithNoDayTickedStoresSevenFalseAndAcceptsEmptyTexts) {
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    dialog.Alarm = &alarm;
    ExecWith(dialog, [&] {
        for (QCheckBox* box : DayBoxes(dialog))
            box->setChecked(false);
        dialog.Description->clear();
        dialog.eAudioFile->clear();
        dialog.BitBtn1->click();
    });
    EXPECT_EQ(alarm.Days, (std::array<bool, 7>{}));
    EXPECT_EQ(alarm.Description, "");
    EXPECT_EQ(alarm.SoundFile, "");
}

TEST(AlarmEditor, ShownCentredOnTheScreen) {
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    dialog.Alarm = &alarm;
    QPoint centre, screenCentre;
    ExecWith(dialog, [&] {
        centre = dialog.geometry().center();
        screenCentre = dialog.screen()->availableGeometry().center();
        dialog.BitBtn2->click();
    });
    EXPECT_LE((centre - screenCentre).manhattanLength(), 40);
}

// --- the sound file browser ---

TEST(AlarmEditor, BrowseOpensTheWaveFileDialogAtTheCurrentFile) {
    TempFolder folder;
    const std::string current = folder.Touch("current.wav");
    const std::string chosen = folder.Touch("chosen.wav");
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    dialog.Alarm = &alarm;
    int runs = 0;
    dialog.ODSounds.Run = [&](QFileDialog& fd) {
        ++runs;
        EXPECT_EQ(fd.windowTitle(), "Select Sound File");
        EXPECT_EQ(fd.nameFilters(), (QStringList{"Wave Files (*.wav)", "All Files (*.*)"}));
        EXPECT_EQ(fd.selectedNameFilter(), "Wave Files (*.wav)");
        EXPECT_EQ(fd.defaultSuffix(), "wav");
        EXPECT_EQ(fd.fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(fd.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_TRUE(fd.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_TRUE(fd.isSizeGripEnabled());
        EXPECT_EQ(fd.directory().absolutePath().toStdString(), folder.Path);
        EXPECT_EQ(fd.selectedFiles(), QStringList{QString::fromStdString(current)});
        fd.selectFile(QString::fromStdString(chosen));
        return true;
    };
    ExecWith(dialog, [&] {
        dialog.eAudioFile->setText(QString::fromStdString(current));
        dialog.btnBrowse->click();
        EXPECT_EQ(dialog.eAudioFile->text().toStdString(), chosen);
        dialog.BitBtn1->click();
    });
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(alarm.SoundFile, chosen);
}

TEST(AlarmEditor, BrowseWithAnEmptyFileNamePresetsNoFile) {
    TempFolder folder;
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    alarm.SoundFile = folder.Touch("before.wav");
    dialog.Alarm = &alarm;
    QStringList preset = {"not run"};
    dialog.ODSounds.Run = [&](QFileDialog& fd) {
        preset = fd.selectedFiles();
        return false;
    };
    ExecWith(dialog, [&] {
        // A browse from a file first, so that nothing carries over.
        dialog.btnBrowse->click();
        dialog.eAudioFile->clear();
        dialog.btnBrowse->click();
        EXPECT_EQ(dialog.eAudioFile->text(), "");
        dialog.BitBtn2->click();
    });
    EXPECT_EQ(preset, QStringList());
}

TEST(AlarmEditor, BrowseThenCancelLeavesTheSoundFileAlone) {
    TempFolder folder;
    const std::string chosen = folder.Touch("chosen.wav");
    struct Case {
        const char* what;
        bool confirm;  // in the file dialog
        TClose editor; // then the editor
        std::string shown, stored;
    };
    const std::string before = SampleAlarm().SoundFile;
    const std::vector<Case> cases = {
        {"file chosen, editor cancelled", true, TClose::Cancel, chosen, before},
        {"file chosen, editor escaped", true, TClose::Escape, chosen, before},
        {"file dialog cancelled, editor OK", false, TClose::Ok, before, before},
    };
    TAlarmOptions dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TAlarm alarm = SampleAlarm();
        dialog.Alarm = &alarm;
        dialog.ODSounds.Run = [&](QFileDialog& fd) {
            fd.selectFile(QString::fromStdString(chosen));
            return c.confirm;
        };
        ExecWith(dialog, [&] {
            dialog.btnBrowse->click();
            EXPECT_EQ(dialog.eAudioFile->text().toStdString(), c.shown);
            CloseDialog(dialog, dialog.BitBtn1, dialog.BitBtn2, c.editor);
        });
        EXPECT_EQ(alarm.SoundFile, c.stored);
    }
}

TEST(AlarmEditor, TheRealFileDialogTakesAnExistingFileOnly) {
    TempFolder folder;
    const std::string chosen = folder.Touch("real.wav");
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    alarm.SoundFile = folder.Path + "/start.wav";
    dialog.Alarm = &alarm;
    bool refusedMissing = false;
    ExecWith(dialog, [&] {
        // Drives the file dialog once it is up, as a user would.
        QTimer::singleShot(0, &dialog, [&] {
            auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(fd, nullptr);
            auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            // A file that does not exist is refused with a message; the file
            // dialog stays open.
            QTimer::singleShot(0, fd, [&] {
                if (QWidget* box = QApplication::activeModalWidget(); box != fd) {
                    refusedMissing = true;
                    box->close();
                }
            });
            name->setText(QString::fromStdString(folder.Path + "/missing.wav"));
            QTest::keyClick(name, Qt::Key_Return);
            EXPECT_TRUE(fd->isVisible());
            name->setText(QString::fromStdString(chosen));
            QTest::keyClick(name, Qt::Key_Return);
        });
        dialog.btnBrowse->click();
        dialog.BitBtn1->click();
    });
    EXPECT_TRUE(refusedMissing);
    EXPECT_EQ(alarm.SoundFile, chosen);
}

// --- the test button ---

TEST(AlarmEditor, TestPlaysTheEditedFileNameAndLeavesTheAlarmAlone) {
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    dialog.Alarm = &alarm;
    std::vector<std::string> played;
    dialog.TestSound = [&](const std::string& file) { played.push_back(file); };
    ExecWith(dialog, [&] {
        dialog.btnTest->click();
        dialog.eAudioFile->setText("/edited/ring.wav");
        dialog.btnTest->click();
        EXPECT_TRUE(dialog.isVisible());
        dialog.BitBtn2->click();
    });
    EXPECT_EQ(played, (std::vector<std::string>{"/music/wake up.wav", "/edited/ring.wav"}));
    EXPECT_TRUE(SameAlarm(alarm, SampleAlarm()));
}

TEST(AlarmEditor, TestSoundsTheEditedFileOnTheSoundServer) {
    PulseServer server(1);
    const std::string folder = MakeTempFolder("dormix-dlg-snd");
    const std::string stored = folder + "/stored.wav", edited = folder + "/edited.wav";
    WriteSine(stored, 0.4, 440);
    WriteSine(edited, 0.4, 1000);
    TAlarmOptions dialog;
    TAlarm alarm = SampleAlarm();
    alarm.SoundFile = stored;
    dialog.Alarm = &alarm;
    const TAudioSettings settings;
    dialog.TestSound = [&](const std::string& file) { dormix::TestSound(settings, file); };
    Recording recording;
    ExecWith(dialog, [&] {
        dialog.eAudioFile->setText(QString::fromStdString(edited));
        MonitorRecorder recorder(server.MonitorName(0));
        dialog.btnTest->click(); // returns when the sound has ended
        recording = recorder.Stop();
        dialog.BitBtn2->click();
    });
    std::filesystem::remove_all(folder);
    const auto first = recording.FirstAudible(1e-5f), end = recording.EndOfAudible(1e-5f);
    ASSERT_TRUE(first && end);
    EXPECT_NEAR(recording.Frequency(*first, *end), 1000, 20);
    EXPECT_EQ(alarm.SoundFile, stored);
}
