#include "framework/resource_file_localization.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "platform/resources.h"

namespace {

using framework::CLanguage;
using framework::CResourceFileLocalization;

// A folder with a program and its satellite files, removed afterwards.
class ResourceFileLocalization : public testing::Test {
  protected:
    ResourceFileLocalization() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ds-nls-XXXXXX").string();
        directory_ = ::mkdtemp(pattern.data());
        savedExecutable_ = platform::installExecutableResources(&executable_);
    }
    ~ResourceFileLocalization() override {
        platform::installExecutableResources(savedExecutable_);
        std::filesystem::remove_all(directory_);
    }

    void Write(const std::string& name, const std::string& content) {
        std::ofstream(directory_ / name, std::ios::binary) << content;
    }
    std::string Program() const { return (directory_ / "drivescout.bin").string(); }

    std::filesystem::path directory_;
    const platform::ResourceModule executable_{{}, {{148, u"Discover"}, {153, u"Search again"}}};

  private:
    const platform::ResourceModule* savedExecutable_ = nullptr;
};

TEST_F(ResourceFileLocalization, CandidatesUseTheCultureThenTheCode) {
    const CResourceFileLocalization strategy("/opt/ds/drivescout.run.bin", "1.0.0.0");
    EXPECT_EQ(
        strategy.SatelliteCandidates(CLanguage::FromCode(u"DEU")),
        (std::vector<std::string>{"/opt/ds/drivescout_de-DE.NLS", "/opt/ds/drivescout-DEU.NLS"}));
    EXPECT_TRUE(strategy.SatelliteCandidates(CLanguage()).empty());
}

TEST_F(ResourceFileLocalization, SatelliteOfTheSameVersionBecomesCurrent) {
    Write("drivescout_de-DE.NLS", "version\t1.0.0.0\n148\tSuchen\n");
    {
        CResourceFileLocalization strategy(Program(), "1.0.0.0");
        EXPECT_TRUE(strategy.IsLanguageAvailable(CLanguage::FromCode(u"DEU")));
        EXPECT_EQ(platform::currentResourceModule(), &executable_);  // availability changes nothing
        ASSERT_TRUE(strategy.SetLanguage(CLanguage::FromCode(u"DEU")));
        EXPECT_EQ(platform::loadResourceString(148), u"Suchen");
        EXPECT_EQ(platform::loadResourceString(153), u"Search again");  // from the executable

        EXPECT_TRUE(strategy.SetLanguage(CLanguage()));
        EXPECT_EQ(platform::loadResourceString(148), u"Discover");
        ASSERT_TRUE(strategy.SetLanguage(CLanguage::FromCode(u"DEU")));
    }
    // The strategy gave the resources back when it went.
    EXPECT_EQ(platform::currentResourceModule(), &executable_);
}

TEST_F(ResourceFileLocalization, SatelliteOfAnotherVersionIsPassedOver) {
    Write("drivescout_fr-FR.NLS", "version\t0.9.0.0\n148\tAncien\n");
    Write("drivescout-FRA.NLS", "version\t1.0.0.0\n148\tD\u00e9couvrir\n");
    Write("drivescout_it-IT.NLS", "148\tSenza versione\n");
    CResourceFileLocalization strategy(Program(), "1.0.0.0");
    ASSERT_TRUE(strategy.SetLanguage(CLanguage::FromCode(u"FRA")));
    EXPECT_EQ(platform::loadResourceString(148), u"Découvrir");
    EXPECT_FALSE(strategy.IsLanguageAvailable(CLanguage::FromCode(u"ITA")));
}

TEST_F(ResourceFileLocalization, MissingSatelliteFailsAndChangesNothing) {
    Write("drivescout_de-DE.NLS", "version\t1.0.0.0\n148\tSuchen\n");
    CResourceFileLocalization strategy(Program(), "1.0.0.0");
    ASSERT_TRUE(strategy.SetLanguage(CLanguage::FromCode(u"DEU")));
    EXPECT_FALSE(strategy.SetLanguage(CLanguage::FromCode(u"JPN")));
    EXPECT_FALSE(strategy.SetLanguage(CLanguage(-1)));
    EXPECT_FALSE(strategy.IsLanguageAvailable(CLanguage(-1)));
    EXPECT_TRUE(strategy.IsLanguageAvailable(CLanguage()));
    EXPECT_EQ(platform::loadResourceString(148), u"Suchen");
}

}  // namespace
