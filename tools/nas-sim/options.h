#pragma once

// The simulator's command line. Every limit here is what keeps a run bounded: the number of
// devices, the time it runs, the addresses it may use.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace nassim {

// How an HTTP answer marks the end of its body.
enum class Framing { Length, Chunked, Close };
// What a device does when its description is asked for.
// Hang: the request is read and never answered; the connection stays open.
enum class DescriptionFault { None, NotFound, Malformed, Hang };
// How validate_user answers a wrong password: a non-200 status, or 200 with a plain text.
enum class LoginFailure { Status, Text };

inline constexpr int kMaxDevices = 2000;
inline constexpr int kMaxEmbedded = 16;
inline constexpr int kMaxDurationSeconds = 3600;

struct SimOptions {
    int homevaultCount = 1;
    int otherCount = 0;
    uint32_t baseAddress = 0x7F000101u;  // 127.0.1.1; device i (from 0) gets base + i
    uint16_t httpPort = 80;
    std::vector<std::string> users;                // in the order get_users lists them
    std::map<std::string, std::string> passwords;  // user → password; absent means ""
    int lifetimeSeconds = 1800;                    // CACHE-CONTROL max-age
    int announceIntervalSeconds = 30;              // 0: no periodic NOTIFY alive
    bool initialAlive = true;                      // NOTIFY alive for every device at start
    Framing framing = Framing::Length;
    int embeddedCount = 0;  // embedded devices under every root
    DescriptionFault descriptionFault = DescriptionFault::None;
    bool answerAtOnce = false;    // ignore MX and answer searches at once
    int maxAnswerDelayMs = 5000;  // upper bound of the MX random delay
    int durationSeconds = 300;    // the simulator ends by itself after this
    bool exitOnEof = false;       // end when stdin closes (tests)
    bool urlBase = false;         // put a URLBase element into descriptions
    LoginFailure loginFailure = LoginFailure::Status;

    int deviceCount() const { return homevaultCount + otherCount; }
};

struct OptionsResult {
    std::optional<SimOptions> options;  // set when the command line was good
    std::string error;                  // why it was not
    bool helpRequested = false;
};

// `args` excludes the program name.
[[nodiscard]] OptionsResult parseOptions(const std::vector<std::string_view>& args);

std::string usageText();

}  // namespace nassim
