#include "framework/resource_file_localization.h"

#include <fstream>
#include <sstream>

#include "platform/executable_path.h"
#include "platform/resources.h"
#include "platform/string_table_file.h"

#ifndef DRIVESCOUT_VERSION
#define DRIVESCOUT_VERSION "0.0.0.0"
#endif

namespace framework {
namespace {

std::optional<std::string> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace

CResourceFileLocalization::CResourceFileLocalization()
    : CResourceFileLocalization(platform::executablePath(), DRIVESCOUT_VERSION) {}

CResourceFileLocalization::CResourceFileLocalization(std::string executablePath,
                                                     std::string version)
    : m_strExecutablePath(std::move(executablePath)), m_strVersion(std::move(version)) {}

CResourceFileLocalization::~CResourceFileLocalization() {
    if (m_satellite && platform::currentResourceModule() == m_satellite.get()) {
        platform::setCurrentResourceModule(nullptr);
    }
}

std::vector<std::string> CResourceFileLocalization::SatelliteCandidates(
    const CLanguage& language) const {
    if (!language.IsValid()) {
        return {};
    }
    const std::size_t slash = m_strExecutablePath.rfind('/');
    const std::string directory =
        slash == std::string::npos ? std::string() : m_strExecutablePath.substr(0, slash + 1);
    const std::string fileName =
        slash == std::string::npos ? m_strExecutablePath : m_strExecutablePath.substr(slash + 1);
    const std::string base = fileName.substr(0, fileName.find('.'));
    return {directory + base + "_" + std::string(language.GetCultureName()) + ".NLS",
            directory + base + "-" + std::string(language.GetAsciiCode()) + ".NLS"};
}

std::unique_ptr<platform::ResourceModule> CResourceFileLocalization::LoadSatellite(
    const CLanguage& language) const {
    for (const std::string& candidate : SatelliteCandidates(language)) {
        const std::optional<std::string> content = ReadFile(candidate);
        if (!content) {
            continue;
        }
        platform::StringTableParse parsed = platform::parseStringTableFile(*content);
        // A satellite of another build of the program would show texts that do not fit.
        if (!parsed.table || parsed.table->version != m_strVersion) {
            continue;
        }
        return std::make_unique<platform::ResourceModule>(
            std::vector<platform::ResourceModule::Resource>{}, std::move(parsed.table->strings));
    }
    return nullptr;
}

bool CResourceFileLocalization::SetLanguage(const CLanguage& language) {
    if (language.IsNeutral()) {
        // The satellite stays loaded; the executable's own resources are current again.
        platform::setCurrentResourceModule(nullptr);
        return true;
    }
    std::unique_ptr<platform::ResourceModule> satellite = LoadSatellite(language);
    if (!satellite) {
        return false;
    }
    platform::setCurrentResourceModule(satellite.get());
    m_satellite = std::move(satellite);
    return true;
}

bool CResourceFileLocalization::IsLanguageAvailable(const CLanguage& language) {
    if (language.IsNeutral()) {
        return true;
    }
    return LoadSatellite(language) != nullptr;
}

}  // namespace framework
