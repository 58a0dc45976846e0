// The settings file with real files in a run folder of its own: the stored
// choice read at start-up, and the choice written back, atomically.

#include "app/RadioWndFixture.h"

#include "appearance/Settings.h"
#include "uilib/core/ImageInfo.h"

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>

using namespace apptest;

namespace {

const char kLove[] = "file='lovebk.jpg' xcentered='true' ycentered='true'";
const char kBlue[] = "file='bluebk.jpg' xcentered='true' ycentered='true'";
// What "mainframe" holds before the settings are read, in these tests.
const char kLayoutBackground[] = "file='layout.png'";

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// Attribute names of an element, in document order.
std::vector<std::string> AttributeNames(const TiXmlElement* element)
{
    std::vector<std::string> names;
    for (const TiXmlAttribute* a = element->FirstAttribute(); a != nullptr; a = a->Next())
        names.push_back(a->Name());
    return names;
}

class CSettingsTest : public CRadioWndTest
{
protected:
    std::filesystem::path SettingsPath() const { return folder / "config" / "config.xml"; }

    // An existing picture of the user's, outside the skin folder.
    std::filesystem::path UserPicture(const std::string& name)
    {
        const std::filesystem::path path = folder / "pictures" / name;
        std::filesystem::create_directories(path.parent_path());
        std::filesystem::copy_file(folder / "skin" / "bluebk.jpg", path,
                                   std::filesystem::copy_options::overwrite_existing);
        return path;
    }

    // Reads the settings again as start-up does, on a window whose layout
    // gave "mainframe" kLayoutBackground.
    void LoadAgain()
    {
        window->settingsDoc.reset();
        window->mainFrame->SetBkImage(kLayoutBackground);
        window->backgroundImage = kLayoutBackground;
        window->LoadSettings();
    }

    // The saved file, parsed.
    TiXmlDocument Saved() const
    {
        TiXmlDocument saved;
        saved.Parse(ReadText(SettingsPath()).c_str());
        return saved;
    }
};

// A main window that counts its repaints.
class CPaintCountingRadioWnd : public CRadioWnd
{
public:
    int paints = 0;

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        if (message == WM_PAINT)
            ++paints;
        return CRadioWnd::HandleMessage(message, wParam, lParam);
    }
};

} // namespace

TEST_F(CSettingsTest, StoredChoiceBecomesTheBackground)
{
    Start();
    ASSERT_NE(window->mainFrame, nullptr);
    const std::string picture = UserPicture("sea.jpg").string();
    const std::string pictureFolder = (folder / "pictures").string();
    const std::string gone = (folder / "pictures" / "deleted.jpg").string();

    struct TRow
    {
        std::string settings;
        std::string background;
    };
    const TRow rows[] = {
        {R"(<config><skin name="minBlue" path="#"/></config>)", kBlue},
        {R"(<config><skin name="minLove" path="#"/></config>)", kLove},
        {R"(<config><skin name="minDefine" path=")" + picture + R"("/></config>)",
         "file='" + picture + "' xcentered='true' ycentered='true'"},
        // A folder exists as well as a file does.
        {R"(<config><skin name="minDefine" path=")" + pictureFolder + R"("/></config>)",
         "file='" + pictureFolder + "' xcentered='true' ycentered='true'"},
        // A picture that has gone, a name that differs only in case, an
        // empty or unknown name, no name at all: the love picture.
        {R"(<config><skin name="minDefine" path=")" + gone + R"("/></config>)", kLove},
        {R"(<config><skin name="minDefine" path="#"/></config>)", kLove},
        {R"(<config><skin name="minDefine"/></config>)", kLove},
        {R"(<config><skin name="MinBlue" path="#"/></config>)", kLove},
        {R"(<config><skin name="minblue" path="#"/></config>)", kLove},
        {R"(<config><skin name="" path="#"/></config>)", kLove},
        {R"(<config><skin name="minSunset" path="#"/></config>)", kLove},
        {R"(<config><skin path="#"/></config>)", kLove},
        // The root's first "skin" child counts, wherever it stands among the
        // root's children, whatever the root is called.
        {R"(<?xml version="1.0"?><!-- c --><settings><update/><skin path="#" name="minBlue"/></settings>)", kBlue},
        {R"(<config><skin name="minBlue"/><skin name="minLove"/></config>)", kBlue},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.settings);
        WriteFile(SettingsPath(), row.settings);
        LoadAgain();
        EXPECT_EQ(window->backgroundImage, row.background.c_str());
        EXPECT_EQ(window->mainFrame->GetBkImage(), row.background.c_str());
    }
}

TEST_F(CSettingsTest, WithoutASkinElementTheLayoutsBackgroundStays)
{
    Start();
    const std::string rows[] = {
        R"(<config><update server="http://127.0.0.1:9"/></config>)",
        R"(<config><group><skin name="minBlue" path="#"/></group></config>)", // not a child of the root
        R"(<!-- only a comment -->)",
        "",
        "\xff\xfe not xml at all",
    };
    for (const std::string& settings : rows) {
        SCOPED_TRACE(settings);
        WriteFile(SettingsPath(), settings);
        LoadAgain();
        EXPECT_EQ(window->backgroundImage, kLayoutBackground);
        EXPECT_EQ(window->mainFrame->GetBkImage(), kLayoutBackground);
    }
    // No file at all.
    std::filesystem::remove(SettingsPath());
    LoadAgain();
    ASSERT_NE(window->settingsDoc, nullptr) << "an empty document all the same";
    EXPECT_EQ(window->settingsDoc->RootElement(), nullptr);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kLayoutBackground);
}

TEST_F(CSettingsTest, BlueSettingsShowTheBluePictureAtStartUp)
{
    WriteFile(SettingsPath(), R"(<config><skin name="minBlue" path="#"/></config>)");
    Start();
    EXPECT_EQ(window->backgroundImage, kBlue);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kBlue);
    // The fore image stays as the layout gave it.
    EXPECT_EQ(window->foreImage, window->mainFrame->GetForeImage());
}

TEST_F(CSettingsTest, ApostropheInAPicturesPathStillNamesThePicture)
{
    // The path goes into the description byte for byte; a single-quoted
    // value would end at the apostrophe, so it is double-quoted then.
    Start();
    const std::string picture = UserPicture("Tom's sea.jpg").string();
    WriteFile(SettingsPath(), "<config><skin name=\"minDefine\" path=\"" + picture + "\"/></config>");
    LoadAgain();
    EXPECT_EQ(window->backgroundImage, ("file=\"" + picture + "\" xcentered='true' ycentered='true'").c_str());
    TImageInfo image;
    ASSERT_TRUE(ParseImageInfo(window->backgroundImage, &image));
    EXPECT_EQ(image.file, picture.c_str());
    EXPECT_TRUE(image.xcentered);
    EXPECT_TRUE(image.ycentered);

    // Quotes of the other kind need no such care.
    const std::string quoted = UserPicture("the \"sea\".jpg").string();
    ASSERT_TRUE(ParseImageInfo(BackgroundDescription(kChoiceCustom, quoted.c_str()), &image));
    EXPECT_EQ(image.file, quoted.c_str());
    EXPECT_EQ(BackgroundDescription(kChoiceCustom, quoted.c_str()),
              ("file='" + quoted + "' xcentered='true' ycentered='true'").c_str());
}

TEST_F(CSettingsTest, AnEqualBackgroundIsNotSetAgain)
{
    // Set again, the same picture would only cost a repaint of the window.
    const std::string instancePath = folder.string() + "/";
    CPaintManagerUI::SetInstancePath(instancePath.c_str());
    CPaintManagerUI::SetResourcePath((instancePath + "skin/").c_str());
    auto* counting = new CPaintCountingRadioWnd();
    window = counting;
    window->Create(nullptr, "", WS_VISIBLE | WS_OVERLAPPEDWINDOW, 0, 0, 0, 0, 0, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return counting->paints > 0; }));
    PumpFor(std::chrono::milliseconds(50));

    WriteFile(SettingsPath(), R"(<config><skin name="minLove" path="#"/></config>)");
    window->settingsDoc.reset();
    window->mainFrame->SetBkImage(kLove);
    PumpFor(std::chrono::milliseconds(50));
    counting->paints = 0;
    window->LoadSettings();
    PumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(counting->paints, 0);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kLove);

    // A different one is set, and shows.
    WriteFile(SettingsPath(), R"(<config><skin name="minBlue" path="#"/></config>)");
    window->settingsDoc.reset();
    window->LoadSettings();
    EXPECT_TRUE(PumpUntil([&] { return counting->paints > 0; }));
    EXPECT_EQ(window->mainFrame->GetBkImage(), kBlue);
}

TEST_F(CSettingsTest, SavingKeepsEverythingElseAndAppendsAMissingPath)
{
    WriteFile(SettingsPath(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!-- kept -->\n"
              "<config version=\"3\">\n"
              "  <update server=\"http://127.0.0.1:9\"/>\n"
              "  <skin name=\"minBlue\"/>\n"
              "  <other a=\"1\" b=\"2\">text &amp; more</other>\n"
              "</config>\n");
    Start();
    window->SaveSkinChoice(kChoiceLove, nullptr);

    TiXmlDocument saved = Saved();
    ASSERT_FALSE(saved.Error()) << saved.ErrorDesc();
    ASSERT_NE(saved.FirstChild(), nullptr);
    EXPECT_NE(saved.FirstChild()->ToDeclaration(), nullptr);
    ASSERT_NE(saved.FirstChild()->NextSibling(), nullptr);
    ASSERT_NE(saved.FirstChild()->NextSibling()->ToComment(), nullptr);
    EXPECT_STREQ(saved.FirstChild()->NextSibling()->Value(), " kept ");
    TiXmlElement* root = saved.RootElement();
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(root->Attribute("version"), "3");
    const TiXmlElement* skin = root->FirstChildElement("skin");
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(AttributeNames(skin), (std::vector<std::string>{"name", "path"}));
    EXPECT_STREQ(skin->Attribute("name"), "minLove");
    EXPECT_STREQ(skin->Attribute("path"), "#");
    ASSERT_NE(root->FirstChildElement("update"), nullptr);
    EXPECT_STREQ(root->FirstChildElement("update")->Attribute("server"), "http://127.0.0.1:9");
    const TiXmlElement* other = root->FirstChildElement("other");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(AttributeNames(other), (std::vector<std::string>{"a", "b"}));
    EXPECT_STREQ(other->GetText(), "text & more");
    EXPECT_FALSE(std::filesystem::exists(SettingsPath().string() + ".part"));

    // An attribute before "name" keeps its place; "name" changes in place.
    WriteFile(SettingsPath(), R"(<config><skin theme="dark" name="minLove" extra="x"/></config>)");
    window->settingsDoc.reset();
    window->LoadSettings();
    window->SaveSkinChoice(kChoiceBlue, nullptr);
    saved = Saved();
    skin = saved.RootElement()->FirstChildElement("skin");
    EXPECT_EQ(AttributeNames(skin), (std::vector<std::string>{"theme", "name", "extra", "path"}));
    EXPECT_STREQ(skin->Attribute("name"), "minBlue");
}

TEST_F(CSettingsTest, PathsWithMarkupCharactersComeBackWhole)
{
    Start();
    const std::string picture = UserPicture("a&b <1> \"it's\".jpg").string();
    window->SaveSkinChoice(kChoiceCustom, picture.c_str());
    EXPECT_EQ(ReadText(SettingsPath()).find("<1>"), std::string::npos) << "escaped on the way out";

    LoadAgain();
    const TiXmlElement* skin = FindSkinElement(window->settingsDoc.get());
    ASSERT_NE(skin, nullptr);
    EXPECT_STREQ(skin->Attribute("name"), "minDefine");
    EXPECT_STREQ(skin->Attribute("path"), picture.c_str());
}

TEST_F(CSettingsTest, SavingWithoutAConfigFolderLeavesNothing)
{
    Start();
    std::filesystem::remove_all(folder / "config");
    window->SaveSkinChoice(kChoiceBlue, nullptr);
    EXPECT_FALSE(std::filesystem::exists(folder / "config"));

    // Without a "skin" element the document is written as it is: the choice
    // shows but is not remembered.
    std::filesystem::create_directories(folder / "config");
    WriteFile(SettingsPath(), R"(<config><update/></config>)");
    LoadAgain();
    window->SaveSkinChoice(kChoiceBlue, nullptr);
    TiXmlDocument saved = Saved();
    ASSERT_NE(saved.RootElement(), nullptr);
    EXPECT_EQ(saved.RootElement()->FirstChildElement("skin"), nullptr);
    EXPECT_NE(saved.RootElement()->FirstChildElement("update"), nullptr);

    // A file that was missing at start-up is written empty.
    std::filesystem::remove(SettingsPath());
    LoadAgain();
    window->SaveSkinChoice(kChoiceBlue, nullptr);
    EXPECT_TRUE(std::filesystem::exists(SettingsPath()));
    EXPECT_EQ(std::filesystem::file_size(SettingsPath()), 0u);
}

TEST_F(CSettingsTest, FailedSaveLeavesTheOldFileWhole)
{
    const std::string original = "<config>\n  <skin name=\"minBlue\" path=\"#\"/>\n  <keep/>\n</config>\n";
    WriteFile(SettingsPath(), original);
    Start();

    // Whatever lies beside the file under a fixed name is no obstacle: the
    // new text goes to a file of a name of its own.
    const std::filesystem::path part = SettingsPath().string() + ".part";
    std::filesystem::create_directories(part);
    window->SaveSkinChoice(kChoiceLove, nullptr);
    EXPECT_STREQ(Saved().RootElement()->FirstChildElement("skin")->Attribute("name"), "minLove");
    EXPECT_TRUE(std::filesystem::is_directory(part));
    std::filesystem::remove(part);
    WriteFile(SettingsPath(), original);

    // A config folder the user may not change: the save fails, reports it,
    // and the old file stays as it was with nothing beside it. (Root may
    // write anywhere, so the save runs as an ordinary user.)
    const std::filesystem::path config = SettingsPath().parent_path();
    std::filesystem::permissions(config, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::group_read | std::filesystem::perms::group_exec |
                                             std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    std::filesystem::permissions(folder, std::filesystem::perms::others_exec, std::filesystem::perm_options::add);
    const std::string path = SettingsPath().string();
    TiXmlDocument document;
    document.Parse(original.c_str());
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(2);
        ::_exit(SaveSettingsFile(document, path.c_str()) ? 1 : 0);
    }
    int status = -1;
    ::waitpid(child, &status, 0);
    std::filesystem::permissions(config, std::filesystem::perms::owner_all);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadText(SettingsPath()), original);
    for (const auto& entry : std::filesystem::directory_iterator(config))
        EXPECT_EQ(entry.path().filename().string().rfind(".config.xml", 0), std::string::npos) << entry.path();
}

TEST_F(CSettingsTest, SavingThroughALinkKeepsTheLinkAndTheFilesMode)
{
    const std::filesystem::path real = folder / "dotfiles" / "orvane.xml";
    std::filesystem::create_directories(real.parent_path());
    WriteFile(real, "<config><skin name=\"minBlue\" path=\"#\"/></config>");
    std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::remove(SettingsPath());
    std::filesystem::create_symlink(real, SettingsPath());
    Start();
    EXPECT_EQ(window->backgroundImage, kBlue);

    window->SaveSkinChoice(kChoiceLove, nullptr);
    EXPECT_TRUE(std::filesystem::is_symlink(SettingsPath()));
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_STREQ(Saved().RootElement()->FirstChildElement("skin")->Attribute("name"), "minLove");
}

TEST_F(CSettingsTest, AFileInTheHistoricalCodePageIsSavedAsUtf8AndSaysSo)
{
    // "北京" in GBK, in a file that declares GBK.
    WriteFile(SettingsPath(), "<?xml version=\"1.0\" encoding=\"GBK\"?>\n<config city=\"\xB1\xB1\xBE\xA9\">"
                              "<skin name=\"minBlue\" path=\"#\"/></config>");
    Start();
    EXPECT_EQ(window->backgroundImage, kBlue);
    window->SaveSkinChoice(kChoiceLove, nullptr);
    const std::string saved = ReadText(SettingsPath());
    EXPECT_NE(saved.find("encoding=\"UTF-8\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("city=\"北京\""), std::string::npos) << saved;

    // And the next start reads the same text back.
    LoadAgain();
    EXPECT_STREQ(window->settingsDoc->RootElement()->Attribute("city"), "北京");
    EXPECT_EQ(window->backgroundImage, kLove);
}

TEST_F(CSettingsTest, ADeeplyNestedFileIsRefusedAndNeverOverwritten)
{
    std::string deep = "<config><skin name=\"minBlue\" path=\"#\"/>";
    for (int i = 0; i < 50000; ++i)
        deep += "<x>";
    WriteFile(SettingsPath(), deep);
    Start();
    ASSERT_TRUE(window->settingsDoc->Error());
    EXPECT_EQ(window->settingsDoc->RootElement(), nullptr);
    window->SaveSkinChoice(kChoiceLove, nullptr);
    EXPECT_EQ(ReadText(SettingsPath()), deep);
}

TEST_F(CSettingsTest, AFileThatDidNotParseIsNeverOverwritten)
{
    // A hand edit with a slip: the choice still shows, the file keeps the
    // user's text for them to mend.
    const std::string broken = "<config>\n  <skin name=\"minBlue\" path=\"#\"/>\n  <update server=\"x\">\n</config>\n";
    WriteFile(SettingsPath(), broken);
    Start();
    ASSERT_TRUE(window->settingsDoc->Error());
    window->SetBackground(kLove);
    window->SaveSkinChoice(kChoiceLove, nullptr);
    EXPECT_EQ(ReadText(SettingsPath()), broken);
    EXPECT_EQ(window->mainFrame->GetBkImage(), kLove);
}

TEST_F(CSettingsTest, FileWithAByteOrderMarkIsReadAndSaved)
{
    WriteFile(SettingsPath(), "\xEF\xBB\xBF<config><skin name=\"minBlue\" path=\"#\"/></config>");
    Start();
    EXPECT_EQ(window->backgroundImage, kBlue);
    window->SaveSkinChoice(kChoiceLove, nullptr);
    TiXmlDocument saved = Saved();
    ASSERT_FALSE(saved.Error()) << saved.ErrorDesc();
    EXPECT_STREQ(saved.RootElement()->FirstChildElement("skin")->Attribute("name"), "minLove");
    EXPECT_EQ(ReadText(SettingsPath()).rfind("\xEF\xBB\xBF<config>", 0), 0u) << "the mark is written back";

    // A file without one gets none.
    WriteFile(SettingsPath(), "<config><skin name=\"minBlue\" path=\"#\"/></config>");
    LoadAgain();
    window->SaveSkinChoice(kChoiceLove, nullptr);
    EXPECT_EQ(ReadText(SettingsPath()).rfind("<config>", 0), 0u);
}
