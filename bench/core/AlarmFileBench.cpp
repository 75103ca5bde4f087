// Loading and saving the alarm file with 1000 and 10 000 alarms, on real files
// in a temporary folder.
#include "AlarmFile.h"

#include <benchmark/benchmark.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using dormix::TAlarm;
using AlarmList = std::vector<std::unique_ptr<TAlarm>>;

class TempFolder {
public:
    TempFolder() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "dormix-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

AlarmList MakeAlarms(int count) {
    AlarmList list;
    for (int i = 0; i < count; ++i) {
        auto a = std::make_unique<TAlarm>();
        a->Description = "Alarm number " + std::to_string(i);
        a->Time = dormix::EncodeDateTime(2003, 3, 1, i % 24, i % 60, 0);
        a->Enabled = i % 3 != 0;
        for (std::size_t d = 0; d < 7; ++d)
            a->Days[d] = (i + static_cast<int>(d)) % 2 == 0;
        a->SoundFile = "/usr/share/dormix/Sounds/sound" + std::to_string(i % 10) + ".wav";
        list.push_back(std::move(a));
    }
    return list;
}

void BM_LoadAlarmFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TempFolder folder;
    const std::string path = folder.File("Dormis.ini");
    dormix::SaveAlarmFile(path, MakeAlarms(count));
    const double now = dormix::Now();
    for (auto _ : state) {
        AlarmList list = dormix::LoadAlarmFile(path, now);
        benchmark::DoNotOptimize(list.data());
    }
    state.SetItemsProcessed(state.iterations() * count);
}

// A save that rewrites the whole file: every alarm's description differs from
// what the file holds (two contents alternate).
void BM_SaveAlarmFile(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    TempFolder folder;
    const std::string path = folder.File("Dormis.ini");
    AlarmList lists[2] = {MakeAlarms(count), MakeAlarms(count)};
    for (auto& a : lists[1])
        a->Description += " (edited)";
    dormix::SaveAlarmFile(path, lists[1]);
    int which = 0;
    for (auto _ : state) {
        dormix::SaveAlarmFile(path, lists[which]);
        which ^= 1;
    }
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_LoadAlarmFile)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SaveAlarmFile)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "C.UTF-8");
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
