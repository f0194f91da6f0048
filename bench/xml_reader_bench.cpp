// What one description document costs the chain thread: parse time and peak heap for documents
// of 1 KiB to 4 MiB (the web client's body limit), in realistic and hostile shapes. Each
// iteration reads the document the way the description reader does: parseXml, processXml and,
// when the structure checks, buildNamespaceTables and the text of every start element.
//
// Peak heap is counted by replacing the global allocation functions (they must call malloc and
// free: that is the C interface they replace) and reported as bytes and as a multiple of the
// document's size.
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "upnp/xml_reader.h"

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};

void noteAllocated(void* block) {
    if (block == nullptr)
        return;
    const size_t now = liveBytes.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
    size_t peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
}

}  // namespace

void* operator new(size_t size) {
    void* block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr)
        throw std::bad_alloc();
    noteAllocated(block);
    return block;
}

// GCC takes the free below for a mismatch with operator new; this is the replacement itself.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* block) noexcept {
    if (block == nullptr)
        return;
    liveBytes.fetch_sub(malloc_usable_size(block));
    std::free(block);
}
#pragma GCC diagnostic pop

void operator delete(void* block, size_t) noexcept {
    operator delete(block);
}

namespace {

constexpr std::string_view kHead =
    "<?xml version=\"1.0\"?>\r\n"
    "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n"
    "  <specVersion><major>1</major><minor>0</minor></specVersion>\r\n"
    "  <device xmlns:dlna=\"urn:schemas-dlna-org:device-1-0\">\r\n"
    "    <deviceType>urn:schemas-upnp-org:device:Basic:1</deviceType>\r\n"
    "    <friendlyName>NAS One</friendlyName>\r\n"
    "    <dlna:X_DLNADOC>DMS-1.50</dlna:X_DLNADOC>\r\n"
    "    <UDN>uuid:3b2b54a3-5512-4a2b-93f2-001122334455</UDN>\r\n"
    "    <serviceList>\r\n";
constexpr std::string_view kService =
    "      <service>\r\n"
    "        <serviceType>urn:schemas-upnp-org:service:ContentDirectory:1</serviceType>\r\n"
    "        <serviceId>urn:upnp-org:serviceId:ContentDirectory</serviceId>\r\n"
    "        <SCPDURL>/cds.xml</SCPDURL><controlURL>/cds/control</controlURL>\r\n"
    "        <eventSubURL>/cds/event</eventSubURL>\r\n"
    "      </service>\r\n";
constexpr std::string_view kTail = "    </serviceList>\r\n  </device>\r\n</root>\r\n";

// Repeats `unit` between `head` and `tail` until the document reaches `size` bytes.
std::string build(size_t size, std::string_view head, std::string_view unit,
                  std::string_view tail) {
    std::string text(head);
    while (text.size() + unit.size() + tail.size() <= size)
        text += unit;
    text += tail;
    return text;
}

// A device with as many services as fit: realistic up to about 300 KiB, refused beyond the
// element cap.
std::string realistic(size_t size) {
    return build(size, kHead, kService, kTail);
}
// One element holding long text (a large presentation page inlined, say).
std::string longText(size_t size) {
    return build(size, "<root><device><friendlyName>", "x", "</friendlyName></device></root>");
}
// Nothing but tiny elements.
std::string emptyTags(size_t size) {
    return build(size, "<root>", "<a/>", "</root>");
}
// One start tag with as many namespace declarations as fit.
std::string declarations(size_t size) {
    std::string text = "<root";
    for (size_t i = 0; text.size() + 40 < size; ++i)
        text += " xmlns:p" + std::to_string(i) + "=\"u\"";
    return text + "></root>";
}

void readDocument(benchmark::State& state, const std::function<std::string(size_t)>& shape) {
    const std::string text = shape(static_cast<size_t>(state.range(0)));
    size_t elements = 0;
    peakBytes = liveBytes.load();
    const size_t before = liveBytes.load();
    for (auto _ : state) {
        auto document = upnp::parseXml(text);
        elements = 0;
        if (upnp::processXml(document->first()) == upnp::kXmlOk) {
            upnp::buildNamespaceTables(document->first());
            for (upnp::XmlElement* at = document->first(); at != nullptr; at = at->next) {
                if (at->isStart) {
                    ++elements;
                    benchmark::DoNotOptimize(upnp::readElementText(*at));
                }
            }
        }
    }
    const double peak = static_cast<double>(peakBytes.load() - before);
    state.counters["peak_bytes"] = peak;
    state.counters["peak_x_size"] = peak / static_cast<double>(text.size());
    state.counters["elements"] = static_cast<double>(elements);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}

void sizes(benchmark::internal::Benchmark* benchmark) {
    for (int64_t size : {int64_t{1} << 10, int64_t{64} << 10, int64_t{1} << 20, int64_t{4} << 20})
        benchmark->Arg(size);
    benchmark->Unit(benchmark::kMicrosecond);
}

void BM_XmlRealistic(benchmark::State& state) {
    readDocument(state, realistic);
}
void BM_XmlLongText(benchmark::State& state) {
    readDocument(state, longText);
}
void BM_XmlEmptyTags(benchmark::State& state) {
    readDocument(state, emptyTags);
}
void BM_XmlDeclarations(benchmark::State& state) {
    readDocument(state, declarations);
}
BENCHMARK(BM_XmlRealistic)->Apply(sizes);
BENCHMARK(BM_XmlLongText)->Apply(sizes);
BENCHMARK(BM_XmlEmptyTags)->Apply(sizes);
BENCHMARK(BM_XmlDeclarations)->Apply(sizes);

}  // namespace

BENCHMARK_MAIN();
