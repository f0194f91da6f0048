// The NAS simulator's reading of SSDP searches and its choice of answers, on arbitrary datagrams.

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "tools/nas-sim/device_model.h"
#include "tools/nas-sim/ssdp_wire.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<nassim::SimDevice> devices = [] {
        nassim::SimOptions options;
        options.embeddedCount = 2;
        return nassim::buildDevices(options);
    }();
    const std::string_view datagram(reinterpret_cast<const char*>(data), size);
    const nassim::SearchParse parse = nassim::parseSearchRequest(datagram);
    if (parse.request) {
        (void)nassim::searchAnswers(devices[0].root, parse.request->searchTarget);
    }
    // The target alone, as if a valid search carried these bytes as its ST.
    (void)nassim::searchAnswers(devices[0].root, datagram);
    return 0;
}
