#include "support/library_stand_ins.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace ds::test {

namespace fs = std::filesystem;

const char* standInName(StandIn kind) {
    return kind == StandIn::Foreign ? "foreign" : "broken";
}

void makeStandIns(const fs::path& folder, StandIn kind,
                  std::initializer_list<const char*> sonames) {
    fs::create_directories(folder);
    for (const char* soname : sonames) {
        if (kind == StandIn::Foreign)
            fs::copy_file(DRIVESCOUT_STAND_IN_LIBRARY, folder / soname,
                          fs::copy_options::overwrite_existing);
        else
            std::ofstream(folder / soname) << "not a library\n";
    }
}

ChildRun runWithStandIns(const fs::path& folder, const std::string& filter,
                         const std::string& variable, const std::string& value) {
    ChildRun run;
    const std::string self = fs::read_symlink("/proc/self/exe").string();
    const std::string filterOption = "--gtest_filter=" + filter;
    // Made before the fork: the child of a threaded program calls nothing that may allocate.
    const std::string searchPath = "LD_LIBRARY_PATH=" + folder.string();
    const std::string marker = variable + "=" + value;
    std::vector<char*> environment;
    for (char** entry = environ; *entry; ++entry) {
        if (std::strncmp(*entry, "LD_LIBRARY_PATH=", 16) != 0)
            environment.push_back(*entry);
    }
    environment.push_back(const_cast<char*>(searchPath.c_str()));
    environment.push_back(const_cast<char*>(marker.c_str()));
    environment.push_back(nullptr);
    const char* arguments[] = {"timeout", "60", self.c_str(), filterOption.c_str(), nullptr};
    int output[2];
    if (pipe(output) != 0)
        return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(output[1], STDERR_FILENO);
        close(output[0]);
        close(output[1]);
        execvpe("timeout", const_cast<char* const*>(arguments), environment.data());
        _exit(127);
    }
    close(output[1]);
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(output[0], buffer, sizeof buffer)) > 0)
        run.output.append(buffer, static_cast<size_t>(got));
    close(output[0]);
    int status = 0;
    if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

}  // namespace ds::test
