#include "platform/resources.h"

#include <algorithm>
#include <utility>

namespace platform {
namespace {

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Resource type names are matched the way the system's resource lookup does: without regard
// to case ("Dictionary" finds a resource stored as "DICTIONARY").
bool sameTypeName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return foldAscii(x) == foldAscii(y);
           });
}

const ResourceModule* g_executable = nullptr;
const ResourceModule* g_current = nullptr;

}  // namespace

ResourceModule::ResourceModule(std::vector<Resource> resources,
                               std::map<std::uint32_t, std::u16string> strings)
    : resources_(std::move(resources)), strings_(std::move(strings)) {}

std::optional<std::span<const std::uint8_t>> ResourceModule::findResource(std::string_view type,
                                                                          std::uint16_t id) const {
    for (const Resource& resource : resources_) {
        if (resource.id == id && sameTypeName(resource.type, type)) {
            return std::span<const std::uint8_t>(resource.bytes);
        }
    }
    return std::nullopt;
}

std::optional<std::u16string_view> ResourceModule::findString(std::uint32_t id) const {
    auto it = strings_.find(id);
    if (it == strings_.end()) {
        return std::nullopt;
    }
    return std::u16string_view(it->second);
}

const ResourceModule* executableResources() {
    return g_executable;
}

const ResourceModule* installExecutableResources(const ResourceModule* module) {
    const ResourceModule* previous = std::exchange(g_executable, module);
    g_current = nullptr;
    return previous;
}

const ResourceModule* currentResourceModule() {
    return g_current ? g_current : g_executable;
}

const ResourceModule* setCurrentResourceModule(const ResourceModule* module) {
    const ResourceModule* previous = currentResourceModule();
    g_current = module;
    return previous;
}

std::optional<std::u16string> loadResourceString(std::uint32_t id) {
    for (const ResourceModule* module : {currentResourceModule(), g_executable}) {
        if (module == nullptr) {
            continue;
        }
        if (auto text = module->findString(id)) {
            return std::u16string(*text);
        }
    }
    return std::nullopt;
}

}  // namespace platform
