// The main window on the offscreen platform: built from a settings file and
// an alarm file of 1000 alarms and shown; and SelectNextAlarm over 10 000
// alarms with their rows.
#include "AlarmFile.h"
#include "Alarms.h"
#include "DateTime.h"
#include "Unit1.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace dormix;

namespace {

std::unique_ptr<TAlarm> NewAlarm(int i, bool enabled) {
    auto alarm = std::make_unique<TAlarm>();
    alarm->Description = "Alarm " + std::to_string(i);
    alarm->Time = EncodeDateTime(2003, 3, 1, i / 60 % 24, i % 60, i % 60);
    alarm->Enabled = enabled;
    alarm->Days = {};
    alarm->Days[static_cast<std::size_t>(i % 7)] = true;
    alarm->Days[static_cast<std::size_t>((i + 3) % 7)] = true;
    alarm->SoundFile = "/usr/share/sounds/alarm" + std::to_string(i) + ".wav";
    return alarm;
}

class TempDir {
public:
    TempDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dormix-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() { std::filesystem::remove_all(path_); }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

void BM_StartUpTo_WindowShown_1000Alarms(benchmark::State& state) {
    TempDir dir;
    std::vector<std::unique_ptr<TAlarm>> alarms;
    for (int i = 0; i < 1000; ++i)
        alarms.push_back(NewAlarm(i, i % 4 != 0));
    SaveAlarmFile(dir.Path() + "/Dormis.ini", alarms);
    std::ofstream(dir.Path() + "/Dormix.ini") << "[Form]\nTop=50\nLeft=60\nHeight=500\nWidth=700\n"
                                                 "[Options]\nVolume=90\n";
    for (auto _ : state) {
        TForm1 form(nullptr, dir.Path());
        form.show();
        QApplication::processEvents(); // first layout and paint
        benchmark::DoNotOptimize(form.AlarmList.size());
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartUpTo_WindowShown_1000Alarms)->Unit(benchmark::kMillisecond);

// state.range(0): alarms; state.range(1): one in how many is disabled (0 for
// none). Disabled alarms have their rows rewritten at every pass.
void BM_SelectNextAlarm(benchmark::State& state) {
    TempDir dir;
    TForm1 form(nullptr, dir.Path());
    const auto count = static_cast<int>(state.range(0));
    const auto disabledEvery = static_cast<int>(state.range(1));
    for (int i = 0; i < count; ++i) {
        const bool enabled = disabledEvery == 0 || i % disabledEvery != 0;
        form.AlarmList.push_back(NewAlarm(i, enabled));
        form.AlarmList.back()->UpdateNextTime(Now());
        form.clbAlarms->AddRow(QString::fromStdString(form.AlarmList.back()->GetDisplayText()),
                               enabled);
    }
    for (auto _ : state) {
        form.SelectNextAlarm();
        benchmark::DoNotOptimize(form.NextAlarmIndex());
    }
}
BENCHMARK(BM_SelectNextAlarm)
    ->Args({10000, 0})
    ->Args({10000, 4})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
