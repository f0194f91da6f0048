// drivescout-nas-sim: Homevault devices and other UPnP devices on loopback addresses, for tests
// and the demo. Run it inside scripts/in-netns; see README.md.

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/nas-sim/options.h"
#include "tools/nas-sim/simulator.h"

int main(int argc, char** argv) {
    // With stdin, stdout or stderr closed, a socket would take that number and be read as
    // commands or written with output lines.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd)
            return 1;
    }
    std::vector<std::string_view> args(argv + 1, argv + argc);
    const nassim::OptionsResult parsed = nassim::parseOptions(args);
    if (parsed.helpRequested) {
        std::fputs(nassim::usageText().c_str(), stdout);
        return 0;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "drivescout-nas-sim: %s (see --help)\n", parsed.error.c_str());
        return 2;
    }
    nassim::Simulator simulator(*parsed.options);
    std::string error;
    if (!simulator.start(error)) {
        std::fprintf(stderr, "drivescout-nas-sim: %s\n", error.c_str());
        return 1;
    }
    return simulator.run();
}
