#include "platform/resources.h"

#include <gtest/gtest.h>

namespace {

platform::ResourceModule MakeModule(std::u16string discover) {
    return platform::ResourceModule({{"DICTIONARY", 148, {1, 2, 3}}, {"Bitmap", 148, {9}}},
                                    {{148, std::move(discover)}, {150, u""}});
}

// Restores the process-wide module pointers a test changed.
class ResourcesTest : public testing::Test {
  protected:
    ~ResourcesTest() override {
        platform::installExecutableResources(savedExecutable_);
        platform::setCurrentResourceModule(savedCurrent_);
    }

  private:
    const platform::ResourceModule* savedExecutable_ = platform::executableResources();
    const platform::ResourceModule* savedCurrent_ = platform::currentResourceModule();
};

TEST_F(ResourcesTest, FindsByTypeIgnoringCaseAndById) {
    const auto module = MakeModule(u"Discover");
    const auto dictionary = module.findResource("Dictionary", 148);
    ASSERT_TRUE(dictionary.has_value());
    EXPECT_EQ(dictionary->size(), 3u);
    EXPECT_EQ((*dictionary)[2], 3);
    EXPECT_EQ(module.findResource("bitmap", 148)->size(), 1u);
    EXPECT_FALSE(module.findResource("Dictionary", 149).has_value());
    EXPECT_FALSE(module.findResource("Dictionar", 148).has_value());
    EXPECT_FALSE(module.findResource("Icon", 148).has_value());
}

TEST_F(ResourcesTest, StringTableKeepsEmptyEntriesApartFromMissingOnes) {
    const auto module = MakeModule(u"Discover");
    EXPECT_EQ(module.findString(148), u"Discover");
    ASSERT_TRUE(module.findString(150).has_value());
    EXPECT_TRUE(module.findString(150)->empty());
    EXPECT_FALSE(module.findString(151).has_value());
}

TEST_F(ResourcesTest, StringSearchTriesTheCurrentModuleThenTheExecutables) {
    const auto executable = MakeModule(u"Discover");
    const platform::ResourceModule satellite({}, {{148, u"Suchen"}});
    EXPECT_FALSE(platform::loadResourceString(148).has_value());  // nothing installed

    platform::installExecutableResources(&executable);
    EXPECT_EQ(platform::currentResourceModule(), &executable);
    EXPECT_EQ(platform::loadResourceString(148), u"Discover");

    platform::setCurrentResourceModule(&satellite);
    EXPECT_EQ(platform::loadResourceString(148), u"Suchen");
    EXPECT_EQ(platform::loadResourceString(150), u"");  // only the executable has it
    EXPECT_FALSE(platform::loadResourceString(999).has_value());

    platform::setCurrentResourceModule(nullptr);
    EXPECT_EQ(platform::currentResourceModule(), &executable);
    EXPECT_EQ(platform::loadResourceString(148), u"Discover");
}

}  // namespace
