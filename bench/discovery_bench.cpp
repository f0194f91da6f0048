// Discovery from end to end: the time from fnUPnPStartEventMonitor until all N simulated devices
// (answering the first search at once) are listed, the CPU time the process spent meanwhile, its
// peak resident size, and how often its threads woke up during the 10 s of quiet that follow.
//
// Sends SSDP multicast: runs only inside a private network namespace
// (scripts/in-netns build/bench/bench_discovery).

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "sdk/include/drivescout/sdk.h"
#include "tests/tools/sim_process.h"

namespace {

using namespace std::chrono_literals;

// The same rule as the tests: another namespace than process 1's, or, without access to process
// 1, the marker that scripts/in-netns sets.
bool inPrivateNetworkNamespace() {
    struct stat self {};
    struct stat init {};
    if (stat("/proc/self/ns/net", &self) != 0 || stat("/proc/1/ns/net", &init) != 0) {
        const char* marker = std::getenv("DRIVESCOUT_NETNS");
        return marker != nullptr && std::string(marker) == "1";
    }
    return self.st_ino != init.st_ino || self.st_dev != init.st_dev;
}

struct Listed {
    std::mutex mutex;
    std::condition_variable changed;
    size_t added = 0;
};

void DRIVESCOUT_CALLBACK onDeviceEvent(int32_t kind, CAbstractUPnPDevice*, void* context) {
    auto* listed = static_cast<Listed*>(context);
    if (kind != DEVICE_ADDED)
        return;
    std::lock_guard lock(listed->mutex);
    ++listed->added;
    listed->changed.notify_all();
}

double cpuSeconds(const rusage& usage) {
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_DiscoverSimulatedDevices(benchmark::State& state) {
    if (!inPrivateNetworkNamespace()) {
        state.SkipWithError("needs a private network namespace: run under scripts/in-netns");
        return;
    }
    const auto count = static_cast<size_t>(state.range(0));
    double idleWakeups = 0;
    double cpu = 0;
    for (auto _ : state) {
        nassim_test::SimProcess sim({"--homevault", std::to_string(count), "--answer-at-once",
                                     "--no-initial-alive", "--announce-interval", "0", "--duration",
                                     "300"});
        if (!sim.waitReady()) {
            state.SkipWithError("the simulator did not start");
            return;
        }
        Listed listed;
        UPnPSession session = nullptr;
        fnUPnPOpenSession(&session);
        fnUPnPRegisterEventMonitor(session, LBStringArgFromUtf8(""), onDeviceEvent, &listed);

        rusage before{};
        getrusage(RUSAGE_SELF, &before);
        auto start = std::chrono::steady_clock::now();
        fnUPnPStartEventMonitor(session);
        bool all = false;
        {
            std::unique_lock lock(listed.mutex);
            all = listed.changed.wait_for(lock, 120s, [&] { return listed.added >= count; });
        }
        auto end = std::chrono::steady_clock::now();
        rusage after{};
        getrusage(RUSAGE_SELF, &after);
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        cpu += cpuSeconds(after) - cpuSeconds(before);

        // Quiet: nothing announces; every context switch of the process is a wake-up.
        rusage idleStart{};
        getrusage(RUSAGE_SELF, &idleStart);
        std::this_thread::sleep_for(10s);
        rusage idleEnd{};
        getrusage(RUSAGE_SELF, &idleEnd);
        // The sleeping benchmark thread itself accounts for one switch.
        idleWakeups += static_cast<double>(idleEnd.ru_nvcsw - idleStart.ru_nvcsw +
                                           idleEnd.ru_nivcsw - idleStart.ru_nivcsw) -
                       1;

        fnUPnPStopEventMonitor(session);
        fnUPnPUnRegisterEventMonitor(session);
        fnUPnPCloseSession(session);
        if (!all) {
            state.SkipWithError("not every device was listed within 120 s");
            return;
        }
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["cpu_s"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["idle_wakeups_10s"] =
        benchmark::Counter(idleWakeups, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK(BM_DiscoverSimulatedDevices)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
