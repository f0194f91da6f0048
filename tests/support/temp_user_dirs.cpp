#include "temp_user_dirs.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

namespace ds::test {

TempUserDirs::TempUserDirs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "ds-user-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        throw std::runtime_error("cannot make a temporary user folder");
    root_ = buffer.data();
    std::filesystem::create_directories(configHome());
    std::filesystem::create_directories(dataHome());
    setEnv("HOME", root_.string());
    setEnv("XDG_CONFIG_HOME", configHome().string());
    setEnv("XDG_DATA_HOME", dataHome().string());
    setEnv("DRIVESCOUT_CREDENTIAL_STORE", "file");
    setEnv("DRIVESCOUT_LOGON_DOMAIN", std::nullopt);
}

TempUserDirs::~TempUserDirs() {
    for (const auto& [name, value] : saved_) {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void TempUserDirs::setEnv(const std::string& name, std::optional<std::string> value) {
    if (!saved_.count(name)) {
        const char* old = std::getenv(name.c_str());
        saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
    }
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

}  // namespace ds::test
