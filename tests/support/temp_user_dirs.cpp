#include "temp_user_dirs.h"

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>

namespace ds::test {
namespace {

void putVariable(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // The C runtime's own copy of the environment; an empty value unsets.
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
#endif
}

}  // namespace

TempUserDirs::TempUserDirs() {
    // A folder of a random name under the system's temporary folder; creating it is what claims
    // the name, so two tests never share one.
    std::random_device seed;
    for (int attempt = 0; attempt < 16 && root_.empty(); ++attempt) {
        const auto candidate =
            std::filesystem::temp_directory_path() / ("ds-user-" + std::to_string(seed()));
        if (std::filesystem::create_directory(candidate))
            root_ = candidate;
    }
    if (root_.empty())
        throw std::runtime_error("cannot make a temporary user folder");
    std::filesystem::create_directories(configHome());
    std::filesystem::create_directories(dataHome());
    setEnv("HOME", root_.string());
    setEnv("XDG_CONFIG_HOME", configHome().string());
    setEnv("XDG_DATA_HOME", dataHome().string());
    setEnv("DRIVESCOUT_CREDENTIAL_STORE", "file");
    setEnv("DRIVESCOUT_LOGON_DOMAIN", std::nullopt);
}

TempUserDirs::~TempUserDirs() {
    for (const auto& [name, value] : saved_)
        putVariable(name, value);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TempUserDirs::setEnv(const std::string& name, std::optional<std::string> value) {
    if (!saved_.count(name)) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    putVariable(name, value);
}

}  // namespace ds::test
