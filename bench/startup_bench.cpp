// What starting a program costs, measured from outside on whole processes, each started with fork
// and exec as a user or a script starts it:
//
// - `drivescout-discover --help` against a C program linked only to libc that prints a usage text
//   too (the floor any program pays), run alternately in the same run: median wall time until the
//   end is seen, CPU time (user + system from wait4) and peak resident size (VmHWM, the kernel's
//   high-water mark of the program's own address space, read as it exits in a traced run of its
//   own).
// - How many shared objects each program has mapped, counted from LD_DEBUG=files in a run of its
//   own (each library needed or opened with dlopen, once; the dynamic loader itself and the vDSO
//   not counted).
// - The time from process start until N simulated Homevault devices (answering searches at once)
//   are listed, by drivescout-discover (the SDK linked in) and by the SDK's example sdk_discover
//   (linked to libdrivescout_sdk.so), with the process's peak resident size (VmHWM) when the N-th
//   device is listed, its CPU time over its whole life (it is stopped then) and its shared
//   objects.
// - The wizard's time from process start until the snapshot of its first page is written (Qt's
//   offscreen platform, DRIVESCOUT_SNAPSHOT_DIR; the file's closing is seen through inotify),
//   with its peak resident size then, its CPU time over its whole life and its shared objects.
//
// The discovering programs and the wizard send SSDP multicast: those benchmarks run only inside a
// private network namespace (scripts/in-netns build/bench/bench_startup) and are skipped with an
// error elsewhere; the --help comparison runs anywhere.

#include <benchmark/benchmark.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "bench/child_process.h"
#include "bench/peak_at_exit.h"
#include "bench/private_namespace.h"
#include "tests/tools/sim_process.h"

namespace {

using namespace std::chrono_literals;
using bench::ChildEnd;
using bench::ChildProcess;
using Clock = ChildProcess::Clock;

double median(std::vector<double> values) {
    if (values.empty())
        return 0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double millisecondsSince(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double, std::milli>(end - start).count();
}

// What the runs of one program gave, one entry per run.
struct Runs {
    std::vector<double> milliseconds;  // wall time of what is measured
    std::vector<double> cpuMilliseconds;
    std::vector<double> peakRssMiB;

    void add(double wallMilliseconds, const ChildEnd& end, std::optional<double> peak) {
        milliseconds.push_back(wallMilliseconds);
        cpuMilliseconds.push_back(end.cpuSeconds * 1000);
        if (peak)
            peakRssMiB.push_back(*peak);
    }

    void report(benchmark::State& state, const std::string& prefix) const {
        state.counters[prefix + "ms"] = median(milliseconds);
        state.counters[prefix + "cpu_ms"] = median(cpuMilliseconds);
        state.counters[prefix + "peak_MiB"] = median(peakRssMiB);
    }
};

// A folder of its own under the temporary folder, removed with everything in it at the end.
class TemporaryFolder {
  public:
    TemporaryFolder() {
        const std::filesystem::path base = std::filesystem::temp_directory_path();
        std::string pattern = (base / "drivescout-bench-startup-XXXXXX").string();
        if (mkdtemp(pattern.data()) != nullptr)
            path_ = pattern;
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    bool valid() const { return !path_.empty(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

  private:
    std::filesystem::path path_;
};

// The shared objects named in an LD_DEBUG=files report: one "file=NAME [0];  generating link map"
// line for each object the dynamic loader maps, at start or through dlopen.
size_t sharedObjectsIn(const std::string& reportPath) {
    std::ifstream report(reportPath);
    std::set<std::string> names;
    std::string line;
    while (std::getline(report, line)) {
        const size_t file = line.find("file=");
        if (file == std::string::npos || line.find("generating link map") == std::string::npos)
            continue;
        const size_t nameStart = file + 5;
        names.insert(line.substr(nameStart, line.find(' ', nameStart) - nameStart));
    }
    return names.size();
}

ChildEnd runToEnd(const std::vector<std::string>& argv) {
    ChildProcess child({argv, {}, false, ""});
    return child.wait();
}

size_t sharedObjectsOfRunToEnd(const std::vector<std::string>& argv) {
    TemporaryFolder folder;
    const std::string report = folder / "ld-debug.txt";
    ChildProcess child({argv, {"LD_DEBUG=files"}, false, report});
    child.wait();
    return sharedObjectsIn(report);
}

void BM_HelpAgainstTrivialProgram(benchmark::State& state) {
    const std::vector<std::string> help{DISCOVER_PROGRAM, "--help"};
    const std::vector<std::string> trivial{TRIVIAL_PROGRAM, "--help"};
    constexpr int kWarmUpRuns = 5;  // the files in the page cache, as for a user's second start
    constexpr int kPeakRuns = 5;
    for (int i = 0; i < kWarmUpRuns; ++i) {
        runToEnd(help);
        runToEnd(trivial);
    }
    const auto runs = static_cast<int>(state.range(0));
    Runs tool;
    Runs floor;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const ChildEnd toolEnd = runToEnd(help);
            const ChildEnd floorEnd = runToEnd(trivial);
            if (!toolEnd.exitedZero || !floorEnd.exitedZero) {
                state.SkipWithError("a program did not end with status 0");
                return;
            }
            tool.add(toolEnd.wallSeconds * 1000, toolEnd, std::nullopt);
            floor.add(floorEnd.wallSeconds * 1000, floorEnd, std::nullopt);
        }
        state.SetIterationTime(median(tool.milliseconds) / 1000);
    }
    for (int i = 0; i < kPeakRuns; ++i) {
        tool.peakRssMiB.push_back(bench::peakRssMiBAtExit(help).value_or(0));
        floor.peakRssMiB.push_back(bench::peakRssMiBAtExit(trivial).value_or(0));
    }
    tool.report(state, "");
    floor.report(state, "trivial_");
    state.counters["objects"] = static_cast<double>(sharedObjectsOfRunToEnd(help));
    state.counters["trivial_objects"] = static_cast<double>(sharedObjectsOfRunToEnd(trivial));
}

// A program that discovers and prints one line per device found.
struct DiscoveringProgram {
    std::vector<std::string> argv;  // runs far longer than a measurement
    std::string deviceLinePrefix;
};

const DiscoveringProgram kDiscoverTool{{DISCOVER_PROGRAM, "--seconds", "60"}, "added\t"};
const DiscoveringProgram kSdkExample{{SDK_EXAMPLE_PROGRAM, "60"}, "+ "};

struct Listing {
    std::optional<double> milliseconds;  // from process start until the last device was listed
    std::optional<double> peakRssMiB;    // then
    ChildEnd end;
};

// Runs `program` until it has listed `count` devices (or 20 s have passed), then stops it.
Listing runUntilListed(const DiscoveringProgram& program, size_t count,
                       std::vector<std::string> environment = {}, std::string stderrPath = {}) {
    ChildProcess child({program.argv, std::move(environment), true, std::move(stderrPath)});
    const auto deadline = Clock::now() + 20s;
    size_t listed = 0;
    Listing listing;
    while (listed < count) {
        const std::optional<std::string> line = child.readLine(deadline);
        if (!line)
            break;
        if (line->rfind(program.deviceLinePrefix, 0) == 0)
            ++listed;
        if (listed == count) {
            listing.milliseconds = millisecondsSince(child.start(), Clock::now());
            listing.peakRssMiB = child.peakRssMiB();
        }
    }
    child.terminate();
    listing.end = child.wait();
    return listing;
}

size_t sharedObjectsOfListing(const DiscoveringProgram& program, size_t count) {
    TemporaryFolder folder;
    const std::string report = folder / "ld-debug.txt";
    runUntilListed(program, count, {"LD_DEBUG=files"}, report);
    return sharedObjectsIn(report);
}

// The discovery tool and the SDK's example run alternately, so that both meet the same load.
void BM_StartToDevicesListed(benchmark::State& state) {
    if (!bench::requirePrivateNetworkNamespace(state))
        return;
    const auto count = static_cast<size_t>(state.range(0));
    const auto runs = static_cast<int>(state.range(1));
    nassim_test::SimProcess sim({"--homevault", std::to_string(count), "--answer-at-once",
                                 "--no-initial-alive", "--announce-interval", "0", "--duration",
                                 "600"});
    if (!sim.waitReady()) {
        state.SkipWithError("the simulator did not start");
        return;
    }
    // Warm-up: the files in the page cache.
    runUntilListed(kDiscoverTool, count);
    runUntilListed(kSdkExample, count);
    Runs tool;
    Runs example;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const Listing byTool = runUntilListed(kDiscoverTool, count);
            const Listing byExample = runUntilListed(kSdkExample, count);
            if (!byTool.milliseconds || !byExample.milliseconds) {
                state.SkipWithError("not every device was listed within 20 s");
                return;
            }
            tool.add(*byTool.milliseconds, byTool.end, byTool.peakRssMiB);
            example.add(*byExample.milliseconds, byExample.end, byExample.peakRssMiB);
        }
        state.SetIterationTime(median(tool.milliseconds) / 1000);
    }
    tool.report(state, "");
    example.report(state, "sdk_");
    state.counters["objects"] = static_cast<double>(sharedObjectsOfListing(kDiscoverTool, count));
    state.counters["sdk_objects"] = static_cast<double>(sharedObjectsOfListing(kSdkExample, count));
}

// Waits until a file whose name ends with `suffix` is closed after writing in the folder that
// `watch` (an inotify descriptor) watches.
bool waitForWrittenFile(int watch, const std::string& suffix, Clock::time_point deadline) {
    alignas(inotify_event) char buffer[4096];
    while (Clock::now() < deadline) {
        pollfd ready{watch, POLLIN, 0};
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (poll(&ready, 1, static_cast<int>(std::max<int64_t>(left.count(), 0))) <= 0)
            continue;
        const ssize_t n = read(watch, buffer, sizeof buffer);
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            const std::string name = event->len > 0 ? event->name : "";
            if (name.size() >= suffix.size() &&
                name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                return true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return false;
}

struct FirstPage {
    std::optional<double> milliseconds;  // from process start until the snapshot was written
    std::optional<double> peakRssMiB;    // then
    ChildEnd end;
};

// Starts the wizard offscreen with a home of its own under `folder`, waits for the snapshot of its
// first page and stops it.
FirstPage runWizardToFirstPage(const TemporaryFolder& folder, int run,
                               std::vector<std::string> environment = {},
                               std::string stderrPath = {}) {
    const std::string snapshots = folder / ("snapshots-" + std::to_string(run));
    mkdir(snapshots.c_str(), 0700);
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    inotify_add_watch(watch, snapshots.c_str(), IN_CLOSE_WRITE);
    for (const char* name : {"home", "config", "data", "cache", "runtime"})
        mkdir((folder / name).c_str(), 0700);
    environment.insert(environment.end(),
                       {"QT_QPA_PLATFORM=offscreen", "DRIVESCOUT_SNAPSHOT_DIR=" + snapshots,
                        "HOME=" + folder / "home", "XDG_CONFIG_HOME=" + folder / "config",
                        "XDG_DATA_HOME=" + folder / "data", "XDG_CACHE_HOME=" + folder / "cache",
                        "XDG_RUNTIME_DIR=" + folder / "runtime"});
    if (stderrPath.empty())
        stderrPath = folder / "wizard-stderr.txt";  // Qt's notes stay out of the results
    ChildProcess wizard({{WIZARD_PROGRAM}, std::move(environment), false, stderrPath});
    FirstPage page;
    if (waitForWrittenFile(watch, "-discover.png", Clock::now() + 30s)) {
        page.milliseconds = millisecondsSince(wizard.start(), Clock::now());
        page.peakRssMiB = wizard.peakRssMiB();
    }
    close(watch);
    wizard.terminate();
    page.end = wizard.wait();
    return page;
}

void BM_WizardToFirstPage(benchmark::State& state) {
    if (!bench::requirePrivateNetworkNamespace(state))
        return;
    TemporaryFolder folder;
    if (!folder.valid()) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const auto runs = static_cast<int>(state.range(0));
    int run = 0;
    runWizardToFirstPage(folder, run++);  // warm-up: the files in the page cache
    Runs measured;
    for (auto _ : state) {
        for (int i = 0; i < runs; ++i) {
            const FirstPage page = runWizardToFirstPage(folder, run++);
            if (!page.milliseconds) {
                state.SkipWithError("the first page's snapshot was not written within 30 s");
                return;
            }
            measured.add(*page.milliseconds, page.end, page.peakRssMiB);
        }
        state.SetIterationTime(median(measured.milliseconds) / 1000);
    }
    measured.report(state, "");
    const std::string report = folder / "ld-debug.txt";
    runWizardToFirstPage(folder, run++, {"LD_DEBUG=files"}, report);
    state.counters["objects"] = static_cast<double>(sharedObjectsIn(report));
}

// Arguments: runs of each program.
BENCHMARK(BM_HelpAgainstTrivialProgram)
    ->Arg(201)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Arguments: devices, runs.
BENCHMARK(BM_StartToDevicesListed)
    ->Args({1, 31})
    ->Args({10, 11})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

// Arguments: runs.
BENCHMARK(BM_WizardToFirstPage)
    ->Arg(11)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
