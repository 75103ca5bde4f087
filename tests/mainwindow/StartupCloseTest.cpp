// The main window's start-up and close on the offscreen platform (no window
// frame there, so the outer size is the window's size): the caption, the
// settings file read key by key, the alarm file into the list, and what the
// close writes.
#include "MainWindowSupport.h"
#include "Unit1.h"

#include <QDialog>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

// 4 March 2024 was a Monday.
const TDateTime kMonday10 = EncodeDateTime(2024, 3, 4, 10, 0, 0);

std::vector<AlarmEntry> ThreeAlarms() {
    return {
        {"Wake up", EncodeDateTime(2003, 3, 1, 7, 0, 0), {1, 3}, true, "/sounds/a.wav"},
        {"Tea", EncodeDateTime(2003, 3, 1, 16, 30, 0), {0, 6}, false, "/sounds/b.wav"},
        {"Bed", EncodeDateTime(2003, 3, 1, 22, 15, 0), {1, 2, 3, 4, 5}, true, ""},
    };
}

} // namespace

TEST(MainWindowStartup, WithoutSettingsFileOpensAtTheDefaults) {
    TempDir dir;
    TForm1 form(nullptr, dir.Path());
    form.show();
    EXPECT_EQ(form.windowTitle().toStdString(), "Dormix Version 1.1.0.0");
    EXPECT_EQ(form.frameGeometry(), QRect(100, 100, 500, 400));
    EXPECT_TRUE(form.isVisible());
    EXPECT_FALSE(form.isMaximized());
    EXPECT_EQ(form.AudioSettings.Device, 0);
    EXPECT_EQ(form.AudioSettings.Volume, 25);
    EXPECT_FALSE(form.AudioSettings.VolumeOverride);
    EXPECT_FALSE(form.Minimized);
    EXPECT_TRUE(form.AlarmList.empty());
    EXPECT_EQ(form.clbAlarms->count(), 0);
    // Start-up writes nothing; nothing is armed until the first tick.
    EXPECT_FALSE(Exists(dir.SettingsFile()));
    EXPECT_FALSE(Exists(dir.AlarmFile()));
    EXPECT_EQ(form.NextAlarmIndex(), -1);
}

TEST(MainWindowStartup, SettingsValuesFollowTheProfileGrammar) {
    struct Case {
        const char* what;
        std::string file;
        int top, left, height, width;
        bool maximized, minimized;
        std::int16_t device, volume;
        bool override;
    };
    const Case cases[] = {
        {"hex with 0x", "[Form]\nTop=0x20\n", 32, 100, 400, 500, false, false, 0, 25, false},
        {"hex with $", "[Form]\nTop=$20\n", 32, 100, 400, 500, false, false, 0, 25, false},
        {"not a number", "[Form]\nTop=abc\n", 100, 100, 400, 500, false, false, 0, 25, false},
        {"empty", "[Form]\nTop=\n", 100, 100, 400, 500, false, false, 0, 25, false},
        {"beyond 32 bits", "[Form]\nTop=2147483648\n", 100, 100, 400, 500, false, false, 0, 25,
         false},
        {"trailing garbage", "[Form]\nLeft=12px\n", 100, 100, 400, 500, false, false, 0, 25, false},
        {"blanks and a sign", "[Form]\nLeft= +7\nTop=-3\n", -3, 7, 400, 500, false, false, 0, 25,
         false},
        {"size", "[Form]\nHeight=321\nWidth=456\n", 100, 100, 321, 456, false, false, 0, 25, false},
        {"maximized 2 is on", "[Form]\nMaximized=2\n", 100, 100, 400, 500, true, false, 0, 25,
         false},
        {"maximized 0 is off", "[Form]\nMaximized=0\n", 100, 100, 400, 500, false, false, 0, 25,
         false},
        {"minimized", "[Form]\nMinimized=1\n", 100, 100, 400, 500, false, true, 0, 25, false},
        {"device above 16 bits", "[Options]\nDevice=32768\n", 100, 100, 400, 500, false, false,
         -32768, 25, false},
        {"device FFFFFFFF", "[Options]\nDevice=0xFFFFFFFF\n", 100, 100, 400, 500, false, false, -1,
         25, false},
        {"volume low 16 bits", "[Options]\nVolume=65561\n", 100, 100, 400, 500, false, false, 0, 25,
         false},
        {"volume and override", "[Options]\nVolume=200\nVolumeOverride=7\n", 100, 100, 400, 500,
         false, false, 0, 200, true},
        {"keys in another section", "[Other]\nTop=5\nVolume=9\n", 100, 100, 400, 500, false, false,
         0, 25, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        WriteText(dir.SettingsFile(), c.file);
        {
            TForm1 form(nullptr, dir.Path());
            form.show();
            EXPECT_EQ(form.isMaximized(), c.maximized);
            if (!c.maximized) {
                EXPECT_EQ(form.frameGeometry(), QRect(c.left, c.top, c.width, c.height));
            }
            EXPECT_EQ(form.Minimized, c.minimized);
            EXPECT_EQ(form.AudioSettings.Device, c.device);
            EXPECT_EQ(form.AudioSettings.Volume, c.volume);
            EXPECT_EQ(form.AudioSettings.VolumeOverride, c.override);
            ASSERT_TRUE(form.close());
        }
        // Written back as read: 16-bit values sign-extended, flags as 0 or 1.
        const TIniFile written(dir.SettingsFile());
        EXPECT_EQ(written.ReadString("Options", "Device", "?"), std::to_string(c.device));
        EXPECT_EQ(written.ReadString("Options", "Volume", "?"), std::to_string(c.volume));
        EXPECT_EQ(written.ReadString("Options", "VolumeOverride", "?"), c.override ? "1" : "0");
        EXPECT_EQ(written.ReadString("Form", "Minimized", "?"), c.minimized ? "1" : "0");
        EXPECT_EQ(written.ReadString("Form", "Maximized", "?"), c.maximized ? "1" : "0");
    }
}

TEST(MainWindowClose, WritesTheNineKeysInOrderAndInTheirTextForms) {
    TempDir dir;
    TForm1 form(nullptr, dir.Path());
    form.show();
    // Placed by its outer frame.
    const QSize frame = form.frameGeometry().size() - form.size();
    form.move(30, 40);
    form.resize(QSize(420, 310) - frame);
    ASSERT_EQ(form.frameGeometry(), QRect(30, 40, 420, 310));
    form.AudioSettings = {-1, 200, true};
    form.Minimized = true;
    int closedSignals = 0;
    QObject::connect(&form, &TForm1::Closed, [&] { ++closedSignals; });
    ASSERT_TRUE(form.close());
    EXPECT_EQ(closedSignals, 1);
    const std::vector<std::string> expected = {
        "[Form]",      "Top=40",    "Left=30",   "Height=310", "Width=420",       "Maximized=0",
        "Minimized=1", "[Options]", "Device=-1", "Volume=200", "VolumeOverride=1"};
    EXPECT_EQ(Lines(dir.SettingsFile()), expected);
}

TEST(MainWindowClose, KeepsForeignKeysSectionsAndComments) {
    TempDir dir;
    WriteText(dir.SettingsFile(), "; my notes\n"
                                  "[Other]\n"
                                  "Colour=blue\n"
                                  "[Form]\n"
                                  "Top=20\n"
                                  "Extra=keep me\n"
                                  "[Options]\n"
                                  "Volume=40\n"
                                  "Unknown=1\n");
    {
        TForm1 form(nullptr, dir.Path());
        form.show();
        ASSERT_TRUE(form.close());
    }
    const std::vector<std::string> lines = Lines(dir.SettingsFile());
    // The lines the window does not own stay, in their places.
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[0], "; my notes");
    EXPECT_EQ(lines[1], "[Other]");
    EXPECT_EQ(lines[2], "Colour=blue");
    EXPECT_EQ(lines[3], "[Form]");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Extra=keep me"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Unknown=1"), 1);
    const TIniFile ini(dir.SettingsFile());
    EXPECT_EQ(ini.ReadString("Form", "Top", "?"), "20");
    EXPECT_EQ(ini.ReadString("Form", "Left", "?"), "100");
    EXPECT_EQ(ini.ReadString("Options", "Volume", "?"), "40");
    EXPECT_EQ(ini.ReadString("Options", "Device", "?"), "0");
    // Nine keys of the window and the two foreign ones, once each.
    EXPECT_EQ(lines.size(), 1u + 1u + 3u + 9u + 2u); // comment, Colour, headers, keys
}

TEST(MainWindowClose, MaximizedStateRoundTrips) {
    TempDir dir;
    WriteText(dir.SettingsFile(), "[Form]\nMaximized=1\n");
    QRect maximizedFrame;
    {
        TForm1 form(nullptr, dir.Path());
        form.show();
        ASSERT_TRUE(form.isMaximized());
        maximizedFrame = form.frameGeometry();
        ASSERT_TRUE(form.close());
    }
    const TIniFile ini(dir.SettingsFile());
    EXPECT_EQ(ini.ReadString("Form", "Maximized", "?"), "1");
    // The maximized position and size are what is written.
    EXPECT_EQ(ini.ReadInteger("Form", "Top", -1), maximizedFrame.top());
    EXPECT_EQ(ini.ReadInteger("Form", "Left", -1), maximizedFrame.left());
    EXPECT_EQ(ini.ReadInteger("Form", "Height", -1), maximizedFrame.height());
    EXPECT_EQ(ini.ReadInteger("Form", "Width", -1), maximizedFrame.width());
    EXPECT_NE(maximizedFrame.size(), QSize(500, 400));

    TForm1 again(nullptr, dir.Path());
    again.show();
    EXPECT_TRUE(again.isMaximized());
    again.showNormal();
    ASSERT_TRUE(again.close());
    EXPECT_EQ(TIniFile(dir.SettingsFile()).ReadString("Form", "Maximized", "?"), "0");
}

TEST(MainWindowStartup, LoadsTheAlarmFileIntoTheListWithoutArming) {
    TempDir dir;
    FixedClock clock(kMonday10);
    WriteAlarmFile(dir.AlarmFile(), ThreeAlarms());
    TForm1 form(nullptr, dir.Path());
    ASSERT_EQ(form.AlarmList.size(), 3u);
    ASSERT_EQ(form.clbAlarms->count(), 3);
    const char* descriptions[] = {"Wake up", "Tea", "Bed"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TAlarm& alarm = *form.AlarmList[static_cast<std::size_t>(i)];
        EXPECT_EQ(alarm.Description, descriptions[i]);
        EXPECT_EQ(form.clbAlarms->item(i)->text().toStdString(), alarm.GetDisplayText());
        EXPECT_EQ(form.clbAlarms->Checked(i), alarm.Enabled);
    }
    // Next due times are worked out from now: Bed is due tonight.
    EXPECT_DOUBLE_EQ(form.AlarmList[2]->NextTime, EncodeDateTime(2024, 3, 4, 22, 15, 0));
    EXPECT_EQ(form.NextAlarmIndex(), -1);
    EXPECT_DOUBLE_EQ(form.ReferenceTime(), kMonday10);
    EXPECT_TRUE(form.TimerPlayback->Enabled());
    EXPECT_EQ(form.TimerPlayback->Interval(), 5000);
}

TEST(MainWindowClose, WritesTheAlarmsThenReleasesThem) {
    struct Case {
        const char* what;
        std::function<void(TForm1&)> close;
    };
    const Case cases[] = {
        {"close box", [](TForm1& form) { form.close(); }},
        {"tray menu Exit", [](TForm1& form) { form.Exit1->trigger(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        FixedClock clock(kMonday10);
        WriteAlarmFile(dir.AlarmFile(), ThreeAlarms());
        TForm1 form(nullptr, dir.Path());
        form.show();
        form.AlarmList[1]->Description = "Green tea";
        form.AlarmList.pop_back();
        form.clbAlarms->DeleteRow(2);
        c.close(form);
        EXPECT_FALSE(form.isVisible());
        EXPECT_TRUE(form.AlarmList.empty());
        EXPECT_FALSE(form.TimerPlayback->Enabled());
        const TIniFile alarms(dir.AlarmFile());
        EXPECT_EQ(alarms.ReadString("Dormi0", "Description", "?"), "Wake up");
        EXPECT_EQ(alarms.ReadString("Dormi1", "Description", "?"), "Green tea");
        EXPECT_EQ(alarms.ReadString("Dormi1", "Enabled", "?"), "0");
        EXPECT_FALSE(alarms.SectionExists("Dormi2"));
        EXPECT_TRUE(Exists(dir.SettingsFile()));
        // A second close (the application ending) writes nothing more.
        const std::string before = ReadText(dir.AlarmFile());
        form.close();
        EXPECT_EQ(ReadText(dir.AlarmFile()), before);
    }
}

TEST(MainWindowClose, ExitWhileModalWindowsAreOpenCancelsThemAndClosesAfterTheCommand) {
    TempDir dir;
    WriteAlarmFile(dir.AlarmFile(), ThreeAlarms());
    TForm1 form(nullptr, dir.Path());
    form.show();

    std::vector<std::string> log;
    int editorResult = -1;
    int confirmResult = -1;
    std::size_t alarmsWhenCommandReturned = 0;
    bool settingsWhenCommandReturned = true;
    // A command with two modal windows: an editor, and a delete confirmation
    // opened from it. Exit is chosen while the confirmation is up.
    const auto command = [&] {
        QDialog editor(&form);
        editor.setModal(true);
        QTimer::singleShot(0, &editor, [&] {
            QMessageBox confirm(QMessageBox::NoIcon, "Delete Tea Alarm?",
                                "Are you sure you want to permanently and irrevocably delete Tea?",
                                QMessageBox::Yes | QMessageBox::No, &editor);
            confirm.setDefaultButton(QMessageBox::Yes);
            QTimer::singleShot(0, &form, [&] { form.Exit1->trigger(); });
            confirmResult = confirm.exec();
            log.push_back("confirmation answered");
            if (confirmResult == QMessageBox::Yes) {
                form.clbAlarms->DeleteRow(1);
                form.AlarmList.erase(form.AlarmList.begin() + 1);
            }
        });
        editorResult = editor.exec();
        log.push_back("command returned");
        alarmsWhenCommandReturned = form.AlarmList.size();
        settingsWhenCommandReturned = Exists(dir.SettingsFile());
    };
    QEventLoop loop;
    QObject::connect(&form, &TForm1::Closed, &loop, [&] {
        log.push_back("closed");
        loop.quit();
    });
    QTimer::singleShot(0, &loop, command);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();

    EXPECT_EQ(log,
              (std::vector<std::string>{"confirmation answered", "command returned", "closed"}));
    EXPECT_NE(confirmResult, QMessageBox::Yes);
    EXPECT_EQ(editorResult, QDialog::Rejected);
    EXPECT_EQ(alarmsWhenCommandReturned, 3u);
    EXPECT_FALSE(settingsWhenCommandReturned);
    EXPECT_FALSE(form.isVisible());
    const TIniFile alarms(dir.AlarmFile());
    EXPECT_EQ(alarms.ReadString("Dormi1", "Description", "?"), "Tea");
    EXPECT_TRUE(alarms.SectionExists("Dormi2"));
    EXPECT_TRUE(Exists(dir.SettingsFile()));
}
