// drivescout-discover as a program: its arguments, its line format and its exit codes, against
// the NAS simulator in a private network namespace.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/netns.h"
#include "tests/tools/sim_process.h"

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string out;
};

// Runs the tool with `args` (stderr discarded) and collects its output. The tool ends by itself
// after its --seconds; `timeout` is the watchdog.
ToolRun runDiscover(const std::string& args) {
    std::string command = "timeout 30 " + std::string(DRIVESCOUT_BINARY_DIR) +
                          "/drivescout-discover " + args + " 2>/dev/null";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    size_t read = 0;
    while ((read = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, read);
    int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::vector<std::vector<std::string>> fieldsOf(const std::string& out) {
    std::vector<std::vector<std::string>> lines;
    std::istringstream stream(out);
    std::string line;
    while (std::getline(stream, line)) {
        std::vector<std::string> fields;
        size_t start = 0;
        while (true) {
            size_t tab = line.find('\t', start);
            fields.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        lines.push_back(fields);
    }
    return lines;
}

TEST(DiscoverTool, BadArgumentsFailWithoutSearching) {
    for (const char* args : {"--seconds", "--seconds x", "--seconds -1", "--filter", "--bogus"}) {
        ToolRun run = runDiscover(args);
        EXPECT_NE(run.exitCode, 0) << args;
        EXPECT_TRUE(run.out.empty()) << args;
    }
    EXPECT_EQ(runDiscover("--help").exitCode, 0);
}

TEST(DiscoverTool, PrintsOneTabSeparatedLinePerDeviceAndHonoursTheFilter) {
    DS_REQUIRE_PRIVATE_NETNS();
    nassim_test::SimProcess sim({"--homevault", "2", "--others", "1", "--answer-at-once",
                                 "--announce-interval", "0", "--duration", "60"});
    ASSERT_TRUE(sim.waitReady());

    ToolRun all = runDiscover("--seconds 2");
    EXPECT_EQ(all.exitCode, 0);
    auto lines = fieldsOf(all.out);
    ASSERT_EQ(lines.size(), 3u) << all.out;
    for (const auto& fields : lines) {
        ASSERT_EQ(fields.size(), 6u);
        EXPECT_EQ(fields[0], "added");
    }

    ToolRun filtered = runDiscover("--seconds 2 --filter 3b2b54a3-5512-4a2b-93f2");
    EXPECT_EQ(filtered.exitCode, 0);
    lines = fieldsOf(filtered.out);
    ASSERT_EQ(lines.size(), 2u) << filtered.out;
    for (const auto& fields : lines) {
        EXPECT_EQ(fields[1], "3b2b54a3-5512-4a2b-93f2");
        EXPECT_EQ(fields[4], "http://" + fields[3] + "/description.xml");
        EXPECT_EQ(fields[5].rfind("Homevault ", 0), 0u);
    }
}

}  // namespace
