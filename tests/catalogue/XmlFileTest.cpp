#include "catalogue/TextEncoding.h"
#include "catalogue/XmlFile.h"
#include "catalogue/XorScramble.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

class XmlFileTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = std::filesystem::temp_directory_path() /
                 ("orvane-xml-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    std::string Write(const std::string& name, std::string bytes, bool scramble)
    {
        if (scramble) {
            auto* data = reinterpret_cast<unsigned char*>(bytes.data());
            XorScramble(data, static_cast<std::int32_t>(bytes.size()), data, kFileKey);
        }
        const auto path = folder / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }

    std::filesystem::path folder;
};

const char* kCatalogue = "<?xml version=\"1.0\"?>\n<!-- stations -->\n"
                         "<radios><city name=\"北京\"><fm a=\"交通台\" b=\"http://x/1\" c=\"交通\"/></city></radios>"
                         "<version>7</version>";

} // namespace

TEST_F(XmlFileTest, ScrambledFileLoadsAndPlainOneYieldsNoRoot)
{
    TiXmlDocument scrambled;
    ReadXmlFile(&scrambled, Write("scrambled.dll", kCatalogue, true).c_str(), true);
    ASSERT_NE(scrambled.RootElement(), nullptr);
    EXPECT_STREQ(scrambled.RootElement()->Value(), "radios");
    EXPECT_STREQ(scrambled.RootElement()->FirstChildElement()->Attribute("name"), "北京");

    TiXmlDocument plain;
    ReadXmlFile(&plain, Write("plain.dll", kCatalogue, false).c_str(), true);
    EXPECT_EQ(plain.RootElement(), nullptr);

    // The settings file is read with unscrambling off.
    TiXmlDocument settings;
    ReadXmlFile(&settings, Write("config.xml", "<c><skin name=\"minBlue\"/></c>", false).c_str(), false);
    ASSERT_NE(settings.RootElement(), nullptr);

    // The always-scrambled form parses into the caller's document.
    TiXmlDocument own;
    ReadXmlFile(own, (folder / "scrambled.dll").c_str());
    ASSERT_NE(own.RootElement(), nullptr);
}

TEST_F(XmlFileTest, MissingFileLeavesTheDocumentAsItWas)
{
    TiXmlDocument document;
    document.Parse("<kept/>");
    ReadXmlFile(&document, (folder / "absent.dll").c_str(), true);
    ASSERT_NE(document.RootElement(), nullptr);
    EXPECT_STREQ(document.RootElement()->Value(), "kept");

    TiXmlDocument empty;
    ReadXmlFile(&empty, Write("empty.dll", "", true).c_str(), true);
    EXPECT_EQ(empty.RootElement(), nullptr);
}

TEST_F(XmlFileTest, ReadOnlyFileIsReadNotTreatedAsMissing)
{
    const std::string path = Write("readonly.dll", kCatalogue, true);
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
    TiXmlDocument document;
    ReadXmlFile(&document, path.c_str(), true);
    EXPECT_NE(document.RootElement(), nullptr);
}

TEST_F(XmlFileTest, GbkFileLoadsWithTheRightNames)
{
    // "北京" and "交通台" in GBK.
    const std::string gbk = "<radios><city name=\"\xB1\xB1\xBE\xA9\"><fm a=\"\xBD\xBB\xCD\xA8\xCC\xA8\" b=\"u\"/>"
                            "</city></radios>";
    TiXmlDocument document;
    ReadXmlFile(&document, Write("gbk.dll", gbk, true).c_str(), true);
    ASSERT_NE(document.RootElement(), nullptr);
    const TiXmlElement* city = document.RootElement()->FirstChildElement();
    EXPECT_STREQ(city->Attribute("name"), "北京");
    EXPECT_STREQ(city->FirstChildElement()->Attribute("a"), "交通台");
}

TEST_F(XmlFileTest, ZeroByteEndsTheText)
{
    std::string bytes = "<a><b/></a>";
    bytes += '\0';
    bytes += "<version>9</version>";
    TiXmlDocument document;
    ReadXmlFile(&document, Write("nul.dll", bytes, true).c_str(), true);
    ASSERT_NE(document.RootElement(), nullptr);
    EXPECT_EQ(FindVersionElement(document), nullptr);
}

TEST(VersionElement, FoundOnlyAfterTheRootAndOnlyWithExactCase)
{
    struct Row
    {
        const char* xml;
        bool found;
    } rows[] = {
        {"<r/><version>3</version>", true},
        {"<r><version>3</version></r>", false},
        {"<r/><Version>3</Version>", false},
        {"<r/><other/><version>4</version>", true},
        {"<r/>", false},
    };
    for (const Row& row : rows) {
        TiXmlDocument document;
        document.Parse(row.xml, nullptr, TIXML_ENCODING_UTF8);
        EXPECT_EQ(FindVersionElement(document) != nullptr, row.found) << row.xml;
    }
}

TEST(VersionNumber, ReadsLikeADecimalInteger)
{
    struct Row
    {
        const char* text;
        std::int32_t value;
    } rows[] = {
        {"12", 12},          {"  7", 7},          {"\n\t+5", 5},   {"-3", -3},
        {"12abc", 12},       {"abc", 0},          {"", 0},         {" - 4", 0},
        {"007", 7},          {"99999999999", 2147483647},          {"-99999999999", -2147483647 - 1},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ParseVersionNumber(row.text), row.value) << '"' << row.text << '"';
    EXPECT_EQ(ParseVersionNumber(nullptr), 0);
}

TEST(TextEncoding, ValidUtf8StaysAndEverythingElseBecomesUtf8)
{
    EXPECT_TRUE(IsValidUtf8("北京 abc"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));         // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));     // surrogate
    EXPECT_FALSE(IsValidUtf8("\xE5\x8C"));         // truncated
    EXPECT_FALSE(IsValidUtf8("\xB1\xB1\xBE\xA9")); // GBK

    EXPECT_EQ(ToUtf8("北京"), "北京");
    EXPECT_EQ(ToUtf8("\xB1\xB1\xBE\xA9"), "北京");
    // A byte that no code page can read does not stop the rest.
    const std::string mixed = ToUtf8("\xB1\xB1\xFF" "a");
    EXPECT_TRUE(IsValidUtf8(mixed));
    EXPECT_EQ(mixed.substr(0, 3), "北");
    EXPECT_EQ(mixed.back(), 'a');
}

namespace {

// The hostile catalogue an update server (or anything on the plain-HTTP road
// to it) can serve: 50,000 nested elements in about 1.2 MB, with a version
// that would make it look newer than any installed one.
std::string DeeplyNestedCatalogue()
{
    std::string text = "<catalogue>";
    for (int i = 0; i < 50000; ++i)
        text += "<city name=\"deep\">";
    for (int i = 0; i < 50000; ++i)
        text += "</city>";
    return text + "</catalogue><version>99</version>";
}

// Runs a command through the shell; its exit status, with what it wrote to
// standard error in `errors`.
int RunCommand(const std::string& command, std::string& errors, const std::filesystem::path& folder)
{
    const auto errorFile = folder / "stderr.txt";
    const int status = std::system((command + " >/dev/null 2>" + errorFile.string()).c_str());
    std::ifstream in(errorFile);
    errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST_F(XmlFileTest, DeeplyNestedFileIsRefusedLikeABrokenOne)
{
    const std::string deep = DeeplyNestedCatalogue();
    ASSERT_GT(deep.size(), 1200000u);
    TiXmlDocument document;
    const TXmlFileResult result = ReadXmlFile(document, Write("deep.dll", deep, true).c_str());
    EXPECT_EQ(result.status, EXmlFileStatus::Refused);
    EXPECT_EQ(result.refusal, EXmlRefusal::TooDeep);
    EXPECT_EQ(document.RootElement(), nullptr);
    EXPECT_TRUE(document.Error());
    EXPECT_EQ(FindVersionElement(document), nullptr);

    // A file past the size bound is not even read.
    std::string huge = "<c>" + std::string(static_cast<std::size_t>(kMaxXmlFileBytes), ' ') + "</c>";
    const TXmlFileResult large = ReadXmlFile(document, Write("huge.dll", huge, true).c_str());
    EXPECT_EQ(large.status, EXmlFileStatus::Refused);
    EXPECT_EQ(large.refusal, EXmlRefusal::TooLarge);

    // Missing stays missing; a sound file parses.
    EXPECT_EQ(ReadXmlFile(document, (folder / "absent.dll").c_str()).status, EXmlFileStatus::Missing);
    TiXmlDocument sound;
    EXPECT_EQ(ReadXmlFile(sound, Write("sound.dll", kCatalogue, true).c_str()).status, EXmlFileStatus::Parsed);
    EXPECT_NE(sound.RootElement(), nullptr);
}

TEST_F(XmlFileTest, CatalogueToolCheckRefusesTheDeeplyNestedFileWithAMessage)
{
    const std::string deep = Write("deep.dll", DeeplyNestedCatalogue(), true);
    std::string errors;
    EXPECT_EQ(RunCommand(std::string(ORVANE_CATALOGUE_TOOL) + " check " + deep, errors, folder), 1);
    EXPECT_NE(errors.find("deep.dll is refused: elements nested too deeply"), std::string::npos) << errors;

    const std::string sound = Write("sound.dll", kCatalogue, true);
    EXPECT_EQ(RunCommand(std::string(ORVANE_CATALOGUE_TOOL) + " check " + sound, errors, folder), 0) << errors;
}

TEST(TextEncoding, TheDeclarationDecidesThenTheMarkThenValidity)
{
    // "北京" in UTF-8 and in GBK; 0xFF is neither.
    const std::string utf8 = "北京";
    const std::string gbk = "\xB1\xB1\xBE\xA9";
    struct Row
    {
        const char* name;
        std::string bytes;
        ETextEncoding encoding;
        std::string text; // the converted text after the prolog, "" to skip
    };
    const auto declared = [](const char* encoding, const std::string& body) {
        return std::string("<?xml version=\"1.0\" encoding=\"") + encoding + "\"?>" + body;
    };
    const Row rows[] = {
        {"undeclared UTF-8", "<a n=\"" + utf8 + "\"/>", ETextEncoding::Utf8, ""},
        {"undeclared GBK", "<a n=\"" + gbk + "\"/>", ETextEncoding::Gb18030, "<a n=\"" + utf8 + "\"/>"},
        {"undeclared UTF-8 with a stray byte reads as GB18030 whole", "<!--\xFF--><a/>", ETextEncoding::Gb18030, ""},
        {"declared UTF-8 keeps its text past a stray byte", declared("UTF-8", "<!--\xFF--><a n=\"" + utf8 + "\"/>"),
         ETextEncoding::Utf8, declared("UTF-8", "<!--\xEF\xBF\xBD--><a n=\"" + utf8 + "\"/>")},
        {"declared utf-8 lower case", declared("utf-8", "\xFF" + utf8), ETextEncoding::Utf8, ""},
        {"declared UTF8", declared("UTF8", utf8), ETextEncoding::Utf8, ""},
        {"declared GBK", declared("GBK", gbk), ETextEncoding::Gb18030, declared("GBK", utf8)},
        {"declared gb2312", declared("gb2312", gbk), ETextEncoding::Gb18030, ""},
        {"declared GB18030", declared("GB18030", gbk), ETextEncoding::Gb18030, ""},
        {"declared GBK over UTF-8 bytes still decides", declared("GBK", utf8), ETextEncoding::Gb18030, ""},
        {"single quotes and blanks", "<?xml version='1.0'  encoding = 'gbk' ?>" + gbk, ETextEncoding::Gb18030, ""},
        {"unknown name falls back to validity", declared("ISO-8859-1", utf8), ETextEncoding::Utf8, ""},
        {"declaration without encoding", "<?xml version=\"1.0\"?>" + gbk, ETextEncoding::Gb18030, ""},
        {"byte-order mark means UTF-8", "\xEF\xBB\xBF<a/>\xFF", ETextEncoding::Utf8, "\xEF\xBB\xBF<a/>\xEF\xBF\xBD"},
        {"mark then declaration", "\xEF\xBB\xBF" + declared("UTF-8", "\xFF"), ETextEncoding::Utf8, ""},
        {"declaration not at the start is no declaration", "<a/><?xml version=\"1.0\" encoding=\"GBK\"?>" + utf8,
         ETextEncoding::Utf8, ""},
        {"encoding in a later processing instruction", "<?xml-stylesheet encoding=\"GBK\"?>" + utf8,
         ETextEncoding::Utf8, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(DetectEncoding(row.bytes), row.encoding) << row.name;
        const std::string converted = ToUtf8(row.bytes);
        EXPECT_TRUE(IsValidUtf8(converted)) << row.name;
        if (!row.text.empty()) {
            EXPECT_EQ(converted, row.text) << row.name;
        }
    }
    EXPECT_EQ(DeclaredEncoding(declared("GB2312", "")), "GB2312");
    EXPECT_EQ(DeclaredEncoding("<a/>"), "");
}

TEST_F(XmlFileTest, Utf8CatalogueWithAStrayByteKeepsItsChineseNames)
{
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- \xFF -->\n"
                             "<radios><city name=\"北京\"/></radios>";
    TiXmlDocument document;
    ReadXmlFile(&document, Write("stray.dll", text, true).c_str(), true);
    ASSERT_NE(document.RootElement(), nullptr);
    EXPECT_STREQ(document.RootElement()->FirstChildElement()->Attribute("name"), "北京");
}
