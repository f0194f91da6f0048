#include "app/command_line_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct CommandLineCase {
    const char* name;
    std::vector<const char*> arguments;  // after the program name
    std::string language;                // m_strLanguage afterwards
    std::vector<std::string> frameworkFlags;
    std::string frameworkFileName;
};

std::vector<std::string> Utf8(const std::vector<LBString>& texts) {
    std::vector<std::string> out;
    for (const LBString& text : texts) {
        out.push_back(text.ToUtf8());
    }
    return out;
}

void ExpectParsed(const CommandLineCase& c) {
    SCOPED_TRACE(c.name);
    QStringList arguments{QStringLiteral("drivescout")};
    for (const char* argument : c.arguments) {
        arguments << QString::fromUtf8(argument);
    }
    CDiscoveryCommandLineInfo info;
    ParseCommandLine(info, arguments);
    EXPECT_EQ(info.m_strLanguage.ToUtf8(), c.language);
    EXPECT_EQ(Utf8(info.m_flags), c.frameworkFlags);
    EXPECT_EQ(info.m_strFileName.ToUtf8(), c.frameworkFileName);
}

// Each program start costs a process of its own under ctest: one test walks the whole table.
TEST(CommandLineTest, ReadsTheLanguageOptionAndLeavesTheRestToTheFramework) {
    const CommandLineCase cases[] = {
        CommandLineCase{"NoParameters", {}, "", {}, ""},
        // The value is upper-cased and trimmed on both sides.
        CommandLineCase{"SlashLowerCaseWithBlanks", {"/language= deu "}, "DEU", {}, ""},
        CommandLineCase{"Dash", {"-LANGUAGE=fra"}, "FRA", {}, ""},
        CommandLineCase{"NoPrefix", {"Language=jpn"}, "JPN", {}, ""},
        CommandLineCase{"TabsTrimmed", {"/LANGUAGE=\tkor\t"}, "KOR", {}, ""},
        // The option name later than the first character is not the option.
        CommandLineCase{"PrefixedName", {"/XLANGUAGE=DEU"}, "", {"XLANGUAGE=DEU"}, ""},
        CommandLineCase{"PlainPrefixedName", {"XLANGUAGE=DEU"}, "", {}, "XLANGUAGE=DEU"},
        // Without "=" nothing is deleted: the whole upper-cased parameter is the value.
        CommandLineCase{"MissingEquals", {"/language"}, "LANGUAGE", {}, ""},
        CommandLineCase{"ColonInsteadOfEquals", {"/language:deu"}, "LANGUAGE:DEU", {}, ""},
        CommandLineCase{"EmptyValue", {"/LANGUAGE="}, "", {}, ""},
        // Everything after the first "=" stays, further "=" included.
        CommandLineCase{"SecondEquals", {"/LANGUAGE=de=u"}, "DE=U", {}, ""},
        // A later option replaces an earlier one.
        CommandLineCase{"LaterWins", {"/LANGUAGE=DEU", "-language=chs"}, "CHS", {}, ""},
        // Other parameters go to the framework as received (not upper-cased).
        CommandLineCase{"OtherParameters",
                        {"/verbose", "file.txt", "/LANGUAGE=ita", "-p", "second"},
                        "ITA",
                        {"verbose", "p"},
                        "file.txt"},
    };
    for (const CommandLineCase& c : cases) {
        ExpectParsed(c);
    }
}

TEST(CommandLineTest, ParseParamSeesTheFlagAndTheLastParameter) {
    struct Recorder : CCommandLineInfo {
        void ParseParam(const LBString& param, bool flag, bool last) override {
            seen.push_back(param.ToUtf8() + (flag ? " flag" : "") + (last ? " last" : ""));
        }
        std::vector<std::string> seen;
    } recorder;
    ParseCommandLine(recorder, {QStringLiteral("drivescout"), QStringLiteral("/a"),
                                QStringLiteral("b"), QStringLiteral("-c")});
    EXPECT_EQ(recorder.seen, (std::vector<std::string>{"a flag", "b", "c flag last"}));
}

}  // namespace
