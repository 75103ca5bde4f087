// Closing when a file cannot be written: the window stays open with its
// alarms, the error is shown, and a later close succeeds. The process drops
// root's permission overrides first (they would let it write anyway).
#include "FileCapabilities.h"
#include "MainWindowSupport.h"
#include "Unit1.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

using namespace dormix;
using namespace dormix::test;

namespace {

// True when this thread can no longer write a read-only file.
bool PermissionsApply(const TempDir& dir) {
    if (!DropFileCapabilities())
        return false;
    const std::string probe = dir.File("probe");
    WriteText(probe, "x");
    ::chmod(probe.c_str(), 0444);
    const int fd = ::open(probe.c_str(), O_WRONLY);
    if (fd >= 0)
        ::close(fd);
    std::filesystem::remove(probe);
    return fd < 0;
}

} // namespace

TEST(MainWindowReadOnlyFiles, CaptionWithoutVersionData) {
    TempDir dir;
    TForm1 form(nullptr, dir.Path());
    EXPECT_EQ(form.windowTitle().toStdString(), " Version ");
}

TEST(MainWindowReadOnlyFiles, AFileThatCannotBeWrittenKeepsTheWindowOpenWithItsAlarms) {
    struct Case {
        const char* what;
        bool alarmFileReadOnly;
    };
    for (const Case c : {Case{"alarm file", true}, Case{"settings file", false}}) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        ASSERT_TRUE(PermissionsApply(dir)) << "cannot give up the permission overrides";
        BoxWatch box;
        WriteAlarmFile(dir.AlarmFile(),
                       {{"one", 0.25, {1}, true, ""}, {"two", 0.5, {2}, false, ""}});
        WriteText(dir.SettingsFile(), "[Form]\nTop=5\n");
        const std::string locked = c.alarmFileReadOnly ? dir.AlarmFile() : dir.SettingsFile();
        const std::string lockedBefore = ReadText(locked);
        ASSERT_EQ(::chmod(locked.c_str(), 0444), 0);

        TForm1 form(nullptr, dir.Path());
        form.show();
        form.AlarmList[1]->Description = "two, renamed";
        form.clbAlarms->SetRowText(1, QString::fromStdString(form.AlarmList[1]->GetDisplayText()));

        EXPECT_FALSE(form.close());
        ASSERT_EQ(box.Boxes.size(), 1u);
        EXPECT_EQ(box.Boxes[0].Caption.toStdString(), "Dormix - The Alarm Scheduler");
        EXPECT_EQ(box.Boxes[0].Text.toStdString(), "Unable to write to " + locked + ".");
        EXPECT_TRUE(form.isVisible());
        ASSERT_EQ(form.AlarmList.size(), 2u);
        EXPECT_EQ(form.clbAlarms->count(), 2);
        EXPECT_EQ(form.AlarmList[1]->Description, "two, renamed");
        EXPECT_TRUE(form.TimerPlayback->Enabled());
        EXPECT_EQ(ReadText(locked), lockedBefore);
        // The alarm file is written first: when only the settings file fails,
        // the alarms are already saved.
        EXPECT_EQ(TIniFile(dir.AlarmFile()).ReadString("Dormi1", "Description", "?"),
                  c.alarmFileReadOnly ? "two" : "two, renamed");
        EXPECT_EQ(TIniFile(dir.SettingsFile()).ValueExists("Form", "Left"), false);

        // The user makes the file writable and closes again.
        ASSERT_EQ(::chmod(locked.c_str(), 0644), 0);
        EXPECT_TRUE(form.close());
        EXPECT_EQ(box.Boxes.size(), 1u);
        EXPECT_TRUE(form.AlarmList.empty());
        EXPECT_EQ(TIniFile(dir.AlarmFile()).ReadString("Dormi1", "Description", "?"),
                  "two, renamed");
        EXPECT_EQ(TIniFile(dir.SettingsFile()).ReadString("Form", "Left", "?"), "100");
        EXPECT_EQ(TIniFile(dir.SettingsFile()).ReadString("Form", "Top", "?"), "5");
    }
}
