// The whole player by keyboard alone on a private desktop: no mouse event at
// all, only keys that xdotool presses into the focused main window. A region
// is reached by Shift+Tab and opened by Enter, a station reached by arrows
// and played by Enter (the Icecast fixture counts its listener), stopped and
// started again on the transport row, and the volume changed by keys is
// saved in the settings.

#include "PlayerDesktop.h"

#include "support/IcecastServer.h"

#include <tinyxml.h>

#include <thread>

using namespace e2e;

namespace {

class CKeyboardDesktopTest : public CPlayerWithoutTrayTest
{
protected:
    // Presses keys in the main window, one xdotool call per key, with a pause
    // that lets the window handle each one.
    bool Keys(const std::vector<std::string>& keys)
    {
        for (const std::string& key : keys) {
            if (!session.Key(mainWindow, key))
                return false;
            std::this_thread::sleep_for(150ms);
        }
        return true;
    }

    // The volume remembered in the settings file, -1 when none is.
    int SavedVolume() const
    {
        TiXmlDocument settings;
        const std::string bytes = ReadBytes(runFolder.File("config/config.xml"));
        settings.Parse(bytes.c_str());
        const TiXmlElement* root = settings.RootElement();
        const TiXmlElement* volume = root != nullptr ? root->FirstChildElement("volume") : nullptr;
        int value = -1;
        if (volume == nullptr || volume->QueryIntAttribute("value", &value) != TIXML_SUCCESS)
            return -1;
        return value;
    }
};

} // namespace

TEST_F(CKeyboardDesktopTest, ARegionOpensAStationPlaysStopsAndStartsAndTheVolumeIsSavedByKeysAlone)
{
    if (!IcecastServer::Available())
        GTEST_SKIP() << "icecast2 or ffmpeg is not installed";
    IcecastServer icecast;
    icecast.AddMount("/keys.mp3", MountFormat::Mp3);
    // One region whose third station is the fixture's; the others lead
    // nowhere, so only the station the keys chose can be heard.
    WriteCatalogue("<catalogue><city name=\"键盘\">"
                   "<station name=\"Dead One\" url=\"http://127.0.0.1:9/one\" style=\"S\"/>"
                   "<station name=\"Dead Two\" url=\"http://127.0.0.1:9/two\" style=\"S\"/>"
                   "<station name=\"Keys\" url=\"" +
                   icecast.Url("/keys.mp3") +
                   "\" style=\"S\"/></city><styles><style name=\"S\"/></styles></catalogue><version>1</version>");

    ASSERT_TRUE(StartPlayer()) << player->Log();
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(icecast.Listeners("/keys.mp3"), 0);

    // From nothing focused, backwards: the advertisement, the directory's
    // entry, then the category page's one stop (its first region). Enter
    // opens the region and the focus goes to its first station; two steps
    // right reach the third.
    ASSERT_TRUE(Keys({"shift+Tab", "shift+Tab", "shift+Tab", "Return"}));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(icecast.Listeners("/keys.mp3"), 0) << "opening the region played something";
    ASSERT_TRUE(Keys({"Right", "Right", "Return"}));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/keys.mp3") >= 1; }, 20s))
        << "Enter on the station did not play it\n"
        << player->Log();

    // Back from the stations over the page's back button and the volume to
    // the transport row: "pause" stops the stream, and the focus is then on
    // "play", which starts it again.
    ASSERT_TRUE(Keys({"shift+Tab", "shift+Tab", "shift+Tab", "shift+Tab", "Return"}));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/keys.mp3") == 0; }, 20s))
        << "Enter on pause did not stop the stream";
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(Keys({"Return"}));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return icecast.Listeners("/keys.mp3") >= 1; }, 20s))
        << "Enter on play did not start the stream again\n"
        << player->Log();

    // On to the volume: Home to silence, Page Up a tenth, two steps up.
    ASSERT_TRUE(Keys({"Tab", "Tab", "Home", "Prior", "Right", "Right"}));
    EXPECT_TRUE(DesktopSession::WaitUntil([&] { return SavedVolume() == 12; }, 10s))
        << "saved volume " << SavedVolume() << "\n"
        << ReadBytes(runFolder.File("config/config.xml"));
    EXPECT_TRUE(player->Running());
    EXPECT_GE(icecast.Listeners("/keys.mp3"), 1) << "the volume keys stopped the stream";
}
