// The update worker's own pieces that need no window: where the server is
// and how a checked download is put in place.

#include "UpdateWorkerFixture.h"

using namespace updatetest;
namespace fs = std::filesystem;

TEST(UpdateServer, ComesFromTheSettingsAndFallsBackForAnythingButAWebAddress)
{
    struct TRow
    {
        const char* settings;
        const char* server;
    };
    const TRow rows[] = {
        {"<config><update server=\"http://127.0.0.1:8750\"/></config>", "http://127.0.0.1:8750"},
        {"<config><update server=\"https://example.org/radio//\"/></config>", "https://example.org/radio"},
        {"<config><skin/><update server=\"HTTP://Host\"/></config>", "HTTP://Host"},
        {"<config><update server=\"file:///etc\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"http://\"/></config>", kDefaultUpdateServer},
        // A host of one letter is a host, not a missing one.
        {"<config><update server=\"http://a\"/></config>", "http://a"},
        {"<config><update server=\"https://b/\"/></config>", "https://b"},
        {"<config><update server=\"http://a:8750\"/></config>", "http://a:8750"},
        {"<config><update server=\"http://u@a\"/></config>", "http://u@a"},
        {"<config><update server=\"http://[::1]:8750\"/></config>", "http://[::1]:8750"},
        // A port, a user or a path alone names no host.
        {"<config><update server=\"http://:8750\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"http://u@\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"http:///update\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"https://?q\"/></config>", kDefaultUpdateServer},
        {"<config><update server=\"http://[]\"/></config>", kDefaultUpdateServer},
        {"<config><update/></config>", kDefaultUpdateServer},
        {"<config/>", kDefaultUpdateServer},
        {"", kDefaultUpdateServer},
    };
    for (const TRow& row : rows) {
        TiXmlDocument settings;
        settings.Parse(row.settings);
        EXPECT_EQ(ReadUpdateServer(&settings), row.server) << row.settings;
    }
    EXPECT_EQ(ReadUpdateServer(nullptr), kDefaultUpdateServer);
}

TEST(InstallFile, ReplacesTheTargetWholeOrNotAtAll)
{
    const fs::path folder = fs::temp_directory_path() / ("orvane-install-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
    const fs::path source = folder / "new.dll";
    const fs::path target = folder / "installed.dll";
    std::string body(200000, '\0');
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<char>(i * 31 % 251);
    WriteFile(source, body);
    WriteFile(target, "old");

    EXPECT_TRUE(InstallFile(source.c_str(), target.c_str()));
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_EQ(ReadFile(source), body);

    // A missing source, or a target where no file can be written, leaves the
    // target as it was and nothing beside it.
    EXPECT_FALSE(InstallFile((folder / "missing.dll").c_str(), target.c_str()));
    EXPECT_EQ(ReadFile(target), body);
    EXPECT_FALSE(InstallFile(source.c_str(), (folder / "no-folder" / "x.dll").c_str()));
    fs::create_directories(folder / "a-folder");
    EXPECT_FALSE(InstallFile(source.c_str(), (folder / "a-folder").c_str()));
    EXPECT_TRUE(fs::is_directory(folder / "a-folder"));
    EXPECT_FALSE(fs::exists(folder / "a-folder.part"));
    EXPECT_EQ(FilesIn(folder), std::vector<std::string>({"a-folder", "installed.dll", "new.dll"}));
    fs::remove_all(folder);
}

TEST(InstallFile, ReplacesTheFileALinkPointsToAndKeepsItsMode)
{
    const fs::path folder = fs::temp_directory_path() / ("orvane-install-link-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder / "real");
    WriteFile(folder / "new.dll", "new");
    WriteFile(folder / "real" / "fmradios.dll", "old");
    fs::permissions(folder / "real" / "fmradios.dll", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real/fmradios.dll", folder / "fmradios.dll");

    EXPECT_TRUE(InstallFile((folder / "new.dll").c_str(), (folder / "fmradios.dll").c_str()));
    EXPECT_TRUE(fs::is_symlink(folder / "fmradios.dll"));
    EXPECT_EQ(ReadFile(folder / "real" / "fmradios.dll"), "new");
    EXPECT_EQ(fs::status(folder / "real" / "fmradios.dll").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(FilesIn(folder / "real"), std::vector<std::string>({"fmradios.dll"}));
    fs::remove_all(folder);
}
