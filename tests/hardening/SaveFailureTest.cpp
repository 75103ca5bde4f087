// Saves that cannot be written: a read-only file, a read-only folder and a
// full disk, for the alarm file and the settings file. Each raises "Unable to
// write to <path>", leaves the old file byte for byte as it was, and leaves no
// temporary file behind.
#include "FileCapabilities.h"
#include "HardeningSupport.h"

#include "Exception.h"

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>

namespace dormix::test {
namespace {

// The message of the exception a save raised, or a marker when none.
std::string MessageOf(const std::function<void()>& save) {
    try {
        save();
        return "<no exception>";
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return std::string("<other exception> ") + e.what();
    }
}

struct Target {
    const char* name;
    const char* fileName;
    std::string oldBytes;                              // the file before the save
    std::function<void(const std::string& path)> save; // a save that must change it
};

std::vector<Target> Targets() {
    return {
        {"AlarmFile", "Dormis.ini", "; mine\r\n[Dormi0]\r\nDescription=Old\r\nEnabled=1\r\n",
         [](const std::string& path) { SaveAlarmFile(path, MakeAlarms(3, "new")); }},
        {"SettingsFile", "Dormix.ini", "[Form]\nTop=1\n[Mine]\nX=y\n",
         [](const std::string& path) {
             WriteSettings(path, {5, 6, 7, 8, 0, 1, 2, 3, 1});
         }},
    };
}

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

// Read-only file (folder writable) and read-only folder (file writable): the
// save runs in a child without root's permission-override capabilities, so
// the permissions bind even when the tests run as root.
TEST(SaveFailure, ReadOnlyFileOrFolder) {
    const struct {
        const char* name;
        mode_t fileMode;
        mode_t folderMode;
    } modes[] = {{"read-only file", 0444, 0755}, {"read-only folder", 0644, 0555}};
    for (const Target& target : Targets()) {
        for (const auto& m : modes) {
            SCOPED_TRACE(std::string(target.name) + ", " + m.name);
            TempDir dir;
            const std::string path = dir.File(target.fileName);
            WriteBytes(path, target.oldBytes);
            ASSERT_EQ(chmod(path.c_str(), m.fileMode), 0);
            ASSERT_EQ(chmod(dir.Path().c_str(), m.folderMode), 0);
            const ChildResult child =
                RunWithoutFileCapabilities([&] { return MessageOf([&] { target.save(path); }); });
            chmod(dir.Path().c_str(), 0755);
            ASSERT_TRUE(child.ok) << child.failure;
            EXPECT_EQ(child.output, "Unable to write to " + path);
            EXPECT_EQ(ReadBytes(path), target.oldBytes);
            EXPECT_EQ(ModeOf(path), m.fileMode) << "the file's permissions changed";
            EXPECT_EQ(dir.Names(), std::vector<std::string>{target.fileName})
                << "a temporary file was left behind";
        }
    }
}

// A private tmpfs of 64 KiB, unmounted at the end. Needs root (and a kernel
// that lets this process mount); the tests skip otherwise.
class SmallDisk {
public:
    SmallDisk() {
        if (geteuid() != 0) {
            reason_ = "not running as root, so no tmpfs can be mounted";
            return;
        }
        if (mount("tmpfs", dir_.Path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=64k") != 0) {
            reason_ = std::string("mount -t tmpfs -o size=64k failed: ") + std::strerror(errno);
            return;
        }
        mounted_ = true;
    }
    ~SmallDisk() {
        if (mounted_ && umount2(dir_.Path().c_str(), MNT_DETACH) != 0)
            ADD_FAILURE() << "umount failed: " << std::strerror(errno);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return mounted_; }
    const std::string& Reason() const { return reason_; }
    const TempDir& Dir() const { return dir_; }
    std::uint64_t FreeBytes() const {
        struct statvfs s {};
        statvfs(dir_.Path().c_str(), &s);
        return static_cast<std::uint64_t>(s.f_bavail) * s.f_frsize;
    }

private:
    TempDir dir_;
    bool mounted_ = false;
    std::string reason_;
};

// Fills the disk with a filler file until fewer than `leave` bytes are free.
void FillDisk(const SmallDisk& disk, std::uint64_t leave) {
    const std::string filler = disk.Dir().File("filler");
    std::FILE* f = std::fopen(filler.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string block(512, 'f');
    while (disk.FreeBytes() >= leave + block.size()) {
        if (std::fwrite(block.data(), 1, block.size(), f) != block.size() || std::fflush(f) != 0)
            break;
    }
    std::fclose(f);
}

// A save that needs more room than the disk has: the old file stays whole,
// the space taken by the failed attempt is given back, and once there is room
// again the same save succeeds.
TEST(SaveFailure, FullDisk) {
    for (const Target& target : Targets()) {
        SCOPED_TRACE(target.name);
        SmallDisk disk;
        if (!disk.Mounted())
            GTEST_SKIP() << "full-disk cases skipped: " << disk.Reason();
        const std::string path = disk.Dir().File(target.fileName);
        WriteBytes(path, target.oldBytes);
        FillDisk(disk, 0);
        const std::uint64_t freeBefore = disk.FreeBytes();
        EXPECT_EQ(MessageOf([&] { target.save(path); }), "Unable to write to " + path);
        EXPECT_EQ(ReadBytes(path), target.oldBytes);
        EXPECT_EQ(disk.Dir().Names(), (std::vector<std::string>{target.fileName, "filler"}));
        EXPECT_EQ(disk.FreeBytes(), freeBefore) << "the failed save kept disk space";

        std::filesystem::remove(disk.Dir().File("filler"));
        EXPECT_EQ(MessageOf([&] { target.save(path); }), "<no exception>");
        EXPECT_NE(ReadBytes(path), target.oldBytes);
    }
}

// 5000 alarms (about 1 MB) do not fit on a 64 KiB disk that is otherwise
// empty: the write itself fails, not only the creation of the file.
TEST(SaveFailure, AlarmFileLargerThanTheDisk) {
    SmallDisk disk;
    if (!disk.Mounted())
        GTEST_SKIP() << "full-disk cases skipped: " << disk.Reason();
    const std::string path = disk.Dir().File("Dormis.ini");
    SaveAlarmFile(path, MakeAlarms(2, "old"));
    const std::string old = ReadBytes(path);
    const std::uint64_t freeBefore = disk.FreeBytes();
    EXPECT_EQ(MessageOf([&] { SaveAlarmFile(path, MakeAlarms(5000, "big")); }),
              "Unable to write to " + path);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_EQ(disk.Dir().Names(), std::vector<std::string>{"Dormis.ini"});
    EXPECT_EQ(disk.FreeBytes(), freeBefore);
    EXPECT_EQ(LoadAlarmFile(path, 0).size(), 2u);
}

} // namespace
} // namespace dormix::test
