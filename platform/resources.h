#pragma once

// Compiled-in resources: the stand-in for the resources a Windows executable carries. A
// ResourceModule holds typed binary resources addressed by (type name, 16-bit id) and a string
// table addressed by 32-bit id. The program's own module is generated at build time
// (resources/drivescout_resources.h); satellite modules and tests build their own.
//
// Threads: a ResourceModule is immutable after construction and may be read from any thread.
// The process-wide "executable" and "current" module pointers belong to the user-interface
// thread (they are set during start-up and by the localization strategies).

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ResourceModule {
  public:
    struct Resource {
        std::string type;  // type name, e.g. "Dictionary"; matched without regard to ASCII case
        std::uint16_t id = 0;
        std::vector<std::uint8_t> bytes;
    };

    ResourceModule() = default;
    ResourceModule(std::vector<Resource> resources,
                   std::map<std::uint32_t, std::u16string> strings);

    // The bytes of the resource `id` of type `type`, with their size; nullopt when the module has
    // no such resource. The span stays valid as long as the module lives.
    std::optional<std::span<const std::uint8_t>> findResource(std::string_view type,
                                                              std::uint16_t id) const;

    // The string-table entry `id`, or nullopt when the table lacks it. An entry may be empty.
    std::optional<std::u16string_view> findString(std::uint32_t id) const;

    const std::map<std::uint32_t, std::u16string>& strings() const { return strings_; }

  private:
    std::vector<Resource> resources_;
    std::map<std::uint32_t, std::u16string> strings_;
};

// The module of the program itself (the executable's resources). Null until start-up installs
// one. The pointer is borrowed: the module must outlive every use (the generated module lives to
// the end of the process).
const ResourceModule* executableResources();
// Installs the program's module and also makes it the current one. Returns the previous
// executable module.
const ResourceModule* installExecutableResources(const ResourceModule* module);

// The module resources are loaded from first (a satellite module when one is selected, else the
// executable's). Falls back to the executable's module when none was set.
const ResourceModule* currentResourceModule();
// Borrowed pointer; null restores the executable's module. Returns the previous current module.
const ResourceModule* setCurrentResourceModule(const ResourceModule* module);

// The string-table search of the application framework: the current module first, then the
// executable's. nullopt when neither holds the id.
std::optional<std::u16string> loadResourceString(std::uint32_t id);

}  // namespace platform
