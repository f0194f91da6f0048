#pragma once

// Libraries opened on first use are tested as on a machine where they are missing or of another
// make: a test runs a second copy of its own program with a folder of stand-ins first on the
// library search path, and the second copy runs the tests that meet them.

#include <filesystem>
#include <initializer_list>
#include <string>

namespace ds::test {

// What stands under a library's soname: a loadable library that lacks every function we need, or
// a file that is no library at all.
enum class StandIn { Foreign, Broken };
inline constexpr StandIn kStandIns[] = {StandIn::Foreign, StandIn::Broken};
const char* standInName(StandIn kind);  // "foreign", "broken"

// Puts a stand-in of `kind` under each of `sonames` into `folder`, made if need be.
void makeStandIns(const std::filesystem::path& folder, StandIn kind,
                  std::initializer_list<const char*> sonames);

struct ChildRun {
    int exitCode = -1;  // -1 when it did not end by itself; 124 when stopped after a minute
    std::string output;
};

// Runs this program's tests that match `filter` with `folder` first on the library search path
// and `variable` set to `value` (how the second copy knows it is one).
ChildRun runWithStandIns(const std::filesystem::path& folder, const std::string& filter,
                         const std::string& variable, const std::string& value);

}  // namespace ds::test
