#pragma once

// CResourceFileLocalization: one satellite resource file per language next to the executable,
// made the current resource module when its language is selected. For an executable
// "/opt/drivescout/drivescout" and German, the candidates are, in this order,
// "/opt/drivescout/drivescout_de-DE.NLS" and "/opt/drivescout/drivescout-DEU.NLS". A satellite
// is a UTF-8 string table (platform/string_table_file.h) whose "version" line must equal the
// program's four-part version; other files are not loaded. This application never selects
// this strategy.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "framework/localization.h"

namespace platform {
class ResourceModule;
}

namespace framework {

class CResourceFileLocalization final : public CTkxUserInterfaceLocalization {
  public:
    // The running executable and the program's version.
    CResourceFileLocalization();
    // An explicit executable path and version ("1.0.0.0"), for tools and tests.
    CResourceFileLocalization(std::string executablePath, std::string version);
    // Restores the executable's module as the current one if a satellite was current.
    ~CResourceFileLocalization() override;

    bool SetLanguage(const CLanguage& language) override;
    bool IsLanguageAvailable(const CLanguage& language) override;

    // The two candidate paths for `language` (empty when it is not a table row).
    std::vector<std::string> SatelliteCandidates(const CLanguage& language) const;

  private:
    std::unique_ptr<platform::ResourceModule> LoadSatellite(const CLanguage& language) const;

    std::string m_strExecutablePath;
    std::string m_strVersion;
    std::unique_ptr<platform::ResourceModule> m_satellite;
};

}  // namespace framework
