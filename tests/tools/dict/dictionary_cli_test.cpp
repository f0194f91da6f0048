// The drivescout-dict program as the build and a developer run it.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

const std::string kTool = std::string(DRIVESCOUT_BINARY_DIR) + "/tools/dict/drivescout-dict";
const std::string kShippedBinary = std::string(DRIVESCOUT_BINARY_DIR) + "/resources/dictionary.bin";

struct ToolRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

ToolRun RunTool(const std::string& arguments) {
    ToolRun run;
    FILE* pipe = ::popen((kTool + " " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        run.output.append(buffer, n);
    }
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class DictionaryCli : public testing::Test {
  protected:
    void SetUp() override {
        if (!std::filesystem::exists(kTool) || !std::filesystem::exists(kShippedBinary)) {
            GTEST_SKIP() << "drivescout-dict and the shipped dictionary are not built";
        }
        std::string pattern = (std::filesystem::temp_directory_path() / "ds-dict-XXXXXX").string();
        directory_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override {
        if (!directory_.empty()) {
            std::filesystem::remove_all(directory_);
        }
    }
    std::string Write(const std::string& name, const std::string& content) {
        const auto path = directory_ / name;
        std::ofstream(path, std::ios::binary) << content;
        return path.string();
    }

    std::filesystem::path directory_;
};

TEST_F(DictionaryCli, DumpsOneLanguageOfTheShippedDictionary) {
    const ToolRun run = RunTool(kShippedBinary + " --language rus");
    EXPECT_EQ(run.status, 2) << "dump is a subcommand";
    const ToolRun dump = RunTool("dump " + kShippedBinary + " --language rus");
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_NE(dump.output.find("Wrong Password\tНеверный пароль\n"), std::string::npos);
    EXPECT_EQ(dump.output.rfind("\t\n", 0), 0u);  // the empty entry comes first
}

TEST_F(DictionaryCli, DumpsTheWholeDictionaryWithAHeader) {
    const ToolRun dump = RunTool("dump " + kShippedBinary);
    ASSERT_EQ(dump.status, 0) << dump.output;
    EXPECT_EQ(
        dump.output.rfind("KEY\tCHS\tCHT\tDEU\tENU\tESP\tFRA\tITA\tJPN\tKOR\tNLD\tPTB\tRUS\n", 0),
        0u);
}

TEST_F(DictionaryCli, RefusesUnknownLanguagesAndForeignFiles) {
    EXPECT_EQ(RunTool("dump " + kShippedBinary + " --language XYZ").status, 2);
    const ToolRun foreign = RunTool("dump " + Write("foreign.bin", "not a dictionary"));
    EXPECT_EQ(foreign.status, 1);
    EXPECT_NE(foreign.output.find("is not a complete merged dictionary"), std::string::npos);
}

TEST_F(DictionaryCli, CompileFailsOnABadTranslationAndWritesNothing) {
    const std::string source =
        Write("bad.tsv", "KEY\tDEU\tRUS\nSkip %d\tÜberspringen %d\tПропустить\n");
    const std::string output = (directory_ / "out.bin").string();
    const ToolRun run = RunTool("compile " + source + " " + output);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(
        run.output.find("line 2: RUS: placeholders and quotes (none) differ from the key's %d"),
        std::string::npos)
        << run.output;
    EXPECT_FALSE(std::filesystem::exists(output));
}

TEST_F(DictionaryCli, CompileThenDumpGivesTheSourceBack) {
    const std::string text = "KEY\tDEU\tJPN\n\t\t\nSkip\tÜberspringen\tスキップ\n";
    const std::string output = (directory_ / "out.bin").string();
    const ToolRun run = RunTool("compile " + Write("good.tsv", text) + " " + output);
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(RunTool("dump " + output).output, text);
}

}  // namespace
