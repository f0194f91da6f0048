// TempUserDirs on Windows: the folder is made under the system's temporary folder with a random
// name, and variables are changed through the C runtime's _putenv_s (an empty value unsets).

#include <cstdlib>
#include <random>
#include <stdexcept>
#include <string>

#include "support/temp_user_dirs.h"

namespace ds::test {
namespace {

void putVariable(const std::string& name, const std::optional<std::string>& value) {
    ::_putenv_s(name.c_str(), value ? value->c_str() : "");
}

}  // namespace

TempUserDirs::TempUserDirs() {
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
