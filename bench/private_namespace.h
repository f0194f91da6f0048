#pragma once

// Benchmarks that send SSDP multicast, or run programs that do, run only inside a private network
// namespace (scripts/in-netns), so nothing they send can leave the machine.

#include <benchmark/benchmark.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

namespace bench {

// The same rule as the tests: another namespace than process 1's, or, without access to process
// 1, the marker that scripts/in-netns sets.
inline bool inPrivateNetworkNamespace() {
    struct stat self {};
    struct stat init {};
    if (stat("/proc/self/ns/net", &self) != 0 || stat("/proc/1/ns/net", &init) != 0) {
        const char* marker = std::getenv("DRIVESCOUT_NETNS");
        return marker != nullptr && std::strcmp(marker, "1") == 0;
    }
    return self.st_ino != init.st_ino || self.st_dev != init.st_dev;
}

// True inside a private network namespace; elsewhere the benchmark is skipped with the reason.
inline bool requirePrivateNetworkNamespace(benchmark::State& state) {
    if (inPrivateNetworkNamespace())
        return true;
    state.SkipWithError("needs a private network namespace: run under scripts/in-netns");
    return false;
}

}  // namespace bench
