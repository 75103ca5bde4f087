// The audio options dialog against a real private PulseAudio server with a
// chosen number of null sinks: the device list, the show-time correction of
// the device number, the turned-over volume, and what each way out writes.
#include "DialogTestSupport.h"
#include "Doptions.h"
#include "Probes.h"
#include "PulseServer.h"

#include <QLineEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace dormix {

inline bool operator==(const TAudioSettings& a, const TAudioSettings& b) {
    return a.Device == b.Device && a.Volume == b.Volume && a.VolumeOverride == b.VolumeOverride;
}

inline std::ostream& operator<<(std::ostream& os, const TAudioSettings& s) {
    return os << "{" << s.Device << ", " << s.Volume << ", " << s.VolumeOverride << "}";
}

} // namespace dormix

using namespace dormix;
using namespace dormix::test;

namespace {

// Points libpulse at a socket where no server listens, for the scope.
class NoSoundServer {
public:
    NoSoundServer() : Folder_(MakeTempFolder("dormix-nopulse")) {
        if (const char* old = std::getenv("PULSE_SERVER"))
            Old_ = old;
        setenv("PULSE_SERVER", ("unix:" + Folder_ + "/native").c_str(), 1);
    }
    ~NoSoundServer() {
        if (Old_)
            setenv("PULSE_SERVER", Old_->c_str(), 1);
        else
            unsetenv("PULSE_SERVER");
        rmdir(Folder_.c_str());
    }

private:
    std::string Folder_;
    std::optional<std::string> Old_;
};

struct Shown {
    QStringList Entries;
    int Selected;
    QString Text;
    int Position;
    bool Override;
    TAudioSettings AfterShow;
};

QStringList Entries(const TDormixOptions& d) {
    QStringList list;
    for (int i = 0; i < d.cbDeviceNumber->count(); ++i)
        list << d.cbDeviceNumber->itemText(i);
    return list;
}

// Shows the dialog on `settings`, records what it shows, lets `edit` change
// the controls, then closes it the given way.
Shown ShowAndClose(TDormixOptions& dialog, TAudioSettings& settings, TClose how,
                   const std::function<void()>& edit = {}) {
    Shown shown;
    dialog.Settings = &settings;
    const int result = ExecWith(dialog, [&] {
        shown = {Entries(dialog),
                 dialog.cbDeviceNumber->currentIndex(),
                 dialog.cbDeviceNumber->currentText(),
                 dialog.tbVolume->value(),
                 dialog.cbOverrideMixer->isChecked(),
                 settings};
        if (edit)
            edit();
        CloseDialog(dialog, dialog.BitBtn2, dialog.BitBtn1, how);
    });
    EXPECT_EQ(result, how == TClose::Ok ? QDialog::Accepted : QDialog::Rejected);
    return shown;
}

const QStringList kTwo = {"Device 0", "Device 1"};

} // namespace

TEST(AudioOptions, EdgeCasesOfShowingAndClosing) {
    struct Case {
        const char* what;
        int sinks; // -1: no sound server at all
        TAudioSettings in;
        TClose close;
        QStringList entries;
        int selected;
        int position;
        TAudioSettings afterShow, afterClose;
    };
    const std::vector<Case> cases = {
        {"no server: OK stores -1",
         -1,
         {0, 25, false},
         TClose::Ok,
         {},
         -1,
         230,
         {0, 25, false},
         {-1, 25, false}},
        {"no device: shown as 0, OK stores -1",
         0,
         {2, 25, false},
         TClose::Ok,
         {},
         -1,
         230,
         {0, 25, false},
         {-1, 25, false}},
        {"no device: Cancel keeps the corrected 0",
         0,
         {2, 25, true},
         TClose::Cancel,
         {},
         -1,
         230,
         {0, 25, true},
         {0, 25, true}},
        {"device 3 of two: 0 selected, Cancel keeps 0",
         2,
         {3, 25, false},
         TClose::Cancel,
         kTwo,
         0,
         230,
         {0, 25, false},
         {0, 25, false}},
        {"device 1 of two kept",
         2,
         {1, 25, false},
         TClose::Ok,
         kTwo,
         1,
         230,
         {1, 25, false},
         {1, 25, false}},
        {"device -1: nothing selected, OK stores -1",
         2,
         {-1, 25, true},
         TClose::Ok,
         kTwo,
         -1,
         230,
         {-1, 25, true},
         {-1, 25, true}},
        {"volume 300 shows at the top, OK stores 255",
         2,
         {0, 300, false},
         TClose::Ok,
         kTwo,
         0,
         0,
         {0, 300, false},
         {0, 255, false}},
        {"volume -5 shows at the bottom, OK stores 0",
         2,
         {0, -5, false},
         TClose::Ok,
         kTwo,
         0,
         255,
         {0, -5, false},
         {0, 0, false}},
        {"volume 300, Cancel keeps it",
         2,
         {0, 300, false},
         TClose::Cancel,
         kTwo,
         0,
         0,
         {0, 300, false},
         {0, 300, false}},
        {"volume -5, close box keeps it",
         2,
         {0, -5, false},
         TClose::CloseBox,
         kTwo,
         0,
         255,
         {0, -5, false},
         {0, -5, false}},
    };
    std::unique_ptr<PulseServer> server;
    int running = -2;
    TDormixOptions dialog;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.sinks != running) {
            server.reset();
            if (c.sinks >= 0)
                server = std::make_unique<PulseServer>(c.sinks);
            running = c.sinks;
        }
        std::optional<NoSoundServer> none;
        if (c.sinks < 0)
            none.emplace();
        TAudioSettings settings = c.in;
        const Shown shown = ShowAndClose(dialog, settings, c.close);
        EXPECT_EQ(shown.Entries, c.entries);
        EXPECT_EQ(shown.Selected, c.selected);
        EXPECT_EQ(shown.Text, c.selected < 0 ? QString() : c.entries.value(c.selected));
        EXPECT_EQ(shown.Position, c.position);
        EXPECT_EQ(shown.Override, c.in.VolumeOverride);
        EXPECT_EQ(shown.AfterShow, c.afterShow);
        EXPECT_EQ(settings, c.afterClose);
    }
}

TEST(AudioOptions, OkWritesTheChosenDeviceTheTurnedOverVolumeAndTheSwitch) {
    PulseServer server(3);
    TDormixOptions dialog;
    struct Case {
        int select;
        int position;
        bool override;
        TAudioSettings expected;
    };
    const std::vector<Case> cases = {
        {2, 0, true, {2, 255, true}},   // thumb at the top: loudest
        {0, 255, false, {0, 0, false}}, // at the bottom: silent
        {1, 55, true, {1, 200, true}},
    };
    for (const Case& c : cases) {
        TAudioSettings settings{0, 25, !c.override};
        const Shown shown = ShowAndClose(dialog, settings, TClose::Ok, [&] {
            dialog.cbDeviceNumber->setCurrentIndex(c.select);
            dialog.tbVolume->setValue(c.position);
            dialog.cbOverrideMixer->setChecked(c.override);
        });
        EXPECT_EQ(shown.Entries, (QStringList{"Device 0", "Device 1", "Device 2"}));
        EXPECT_EQ(shown.Position, 230);
        EXPECT_EQ(settings, c.expected);
    }
}

TEST(AudioOptions, NotOkAfterChangesWritesNothing) {
    PulseServer server(2);
    TDormixOptions dialog;
    for (TClose how : {TClose::Cancel, TClose::Escape, TClose::CloseBox}) {
        SCOPED_TRACE(CloseName(how));
        TAudioSettings settings{1, 100, true};
        ShowAndClose(dialog, settings, how, [&] {
            dialog.cbDeviceNumber->setCurrentIndex(0);
            dialog.tbVolume->setValue(3);
            dialog.cbOverrideMixer->setChecked(false);
        });
        EXPECT_EQ(settings, (TAudioSettings{1, 100, true}));
    }
}

TEST(AudioOptions, OnlyTheSelectionCountsNotTheTypedText) {
    PulseServer server(2);
    TDormixOptions dialog;
    TAudioSettings settings{0, 25, false};
    dialog.Settings = &settings;
    // Typing a device name and pressing Enter: Enter is OK (the default
    // button); the typed text becomes no entry and is not read.
    const int result = ExecWith(dialog, [&] {
        QLineEdit* edit = dialog.cbDeviceNumber->lineEdit();
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, "Device 7");
        QTest::keyClick(edit, Qt::Key_Return);
    });
    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_EQ(dialog.cbDeviceNumber->count(), 2);
    EXPECT_EQ(settings.Device, 0);
}

TEST(AudioOptions, EveryShowAsksForTheDevicesAgain) {
    TDormixOptions dialog;
    TAudioSettings settings{2, 25, false};
    {
        PulseServer server(3);
        EXPECT_EQ(ShowAndClose(dialog, settings, TClose::Cancel).Selected, 2);
    }
    PulseServer server(1);
    const Shown shown = ShowAndClose(dialog, settings, TClose::Cancel);
    EXPECT_EQ(shown.Entries, QStringList{"Device 0"});
    EXPECT_EQ(shown.Selected, 0);
    EXPECT_EQ(settings.Device, 0);
}
