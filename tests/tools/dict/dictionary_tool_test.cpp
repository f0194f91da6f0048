#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "framework/localization_dictionary.h"
#include "framework/merged_dictionary.h"
#include "platform/utf.h"
#include "tools/dict/dictionary_compiler.h"
#include "tools/dict/dictionary_dump.h"
#include "tools/dict/dictionary_source.h"

namespace {

using framework::CLanguage;

std::string ReadSource(const std::string& relative) {
    std::ifstream in(std::string(DRIVESCOUT_SOURCE_DIR) + "/" + relative, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

// The source without comments, rows in the order the binary keeps them (ascending bytes of the
// 1252 key; the shipped keys are ASCII).
std::string CanonicalSource(const std::string& source) {
    std::istringstream in(source);
    std::string header;
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (header.empty()) {
            header = line;
        } else {
            rows.push_back(line);
        }
    }
    std::sort(rows.begin(), rows.end(), [](const std::string& a, const std::string& b) {
        return a.substr(0, a.find('\t')) < b.substr(0, b.find('\t'));
    });
    std::string out = header + "\n";
    for (const std::string& row : rows) {
        out += row + "\n";
    }
    return out;
}

framework::CMergedLocalizationDictionary CompileAndReadBack(const std::string& source) {
    auto parsed = dict::parseDictionarySource(source);
    EXPECT_TRUE(parsed.errors.empty()) << parsed.errors.front();
    auto compiled = dict::compileDictionary(parsed.source);
    EXPECT_TRUE(compiled.errors.empty()) << compiled.errors.front();
    const auto bytes = dict::serializeDictionary(compiled.dictionary);
    framework::CMergedLocalizationDictionary read;
    EXPECT_TRUE(framework::ReadMergedDictionary(read, bytes));
    return read;
}

TEST(DictionaryTool, ShippedSourceRoundTripsThroughTheBinaryForAllTwelveLanguages) {
    const std::string source = ReadSource("resources/dictionary.tsv");
    const auto dictionary = CompileAndReadBack(source);
    EXPECT_EQ(dict::dumpDictionary(dictionary), CanonicalSource(source));
}

struct DecodedCase {
    const char16_t* code;
    std::string key;
    std::string expected;  // UTF-8
};

class DictionaryToolDecodes : public testing::TestWithParam<DecodedCase> {};

TEST_P(DictionaryToolDecodes, DoubleByteAndCyrillicTexts) {
    static const auto dictionary = CompileAndReadBack(ReadSource("resources/dictionary.tsv"));
    const auto language = CLanguage::FromCode(GetParam().code);
    const std::string dump = dict::dumpLanguage(dictionary, language);
    EXPECT_NE(dump.find(GetParam().key + "\t" + GetParam().expected + "\n"), std::string::npos)
        << dump;
    framework::CLocalizationDictionary runtime;
    ASSERT_TRUE(dictionary.ExtractLanguage(language, runtime));
    std::u16string out;
    ASSERT_TRUE(runtime.Translate(platform::utf8ToUtf16(GetParam().key), out));
    EXPECT_EQ(platform::utf16ToUtf8(out), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DictionaryToolDecodes,
    testing::Values(DecodedCase{u"CHS", "Search again", "重新搜索"},
                    DecodedCase{u"CHS", "Wrong Password", "密码错误"},
                    DecodedCase{u"CHT", "Wrong Password", "密碼錯誤"},
                    DecodedCase{u"JPN", "Wrong Password", "パスワードが正しくありません"},
                    DecodedCase{u"JPN", "You are logged in as \"%s\"",
                                "\"%s\" としてサインインしています"},
                    DecodedCase{u"KOR", "Wrong Password", "잘못된 암호"},
                    DecodedCase{u"KOR", "Skip", "건너뛰기"},
                    DecodedCase{u"RUS", "Wrong Password", "Неверный пароль"},
                    DecodedCase{u"RUS", "Scanning: %d seconds", "Поиск: осталось %d с"}));

TEST(DictionaryTool, FormatTokensAreThePlaceholdersAndQuotesInOrder) {
    EXPECT_EQ(dict::formatTokens("Click \"Done\" to launch %s."),
              (std::vector<std::string>{"\"", "\"", "%s"}));
    EXPECT_EQ(dict::formatTokens("%d of %-5.2lf%% %"),
              (std::vector<std::string>{"%d", "%-5.2lf", "%%", "%"}));
    EXPECT_TRUE(dict::formatTokens("plain").empty());
}

struct CheckCase {
    const char* name;
    const char16_t* code;
    std::string key;
    std::string translation;
    std::string problem;  // empty: accepted
};

class TranslationCheck : public testing::TestWithParam<CheckCase> {};

TEST_P(TranslationCheck, RefusesWhatWouldShowWrongly) {
    const CheckCase& c = GetParam();
    const auto problems = dict::checkTranslation(c.key, c.translation, CLanguage::FromCode(c.code));
    if (c.problem.empty()) {
        EXPECT_TRUE(problems.empty()) << problems.front();
    } else {
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems.front(), c.problem);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, TranslationCheck,
    testing::Values(
        CheckCase{"Fine", u"DEU", "Scanning: %d seconds", "Noch %d Sekunden", ""},
        CheckCase{"FineDoubleByte", u"JPN", "Click \"Done\"", "\"完了\" をクリック", ""},
        CheckCase{"EmptyForEmpty", u"KOR", "", "", ""},
        CheckCase{"LostPlaceholder", u"FRA", "%d found", "trouvés",
                  "FRA: placeholders and quotes (none) differ from the key's %d"},
        CheckCase{"SwappedPlaceholders", u"ITA", "%s has %d", "%d in %s",
                  "ITA: placeholders and quotes %d %s differ from the key's %s %d"},
        CheckCase{"TypographicQuotes", u"DEU", "Click \"Done\"", "Klicken Sie auf „Fertig“",
                  "DEU: placeholders and quotes (none) differ from the key's \" \""},
        CheckCase{"OutsideCodePage", u"RUS", "Done", "Готово ✓",
                  "RUS: the translation has characters outside code page 1251"},
        CheckCase{"KoreanInChinese", u"CHS", "Skip", "건너뛰기",
                  "CHS: the translation has characters outside code page 936"},
        CheckCase{"Missing", u"NLD", "Skip", "", "NLD: the translation is missing"},
        CheckCase{"EmptyKeyTranslated", u"ENU", "", "x", "ENU: the empty text must stay empty"}),
    [](const testing::TestParamInfo<CheckCase>& info) { return info.param.name; });

TEST(DictionaryTool, SourceErrorsNameTheirLines) {
    const auto parsed =
        dict::parseDictionarySource("# c\nKEY\tDEU\tFRA\nA\tB\nC\tD\tE\nF\tG\\q\tH\n");
    EXPECT_EQ(parsed.errors, (std::vector<std::string>{"line 3: expected 3 fields, found 2",
                                                       "line 5: bad escape"}));
    EXPECT_EQ(dict::parseDictionarySource("KEY\tDEU\tXYZ\n").errors,
              (std::vector<std::string>{"line 1: unknown language code \"XYZ\""}));
    EXPECT_EQ(dict::parseDictionarySource("KEY\tDEU\tDEU\n").errors,
              (std::vector<std::string>{"line 1: language DEU appears twice"}));
    EXPECT_EQ(dict::parseDictionarySource("KEY\tdeu\n").errors,
              (std::vector<std::string>{"line 1: unknown language code \"deu\""}));
    EXPECT_FALSE(dict::parseDictionarySource("# only\n").errors.empty());
}

TEST(DictionaryTool, CompileRefusesDuplicatesNonWesternKeysAndMissingStrings) {
    const auto parsed =
        dict::parseDictionarySource("KEY\tDEU\nA\tB\nA\tC\nПоиск\tSuche\n&Skip\tÜberspringen\n");
    ASSERT_TRUE(parsed.errors.empty());
    const auto compiled = dict::compileDictionary(parsed.source, {"A", "&A", "Skip", "Missing"});
    EXPECT_EQ(compiled.errors,
              (std::vector<std::string>{"line 3: the key appears twice",
                                        "line 4: the key has characters outside code page 1252",
                                        "the text \"Skip\" has no entry",
                                        "the text \"Missing\" has no entry"}));
}

}  // namespace
