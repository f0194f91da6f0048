#include "tools/nas-sim/commands.h"

#include <charconv>

#include "tools/nas-sim/text.h"

namespace nassim {

namespace {

std::optional<long> number(std::string_view text, long low, long high) {
    long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

}  // namespace

CommandParse parseCommand(std::string_view line) {
    CommandParse result;
    auto fail = [&result](std::string why) {
        result.error = std::move(why);
        return result;
    };
    std::string trimmed(trim(line));
    for (char& c : trimmed) {
        if (c == '\t' || c == '\r')
            c = ' ';
    }
    const auto words = splitWords(trimmed);
    if (words.empty())
        return fail("empty command");

    Command command;
    const std::string_view verb = words[0];
    if (verb == "quit") {
        if (words.size() != 1)
            return fail("quit takes no arguments");
        command.kind = CommandKind::Quit;
        result.command = command;
        return result;
    }
    if (verb == "alive")
        command.kind = CommandKind::Alive;
    else if (verb == "byebye")
        command.kind = CommandKind::Byebye;
    else if (verb == "update")
        command.kind = CommandKind::Update;
    else if (verb == "silence")
        command.kind = CommandKind::Silence;
    else if (verb == "relocate")
        command.kind = CommandKind::Relocate;
    else if (verb == "lifetime")
        command.kind = CommandKind::Lifetime;
    else if (verb == "fail")
        command.kind = CommandKind::Fail;
    else if (verb == "framing")
        command.kind = CommandKind::Framing;
    else
        return fail("unknown command: " + std::string(verb));

    if (words.size() < 2)
        return fail("missing device number");
    if (words[1] == "all") {
        command.device = 0;
    } else {
        const auto device = number(words[1], 1, kMaxDevices);
        if (!device)
            return fail("bad device number: " + std::string(words[1]));
        command.device = static_cast<int>(*device);
    }

    const size_t wanted = [&] {
        switch (command.kind) {
            case CommandKind::Lifetime:
            case CommandKind::Fail:
            case CommandKind::Framing:
                return size_t{3};
            case CommandKind::Relocate:
                return words.size() == 3 ? size_t{3} : size_t{2};
            default:
                return size_t{2};
        }
    }();
    if (words.size() != wanted)
        return fail("wrong number of arguments");

    switch (command.kind) {
        case CommandKind::Relocate:
            if (words.size() == 3) {
                const auto port = number(words[2], 1, 65535);
                if (!port)
                    return fail("bad port: " + std::string(words[2]));
                command.port = static_cast<uint16_t>(*port);
            }
            break;
        case CommandKind::Lifetime: {
            const auto seconds = number(words[2], 0, 86400);
            if (!seconds)
                return fail("bad lifetime: " + std::string(words[2]));
            command.seconds = static_cast<int>(*seconds);
            break;
        }
        case CommandKind::Fail:
            if (words[2] == "none")
                command.fault = DescriptionFault::None;
            else if (words[2] == "404")
                command.fault = DescriptionFault::NotFound;
            else if (words[2] == "malformed")
                command.fault = DescriptionFault::Malformed;
            else if (words[2] == "hang")
                command.fault = DescriptionFault::Hang;
            else
                return fail("bad fault: " + std::string(words[2]));
            break;
        case CommandKind::Framing:
            if (words[2] == "length")
                command.framing = Framing::Length;
            else if (words[2] == "chunked")
                command.framing = Framing::Chunked;
            else if (words[2] == "close")
                command.framing = Framing::Close;
            else
                return fail("bad framing: " + std::string(words[2]));
            break;
        default:
            break;
    }
    result.command = command;
    return result;
}

}  // namespace nassim
