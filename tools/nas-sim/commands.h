#pragma once

// Control commands read from stdin, one a line:
//   alive I        NOTIFY ssdp:alive now, and from then on answer searches and announce
//   byebye I       NOTIFY ssdp:byebye; no answers or announcements until "alive"
//   update I       NOTIFY ssdp:update
//   silence I      stop answering and announcing without a goodbye, so the device expires
//   relocate I [P] new description path (and HTTP port P), announced at once
//   lifetime I S   CACHE-CONTROL max-age S from now on
//   fail I none|404|malformed|hang how the description request is answered (hang: never)
//   framing I length|chunked|close how HTTP bodies end
//   quit           goodbye from every present device, then exit
// I is a device number from 1, or "all".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "tools/nas-sim/options.h"

namespace nassim {

enum class CommandKind { Alive, Byebye, Update, Silence, Relocate, Lifetime, Fail, Framing, Quit };

struct Command {
    CommandKind kind = CommandKind::Quit;
    int device = 0;                // 0: every device
    std::optional<uint16_t> port;  // relocate
    int seconds = 0;               // lifetime
    DescriptionFault fault = DescriptionFault::None;
    Framing framing = Framing::Length;
};

struct CommandParse {
    std::optional<Command> command;
    std::string error;
};

[[nodiscard]] CommandParse parseCommand(std::string_view line);

}  // namespace nassim
