// The real player started over data files a user or a failed copy could
// leave behind: cut short, random bytes, empty, or missing. Each start shows
// the main window as usual, ends cleanly, and leaves every file exactly as
// it found it (a missing one stays missing).

#include "PlayerDesktop.h"

#include <signal.h>

#include <map>
#include <optional>
#include <random>

using namespace e2e;
namespace fs = std::filesystem;

namespace {

enum class Damage { CutShort, RandomBytes, Empty, Missing };

const char* const kDataFiles[] = {"config/config.xml", "config/fmradios.dll", "config/fmads.dll"};

struct TDamageCase
{
    const char* name;
    Damage damage;
};

void PrintTo(const TDamageCase& damageCase, std::ostream* stream)
{
    *stream << damageCase.name;
}

class CDataFilesTest : public CPlayerDesktopTest, public ::testing::WithParamInterface<TDamageCase>
{
protected:
    CDataFilesTest()
        : CPlayerDesktopTest(false)
    {
    }

    // Damages every data file of the run folder copy; answers what each
    // holds now ("" and absent for a missing one).
    std::map<std::string, std::optional<std::string>> DamageAll(Damage damage)
    {
        std::map<std::string, std::optional<std::string>> contents;
        std::mt19937 random(20240611);
        for (const char* relative : kDataFiles) {
            const fs::path path = runFolder.File(relative);
            const std::string whole = ReadBytes(path);
            std::string bytes;
            switch (damage) {
            case Damage::CutShort:
                // As an interrupted copy leaves it: the first part only.
                bytes = whole.substr(0, whole.size() / 2);
                break;
            case Damage::RandomBytes:
                bytes.resize(4096);
                for (char& byte : bytes)
                    byte = static_cast<char>(random() & 0xFF);
                break;
            case Damage::Empty:
                break;
            case Damage::Missing:
                fs::remove(path);
                contents[relative] = std::nullopt;
                continue;
            }
            WriteBytes(path, bytes);
            contents[relative] = bytes;
        }
        return contents;
    }
};

} // namespace

TEST_P(CDataFilesTest, StartsCleanlyAndLeavesTheFilesAsTheyWere)
{
    const auto before = DamageAll(GetParam().damage);
    ASSERT_TRUE(StartPlayer()) << player->Log();
    const auto geometry = session.Geometry(mainWindow);
    ASSERT_TRUE(geometry);
    EXPECT_EQ(geometry->width, kMainWidth);
    EXPECT_EQ(geometry->height, kMainHeight);

    // The window answers: its skin button opens the skin dialog, whose close
    // button closes it again, choosing nothing.
    ASSERT_TRUE(ClickIn(mainWindow, kMainSkinButton));
    const unsigned long skin = WaitForPlayerWindows(kSkinWidth, kSkinHeight);
    ASSERT_NE(skin, 0u) << "no skin dialog";
    ASSERT_TRUE(ClickIn(skin, kSkinCloseButton));
    EXPECT_TRUE(
        DesktopSession::WaitUntil([&] { return PlayerWindowsOfSize(kSkinWidth, kSkinHeight).empty(); }, 10s));
    player->Signal(SIGTERM);
    EXPECT_EQ(WaitForExit().Describe(), "exit 0") << player->Log();

    for (const auto& [relative, bytes] : before) {
        const fs::path path = runFolder.File(relative);
        if (!bytes) {
            EXPECT_FALSE(fs::exists(path)) << relative << " was written";
            continue;
        }
        EXPECT_EQ(ReadBytes(path), *bytes) << relative << " was changed";
    }
}

INSTANTIATE_TEST_SUITE_P(Damaged, CDataFilesTest,
                         ::testing::Values(TDamageCase{"CutShort", Damage::CutShort},
                                           TDamageCase{"RandomBytes", Damage::RandomBytes},
                                           TDamageCase{"Empty", Damage::Empty},
                                           TDamageCase{"Missing", Damage::Missing}),
                         [](const ::testing::TestParamInfo<TDamageCase>& info) { return std::string(info.param.name); });
