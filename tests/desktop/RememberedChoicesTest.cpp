// The last station and the volume in the settings file: read at start
// (shown and chosen, never played), written beside "skin" when they change,
// with everything else in the file kept; and the user-folder layout, where
// the window reads and writes the user's files and never the shipped ones.

#include "app/RadioWndFixture.h"
#include "appearance/Settings.h"
#include "platform/desktop/FileLayout.h"
#include "platform/wmp/Wmp.h"

using namespace apptest;
using namespace std::chrono_literals;

namespace {

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream input(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

TiXmlDocument Parse(const std::string& xml)
{
    TiXmlDocument document;
    document.Parse(xml.c_str());
    return document;
}

} // namespace

class RememberedChoices : public CRadioWndTest
{
protected:
    void WriteSettings(const std::string& inner)
    {
        WriteFile(SettingsPath(), "<config><skin name=\"minBlue\" path=\"#\"/>" + inner +
                                      "<update server=\"http://127.0.0.1:9\"/></config>");
    }
    std::filesystem::path SettingsPath() const { return folder / "config" / "config.xml"; }
    std::string Settings() const { return ReadText(SettingsPath()); }

    int PlayerVolume() const
    {
        COM_LONG volume = -1;
        window->playerSettings->get_volume(&volume);
        return static_cast<int>(volume);
    }
    std::string PlayerUrl() const
    {
        BSTR url = nullptr;
        window->player->get_URL(&url);
        std::string text = BstrToUtf8(url);
        SysFreeString(url);
        return text;
    }
    void OpenRegion(int index)
    {
        CContainerUI* firstRow = AsContainer(Children(window->sortsPanel).at(1));
        ASSERT_NE(firstRow, nullptr);
        Notify(firstRow->GetItemAt(index), "click");
    }
};

TEST(RememberedSettings, ReadingBoundsAndRejects)
{
    struct Row
    {
        const char* xml;
        int volume;
    };
    const Row rows[] = {
        {"<config><volume value=\"35\"/></config>", 35},
        {"<config><volume value=\"0\"/></config>", 0},
        {"<config><volume value=\"150\"/></config>", 100},
        {"<config><volume value=\"-3\"/></config>", 0},
        {"<config><volume value=\"loud\"/></config>", -1},
        {"<config><volume value=\"\"/></config>", -1},
        {"<config><volume/></config>", -1},
        {"<config/>", -1},
        {"", -1},
    };
    for (const Row& row : rows) {
        const TiXmlDocument document = Parse(row.xml);
        EXPECT_EQ(ReadRememberedVolume(&document), row.volume) << row.xml;
    }

    CStdString name;
    CStdString url;
    TiXmlDocument station = Parse("<config><station name=\"A\" url=\"\"/></config>");
    EXPECT_FALSE(ReadRememberedStation(&station, name, url)) << "a station without a URL is none";
    station = Parse("<config><station url=\"http://h/\"/></config>");
    EXPECT_FALSE(ReadRememberedStation(&station, name, url));
    TiXmlDocument empty;
    EXPECT_FALSE(SetRememberedStation(&empty, "A", "http://h/")) << "no root, nothing to add to";
    EXPECT_FALSE(SetRememberedVolume(nullptr, 3));
}

TEST(RememberedSettings, ElementsGoRightAfterSkinAndNamesWithMarkupSurvive)
{
    TiXmlDocument document = Parse("<config><skin name=\"minLove\" path=\"#\"/><mine a=\"1\"/></config>");
    ASSERT_TRUE(SetRememberedStation(&document, "A&B <新闻> \"台\"", "http://h/a?x=1&y=2"));
    ASSERT_TRUE(SetRememberedVolume(&document, 64));
    const TiXmlElement* root = document.RootElement();
    std::vector<std::string> order;
    for (const TiXmlElement* child = root->FirstChildElement(); child != nullptr; child = child->NextSiblingElement())
        order.push_back(child->Value());
    EXPECT_EQ(order, (std::vector<std::string>{"skin", "volume", "station", "mine"}));

    TiXmlPrinter printer;
    document.Accept(&printer);
    const TiXmlDocument again = Parse(printer.CStr());
    CStdString name;
    CStdString url;
    ASSERT_TRUE(ReadRememberedStation(&again, name, url));
    EXPECT_EQ(name, "A&B <新闻> \"台\"");
    EXPECT_EQ(url, "http://h/a?x=1&y=2");
    EXPECT_EQ(ReadRememberedVolume(&again), 64);
}

TEST_F(RememberedChoices, StoredVolumeReachesSliderAndPlayer)
{
    WriteSettings("<volume value=\"35\"/>");
    Start();
    EXPECT_EQ(window->volumeSlider->GetValue(), 35);
    EXPECT_EQ(PlayerVolume(), 35);
}

TEST_F(RememberedChoices, WithoutStoredVolumeTheLayoutsValueStays)
{
    WriteSettings("");
    Start();
    EXPECT_EQ(window->volumeSlider->GetValue(), 80);
}

TEST_F(RememberedChoices, StoredStationIsShownAndSelectedButNothingPlaysUntilPlay)
{
    WriteCatalogue(MakeCatalogue(2, 3, 1));
    WriteSettings("<station name=\"R1-2\" url=\"http://127.0.0.1:9/1/2\"/>");
    Start();
    EXPECT_EQ(window->fmName->GetText(), "R1-2");
    PumpFor(300ms);
    EXPECT_EQ(PlayerUrl(), "") << "nothing plays by itself";

    OpenRegion(1);
    const int selected = Manager().GetGroupSelectedIndex("radios");
    ASSERT_EQ(selected, 2);
    Notify(window->playButton, "click");
    EXPECT_TRUE(PumpUntil([&] { return PlayerUrl() == "http://127.0.0.1:9/1/2"; }, 5s)) << PlayerUrl();
}

TEST_F(RememberedChoices, ChosenStationIsWrittenAndTheRestOfTheFileKept)
{
    WriteCatalogue(MakeCatalogue(1, 3, 1));
    WriteSettings("<extra keep=\"yes\">text</extra>");
    Start();
    OpenRegion(0);
    CStdPtrArray* group = Manager().GetOptionGroup("radios");
    ASSERT_NE(group, nullptr);
    Notify(static_cast<CControlUI*>(group->GetAt(1)), "dbclick");

    const TiXmlDocument saved = Parse(Settings());
    CStdString name;
    CStdString url;
    ASSERT_TRUE(ReadRememberedStation(&saved, name, url)) << Settings();
    EXPECT_EQ(name, "R0-1");
    EXPECT_EQ(url, "http://127.0.0.1:9/0/1");
    const TiXmlElement* skin = FindSkinElement(const_cast<TiXmlDocument*>(&saved));
    ASSERT_NE(skin, nullptr);
    EXPECT_STREQ(skin->Attribute("name"), "minBlue");
    EXPECT_NE(Settings().find("<extra keep=\"yes\">text</extra>"), std::string::npos);
    EXPECT_NE(Settings().find("<update server=\"http://127.0.0.1:9\""), std::string::npos);

    // A skin change later keeps the station.
    window->SaveSkinChoice(kChoiceLove, nullptr);
    const TiXmlDocument afterSkin = Parse(Settings());
    ASSERT_TRUE(ReadRememberedStation(&afterSkin, name, url));
    EXPECT_EQ(name, "R0-1");
}

TEST_F(RememberedChoices, VolumeIsWrittenOnceTheSliderRests)
{
    WriteSettings("");
    Start();
    for (int value : {70, 60, 55}) {
        window->volumeSlider->SetValue(value);
        Notify(window->volumeSlider, "valuechanging");
    }
    EXPECT_EQ(PlayerVolume(), 55);
    EXPECT_TRUE(PumpUntil(
        [&] {
            const TiXmlDocument saved = Parse(Settings());
            return ReadRememberedVolume(&saved) == 55;
        },
        5s))
        << Settings();
    EXPECT_FALSE(window->volumeSavePending);
}

TEST_F(RememberedChoices, VolumeStillWaitingIsWrittenWhenTheWindowGoes)
{
    WriteSettings("");
    Start();
    window->volumeSlider->SetValue(42);
    Notify(window->volumeSlider, "valuechanging");
    ::DestroyWindow(Hwnd());
    window = nullptr;
    const TiXmlDocument saved = Parse(Settings());
    EXPECT_EQ(ReadRememberedVolume(&saved), 42) << Settings();
}

TEST_F(RememberedChoices, SettingsFileThatDidNotParseIsNeverOverwritten)
{
    WriteCatalogue(MakeCatalogue(1, 2, 1));
    const std::string damaged = "<config><skin name=\"minBlue\" path=\"#\"><update server=\"http://127.0.0.1:9\"/>";
    WriteFile(SettingsPath(), damaged);
    Start();
    OpenRegion(0);
    Notify(static_cast<CControlUI*>(Manager().GetOptionGroup("radios")->GetAt(0)), "dbclick");
    window->volumeSlider->SetValue(10);
    Notify(window->volumeSlider, "valuechanging");
    ::DestroyWindow(Hwnd());
    window = nullptr;
    EXPECT_EQ(ReadText(SettingsPath()), damaged);
}

class UserFolderWindow : public RememberedChoices
{
protected:
    void TearDown() override
    {
        RememberedChoices::TearDown();
        ResetFileLayout();
    }
};

TEST_F(UserFolderWindow, ReadsAndWritesTheUsersFilesOnly)
{
    WriteCatalogue(MakeCatalogue(1, 2, 1));
    WriteSettings("");
    const std::string shippedSettings = Settings();
    const std::filesystem::path home = folder / "home";
    const TFileLayout layout = UserFoldersLayout(folder.string(), UserFoldersFrom(home.string().c_str(), nullptr,
                                                                                  nullptr, nullptr));
    ASSERT_TRUE(PrepareUserFolders(layout, [](const std::string&) { return 1; }));
    // The user's copy says something the shipped one does not.
    WriteFile(layout.settingsFile, "<config><skin name=\"minLove\" path=\"#\"/><volume value=\"25\"/>"
                                   "<update server=\"http://127.0.0.1:9\"/></config>");
    SetFileLayout(layout);

    Start();
    EXPECT_EQ(window->volumeSlider->GetValue(), 25);
    EXPECT_EQ(window->sortsPanel->GetCount() > 1, true) << "the catalogue came from the user's data folder";
    window->SaveSkinChoice(kChoiceBlue, nullptr);
    EXPECT_NE(ReadText(layout.settingsFile).find("minBlue"), std::string::npos);
    EXPECT_EQ(Settings(), shippedSettings);
    EXPECT_EQ(UpdateParams.catalogueFile, layout.catalogueFile.c_str());
    EXPECT_EQ(UpdateParams.adsFile, layout.adsFile.c_str());
    EXPECT_EQ(UpdateParams.cacheDir, layout.cacheFolder.c_str());
}
