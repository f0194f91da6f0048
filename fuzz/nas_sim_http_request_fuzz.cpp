// The NAS simulator's HTTP request reader (fed in two pieces), its form reader and its command
// reader, on arbitrary bytes.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/nas-sim/commands.h"
#include "tools/nas-sim/http_request.h"
#include "tools/nas-sim/web_api.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const size_t cut = size == 0 ? 0 : data[0] % (size + 1);

    nassim::HttpRequestParser parser;
    parser.append(bytes.substr(0, cut));
    for (int piece = 0; piece < 2; ++piece) {
        while (true) {
            nassim::HttpRequest request;
            int status = 0;
            const auto result = parser.next(request, status);
            if (result != nassim::HttpRequestParser::Status::Complete)
                break;
            (void)request.keepAlive();
            (void)request.path();
            (void)nassim::parseForm(request.body);
        }
        if (piece == 0)
            parser.append(bytes.substr(cut));
    }
    (void)nassim::parseCommand(bytes);
    return 0;
}
