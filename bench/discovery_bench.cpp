// Discovery from end to end: the time from fnUPnPStartEventMonitor until all N simulated devices
// (answering the first search at once) are listed, the CPU time the process spent meanwhile, its
// peak resident size, and how often its threads woke up during the 10 s of quiet that follow.
//
// Under a flood: the same, while a hostile host on the LAN announces a new device 10 000 times a
// second for the whole run, each at a description URL of its own on a port that accepts
// connections and never answers.
//
// Sends SSDP multicast: runs only inside a private network namespace
// (scripts/in-netns build/bench/bench_discovery).

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "bench/private_namespace.h"
#include "sdk/include/drivescout/sdk.h"
#include "tests/tools/sim_process.h"

namespace {

using namespace std::chrono_literals;

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

// A host at 127.0.200.66 (beyond the simulator's devices) that announces a new device every 100 µs
// (10 000 a second, sent in batches each millisecond) to the SSDP group on lo, each at a
// description URL on a port where connections are accepted by the system and never answered. It
// runs in a child process, so that the CPU time of sending (and of the kernel's delivery, charged
// to the sender) is not counted as discovery's. Bounded: it ends when told to, when this process
// ends, and after `kLongestFloodSeconds` in any case.
class NotifyFlood {
  public:
    static constexpr int kLongestFloodSeconds = 150;
    static constexpr int kPerMillisecond = 10;

    NotifyFlood() {
        tarpit_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr(kHost);
        socklen_t length = sizeof local;
        ::bind(tarpit_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        ::listen(tarpit_, 128);
        ::getsockname(tarpit_, reinterpret_cast<sockaddr*>(&local), &length);
        const uint16_t port = ntohs(local.sin_port);
        void* shared = ::mmap(nullptr, sizeof(std::atomic<uint64_t>), PROT_READ | PROT_WRITE,
                              MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        sent_ = new (shared) std::atomic<uint64_t>(0);
        std::fflush(nullptr);
        child_ = ::fork();
        if (child_ == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            flood(port, *sent_);
            std::_Exit(0);
        }
    }
    ~NotifyFlood() {
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
        ::munmap(sent_, sizeof *sent_);
        ::close(tarpit_);
    }
    uint64_t sent() const { return sent_->load(); }

  private:
    static constexpr const char* kHost = "127.0.200.66";

    // In the child: plain system calls and the stack only.
    static void flood(uint16_t port, std::atomic<uint64_t>& sent) {
        const int sender = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in local{};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = inet_addr(kHost);
        ::bind(sender, reinterpret_cast<sockaddr*>(&local), sizeof local);
        ip_mreqn out{};
        out.imr_ifindex = static_cast<int>(::if_nametoindex("lo"));
        ::setsockopt(sender, IPPROTO_IP, IP_MULTICAST_IF, &out, sizeof out);
        sockaddr_in group{};
        group.sin_family = AF_INET;
        group.sin_addr.s_addr = inet_addr("239.255.255.250");
        group.sin_port = htons(1900);
        timespec next{};
        ::clock_gettime(CLOCK_MONOTONIC, &next);
        const time_t end = next.tv_sec + kLongestFloodSeconds;
        char message[512];
        while (next.tv_sec < end) {
            for (int i = 0; i < kPerMillisecond; ++i) {
                const auto n = static_cast<unsigned long long>(sent.load());
                const int length = std::snprintf(
                    message, sizeof message,
                    "NOTIFY * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nCACHE-CONTROL: "
                    "max-age=1800\r\nLOCATION: http://%s:%u/%llu.xml\r\nNT: upnp:rootdevice\r\n"
                    "NTS: ssdp:alive\r\nUSN: uuid:flood-%llu::upnp:rootdevice\r\n\r\n",
                    kHost, static_cast<unsigned>(port), n, n);
                ::sendto(sender, message, static_cast<size_t>(length), 0,
                         reinterpret_cast<sockaddr*>(&group), sizeof group);
                sent.fetch_add(1);
            }
            next.tv_nsec += 1'000'000;
            if (next.tv_nsec >= 1'000'000'000) {
                next.tv_nsec -= 1'000'000'000;
                ++next.tv_sec;
            }
            ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
        }
    }

    int tarpit_ = -1;
    pid_t child_ = -1;
    std::atomic<uint64_t>* sent_ = nullptr;
};

void discover(benchmark::State& state, bool flooded) {
    if (!bench::requirePrivateNetworkNamespace(state))
        return;
    const auto count = static_cast<size_t>(state.range(0));
    double idleWakeups = 0;
    double cpu = 0;
    double floodRate = 0;
    for (auto _ : state) {
        std::unique_ptr<NotifyFlood> flood;
        if (flooded) {
            flood = std::make_unique<NotifyFlood>();
            std::this_thread::sleep_for(500ms);  // in full swing before discovery starts
        }
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
        if (flood) {
            // The flood and the listing it slows are measured; quiet there is none.
            const uint64_t sentBefore = flood->sent();
            std::this_thread::sleep_for(1s);
            floodRate += static_cast<double>(flood->sent() - sentBefore);
            flood.reset();
        } else {
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
        }

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
    if (flooded)
        state.counters["flood_per_s"] =
            benchmark::Counter(floodRate, benchmark::Counter::kAvgIterations);
    else
        state.counters["idle_wakeups_10s"] =
            benchmark::Counter(idleWakeups, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void BM_DiscoverSimulatedDevices(benchmark::State& state) {
    discover(state, false);
}

void BM_DiscoverUnderNotifyFlood(benchmark::State& state) {
    discover(state, true);
}

BENCHMARK(BM_DiscoverSimulatedDevices)
    ->Arg(1)
    ->Arg(10)
    ->Arg(100)
    ->Arg(500)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

BENCHMARK(BM_DiscoverUnderNotifyFlood)
    ->Arg(1)
    ->Arg(500)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
