// A station that moved, through the real main window and its real player:
// a station whose server answers 404 (a failure no reopening mends) is
// looked up in the directory imitation under its name; the offer in the
// now-playing card plays the new address on a click, counts it, and one of
// the user's own stations keeps it. Answers for a station the user left, or
// that know nothing new, show nothing.

#include "RadioWndFixture.h"

#include "catalogue/MyStations.h"
#include "support/DirectoryImitation.h"

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace apptest;
using namespace orvane::test;

namespace {

const char* const kMovedName = "香港电台第一台";
const char* const kUnknownName = "台北之音";
// The directory lists this one at our address, working: it did not move.
const char* const kListedName = "澳门电台";
const char* const kNewAddress = "http://127.0.0.1:9/moved.mp3";

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

class CMovedStationTest : public CRadioWndTest
{
protected:
    void SetUp() override
    {
        CRadioWndTest::SetUp();
        moved = MakeEntry(1, kMovedName, kNewAddress);
        TDirectoryEntry broken = MakeEntry(2, kMovedName, "http://127.0.0.1:9/broken.mp3");
        broken.lastCheckOk = 0;
        directory = std::make_unique<CDirectoryImitation>(
            std::vector<TDirectoryEntry>{broken, moved, MakeEntry(3, kListedName, Dead(kListedName))});
        WriteFile(folder / "config" / "config.xml",
                  "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/>"
                  "<directory server=\"" + directory->BaseUrl() + "\"/></config>");
        std::string stations;
        for (const char* name : {kMovedName, kUnknownName, kListedName})
            stations += std::string("<station name=\"") + name + "\" url=\"" + Dead(name) + "\" style=\"新闻\"/>";
        WriteCatalogue("<catalogue><city name=\"香港\">" + stations +
                       "</city><styles><style name=\"新闻\"/></styles></catalogue><version>1</version>");
    }

    // Every station of the catalogue plays from a server that has none:
    // "/0.mp3" for the first name, "/1.mp3" for the second, ...
    std::string Dead(const std::string& name) const
    {
        const std::vector<std::string> names = {kMovedName, kUnknownName, kListedName};
        const auto found = std::find(names.begin(), names.end(), name);
        return gone.Url("/" + std::to_string(found - names.begin()) + ".mp3");
    }

    // Double-clicks the station of that name on the page shown.
    void Choose(const std::string& name)
    {
        CStdPtrArray* group = Manager().GetOptionGroup("radios");
        for (int i = 0; group != nullptr && i < group->GetSize(); ++i) {
            auto* option = static_cast<CControlUI*>(group->GetAt(i));
            if (option->GetText() == name.c_str())
                return Notify(option, "dbclick");
        }
        ADD_FAILURE() << "no station " << name << " on the page";
    }

    // Pumps until the window has handled `count` more answers of the directory.
    bool HandleAnswers(int count)
    {
        int handled = 0;
        return PumpUntil([&] { return handled >= count; }, std::chrono::seconds(20), [&](const MSG& message) {
            handled += message.message == WM_DIRECTORY_RESULT ? 1 : 0;
        });
    }

    CControlUI* OfferButton() const { return Manager().FindControl("healbtn"); }
    bool OfferShown() const
    {
        CControlUI* row = Manager().FindControl("healrow");
        return OfferButton() != nullptr && row != nullptr && OfferButton()->IsVisible() && row->IsVisible() &&
               !window->fmTitle->IsVisible();
    }

    std::filesystem::path MinePath() const { return folder / "config" / "mystations.xml"; }

    LocalHttpServer gone;
    TDirectoryEntry moved;
    std::unique_ptr<CDirectoryImitation> directory;
};

// Where the moved station was chosen: the catalogue's page, or the page of
// the user's own stations (added by hand, or kept from the directory).
struct TTakenRow
{
    const char* label;
    bool mine;
    const char* keptUuid;
};
void PrintTo(const TTakenRow& row, std::ostream* out) { *out << row.label; }

class CMovedStationTaken : public CMovedStationTest, public testing::WithParamInterface<TTakenRow>
{
};

TEST_P(CMovedStationTaken, OfferAppearsAfterTheFailureAndItsClickPlaysTheNewAddress)
{
    const TTakenRow& row = GetParam();
    if (row.mine) {
        CMyStations mine;
        mine.Load(MinePath().string());
        ASSERT_TRUE(mine.Add({kMovedName, Dead(kMovedName), row.keptUuid, false}));
        ASSERT_TRUE(mine.Save());
    }
    ASSERT_NE(Start(), nullptr);
    ASSERT_NE(OfferButton(), nullptr);
    EXPECT_FALSE(OfferShown());
    if (row.mine)
        window->ShowMyStations();
    else
        window->ShowRegionStations("香港");
    Choose(kMovedName);

    ASSERT_TRUE(HandleAnswers(1)) << "no lookup answered";
    ASSERT_TRUE(OfferShown());
    EXPECT_EQ(std::string(OfferButton()->GetText().GetData()), "找到新的电台地址，点击收听");
    EXPECT_EQ(std::string(OfferButton()->GetToolTip().GetData()), kNewAddress);
    // The failure stays said; the lookup asked by the exact name, broken
    // stations hidden; nothing changed without a click.
    EXPECT_FALSE(window->failureText.IsEmpty());
    EXPECT_EQ(std::string(window->statusLabel->GetText().GetData()), window->failureText.GetData());
    const std::vector<TDirectoryRequestLog> log = directory->Log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().parameters.at("name"), kMovedName);
    EXPECT_EQ(log.back().parameters.at("nameExact"), "true");
    EXPECT_EQ(log.back().parameters.at("hidebroken"), "true");
    EXPECT_EQ(std::string(window->currentStationUrl.GetData()), Dead(kMovedName));
    const std::string before = std::filesystem::exists(MinePath()) ? ReadText(MinePath()) : "";

    Notify(OfferButton(), "click");
    EXPECT_FALSE(OfferShown());
    EXPECT_TRUE(window->fmTitle->IsVisible());
    EXPECT_EQ(std::string(window->currentStationUrl.GetData()), kNewAddress);
    EXPECT_EQ(std::string(window->currentStationName.GetData()), kMovedName);
    EXPECT_EQ(std::string(window->fmName->GetText().GetData()), kMovedName);
    EXPECT_TRUE(directory->WaitFor("/json/url/" + moved.uuid, 1, std::chrono::seconds(10)));

    CMyStations saved;
    saved.Load(MinePath().string());
    if (!row.mine) {
        EXPECT_EQ(before, "");
        EXPECT_TRUE(saved.Empty()) << "a catalogue station is not added to the user's own";
        return;
    }
    EXPECT_NE(before.find(Dead(kMovedName)), std::string::npos);
    ASSERT_EQ(saved.Stations().size(), 1u);
    EXPECT_EQ(saved.Stations()[0].name, kMovedName);
    EXPECT_EQ(saved.Stations()[0].url, kNewAddress);
    EXPECT_EQ(saved.Stations()[0].uuid, *row.keptUuid != '\0' ? moved.uuid : "");
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CMovedStationTaken,
    testing::Values(TTakenRow{"Catalogue", false, ""}, TTakenRow{"MineByHand", true, ""},
                    TTakenRow{"MineFromDirectory", true, "0c0a9f1e-0000-0000-0000-000000000001"}),
    [](const testing::TestParamInfo<TTakenRow>& info) { return info.param.label; });

// Answers that say nothing new, and answers that come after the user moved on.
struct TNoOfferRow
{
    const char* label;
    const char* name;
    EDirectoryFault fault;
    // What the user does while the (slow) answer is on its way: "" nothing,
    // else the station chosen next or "pause".
    const char* meanwhile;
    int answers;
};
void PrintTo(const TNoOfferRow& row, std::ostream* out) { *out << row.label; }

class CMovedStationNoOffer : public CMovedStationTest, public testing::WithParamInterface<TNoOfferRow>
{
};

TEST_P(CMovedStationNoOffer, NothingIsOffered)
{
    const TNoOfferRow& row = GetParam();
    const std::string meanwhile = row.meanwhile;
    if (!meanwhile.empty()) {
        directory->SetSlowDelay(std::chrono::milliseconds(500));
        directory->SetFault(EDirectoryFault::Slow, "/json/stations/search");
    } else {
        directory->SetFault(row.fault);
    }
    ASSERT_NE(Start(), nullptr);
    window->ShowRegionStations("香港");
    Choose(row.name);
    if (meanwhile == "pause") {
        ASSERT_TRUE(PumpUntil([&] { return directory->Count("/json/stations/search") == 1; }));
        Notify(window->pauseButton, "click");
    } else if (!meanwhile.empty()) {
        ASSERT_TRUE(PumpUntil([&] { return directory->Count("/json/stations/search") == 1; }));
        Choose(meanwhile);
    }
    ASSERT_TRUE(HandleAnswers(row.answers));
    EXPECT_FALSE(OfferShown());
    EXPECT_TRUE(window->fmTitle->IsVisible());
    EXPECT_EQ(std::string(window->fmName->GetText().GetData()), meanwhile.empty() || meanwhile == "pause"
                                                                      ? row.name
                                                                      : meanwhile);
    if (meanwhile.empty()) {
        EXPECT_FALSE(window->failureText.IsEmpty()) << "the failure is still what the status line says";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, CMovedStationNoOffer,
    testing::Values(TNoOfferRow{"NameUnknown", kUnknownName, EDirectoryFault::None, "", 1},
                    TNoOfferRow{"OurAddressStillListed", kListedName, EDirectoryFault::None, "", 1},
                    TNoOfferRow{"DirectoryUnreachable", kMovedName, EDirectoryFault::HtmlUnavailable, "", 1},
                    // Both the left station's answer and the next one's come.
                    TNoOfferRow{"AnotherStationChosen", kMovedName, EDirectoryFault::None, kUnknownName, 2},
                    TNoOfferRow{"PausedMeanwhile", kMovedName, EDirectoryFault::None, "pause", 1}),
    [](const testing::TestParamInfo<TNoOfferRow>& info) { return info.param.label; });

} // namespace
