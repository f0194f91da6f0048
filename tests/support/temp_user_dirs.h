#pragma once

// Gives a test its own user: a fresh temporary folder as HOME, XDG_CONFIG_HOME and
// XDG_DATA_HOME (and the file credential store chosen), so nothing touches the real user's
// files. The previous values come back and the folder is removed when it goes. Changes the
// process environment: one at a time, on the test's main thread.

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace ds::test {

class TempUserDirs {
  public:
    TempUserDirs();
    ~TempUserDirs();
    TempUserDirs(const TempUserDirs&) = delete;
    TempUserDirs& operator=(const TempUserDirs&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::filesystem::path configHome() const { return root_ / "config"; }
    std::filesystem::path dataHome() const { return root_ / "data"; }

    // Sets (or, with nothing, unsets) a variable until this object goes.
    void setEnv(const std::string& name, std::optional<std::string> value);

  private:
    std::filesystem::path root_;
    std::map<std::string, std::optional<std::string>> saved_;
};

}  // namespace ds::test
