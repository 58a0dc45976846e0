// Where each file lives: the XDG base folders, the data folder of a run
// folder and of an installed program, the choice between the portable and the
// user-folders layout, and the seeding of the user folders.

#include "platform/desktop/FileLayout.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;

namespace {

struct TempFolder
{
    TempFolder()
    {
        path = fs::temp_directory_path() /
               ("orvane-layout-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        fs::permissions(path, fs::perms::all, ignored);
        for (const auto& entry : fs::recursive_directory_iterator(path, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    fs::path path;
};

void Write(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path)
{
    std::ifstream input(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << input.rdbuf();
    return bytes.str();
}

// Catalogue versions as the test's files state them: "v<number>".
std::int32_t VersionOf(const std::string& path)
{
    const std::string text = Read(path);
    return text.size() > 1 && text[0] == 'v' ? std::stoi(text.substr(1)) : 0;
}

// The shipped files of a data folder.
void Ship(const fs::path& dataFolder, const std::string& catalogue)
{
    Write(dataFolder / "skin" / "Corvela.xml", "<Window/>");
    Write(dataFolder / "config" / "config.xml", "<config><skin name=\"minLove\" path=\"#\"/></config>");
    Write(dataFolder / "config" / "fmradios.dll", catalogue);
    Write(dataFolder / "config" / "fmads.dll", "ads");
}

} // namespace

TEST(UserFolders, VariablesCountOnlyWhenAbsolute)
{
    struct Row
    {
        const char* configHome;
        const char* dataHome;
        const char* cacheHome;
        const char* config;
        const char* data;
        const char* cache;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, "/home/u/.config", "/home/u/.local/share", "/home/u/.cache"},
        {"", "", "", "/home/u/.config", "/home/u/.local/share", "/home/u/.cache"},
        {"relative/c", "d", "./e", "/home/u/.config", "/home/u/.local/share", "/home/u/.cache"},
        {"/x/conf", "/x/data/", "/x/cache//", "/x/conf", "/x/data", "/x/cache"},
    };
    for (const Row& row : rows) {
        const TUserFolders folders = UserFoldersFrom("/home/u", row.configHome, row.dataHome, row.cacheHome);
        EXPECT_EQ(folders.configHome, row.config);
        EXPECT_EQ(folders.dataHome, row.data);
        EXPECT_EQ(folders.cacheHome, row.cache);
    }
    EXPECT_EQ(UserFoldersFrom("/home/u/", nullptr, nullptr, nullptr).configHome, "/home/u/.config");
}

TEST(UserFolders, LayoutNamesTheProgramsFolderInEachBase)
{
    const TFileLayout layout = UserFoldersLayout("/usr/share/orvane-radio", {"/c", "/d", "/k"});
    EXPECT_EQ(layout.kind, FileLayoutKind::UserFolders);
    EXPECT_EQ(layout.dataFolder, "/usr/share/orvane-radio/");
    EXPECT_EQ(layout.settingsFile, "/c/orvane-radio/config.xml");
    EXPECT_EQ(layout.catalogueFile, "/d/orvane-radio/fmradios.dll");
    EXPECT_EQ(layout.adsFile, "/d/orvane-radio/fmads.dll");
    EXPECT_EQ(layout.myStationsFile, "/d/orvane-radio/mystations.xml");
    EXPECT_EQ(layout.cacheFolder, "/k/orvane-radio");
}

TEST(DataFolder, RunFolderIsTheExecutablesOwn)
{
    TempFolder temp;
    Ship(temp.path / "run", "v1");
    EXPECT_EQ(FindDataFolder((temp.path / "run").string()), (temp.path / "run").string() + "/");
    EXPECT_EQ(FindDataFolder((temp.path / "run").string() + "/"), (temp.path / "run").string() + "/");
}

TEST(DataFolder, InstalledProgramFindsShareBesideBin)
{
    TempFolder temp;
    fs::create_directories(temp.path / "prefix" / "bin");
    Ship(temp.path / "prefix" / "share" / "orvane-radio", "v1");
    EXPECT_EQ(FindDataFolder((temp.path / "prefix" / "bin").string() + "/"),
              (temp.path / "prefix" / "share" / "orvane-radio").string() + "/");
}

TEST(DataFolder, NeitherLayoutKeepsTheExecutablesFolder)
{
    TempFolder temp;
    fs::create_directories(temp.path / "prefix" / "bin");
    // A share folder without a skin is not ours.
    fs::create_directories(temp.path / "prefix" / "share" / "orvane-radio");
    EXPECT_EQ(FindDataFolder((temp.path / "prefix" / "bin").string()), (temp.path / "prefix" / "bin").string() + "/");
}

TEST(ChooseLayout, WritableRunFolderStaysPortable)
{
    TempFolder temp;
    Ship(temp.path / "run", "v1");
    const std::string run = (temp.path / "run").string() + "/";
    const TFileLayout layout = ChooseFileLayout(run, run, {"/c", "/d", "/k"});
    EXPECT_EQ(layout.kind, FileLayoutKind::Portable);
    EXPECT_EQ(layout.settingsFile, run + "config/config.xml");
    EXPECT_EQ(layout.catalogueFile, run + "config/fmradios.dll");
    EXPECT_EQ(layout.adsFile, run + "config/fmads.dll");
    EXPECT_EQ(layout.myStationsFile, run + "config/mystations.xml");
    EXPECT_EQ(layout.cacheFolder, run + "cache");
}

TEST(ChooseLayout, InstalledProgramUsesUserFoldersEvenWhenItsFilesAreWritable)
{
    TempFolder temp;
    Ship(temp.path / "share" / "orvane-radio", "v1");
    const std::string data = (temp.path / "share" / "orvane-radio").string() + "/";
    const TFileLayout layout = ChooseFileLayout((temp.path / "bin").string() + "/", data, {"/c", "/d", "/k"});
    EXPECT_EQ(layout.kind, FileLayoutKind::UserFolders);
    EXPECT_EQ(layout.dataFolder, data);
    EXPECT_EQ(layout.settingsFile, "/c/orvane-radio/config.xml");
}

TEST(ChooseLayout, ReadOnlyRunFolderMovesToUserFolders)
{
    TempFolder temp;
    Ship(temp.path / "run", "v1");
    fs::permissions(temp.path, fs::perms::owner_all | fs::perms::others_exec | fs::perms::group_exec);
    fs::permissions(temp.path / "run", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                           fs::perms::others_exec);
    const std::string run = (temp.path / "run").string() + "/";
    // Root writes anywhere; the folder's mode speaks for every other user, so
    // the choice is made by a child that has become one.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        const TFileLayout layout = ChooseFileLayout(run, run, {"/c", "/d", "/k"});
        ::_exit(layout.kind == FileLayoutKind::UserFolders && layout.settingsFile == "/c/orvane-radio/config.xml" ? 0
                                                                                                             : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(ChooseLayout, ProcessLayoutFallsBackToThePortableOneOfTheInstancePath)
{
    ResetFileLayout();
    EXPECT_EQ(FileLayoutFor("/opt/run/").settingsFile, "/opt/run/config/config.xml");
    SetFileLayout(UserFoldersLayout("/usr/share/orvane-radio/", {"/c", "/d", "/k"}));
    EXPECT_EQ(FileLayoutFor("/opt/run/").settingsFile, "/c/orvane-radio/config.xml");
    ResetFileLayout();
    EXPECT_EQ(FileLayoutFor("/opt/run/").catalogueFile, "/opt/run/config/fmradios.dll");
}

class SeedUserFolders : public ::testing::Test
{
protected:
    void SetUp() override
    {
        data = temp.path / "share" / "orvane-radio";
        Ship(data, "v3");
        home = temp.path / "home";
        layout = UserFoldersLayout(data.string(), UserFoldersFrom(home.string().c_str(), nullptr, nullptr, nullptr));
    }

    TempFolder temp;
    fs::path data;
    fs::path home;
    TFileLayout layout;
};

TEST_F(SeedUserFolders, FirstStartCopiesEveryShippedFileAndMakesTheCache)
{
    ASSERT_TRUE(PrepareUserFolders(layout, VersionOf));
    EXPECT_EQ(Read(home / ".config" / "orvane-radio" / "config.xml"), Read(data / "config" / "config.xml"));
    EXPECT_EQ(Read(home / ".local" / "share" / "orvane-radio" / "fmradios.dll"), "v3");
    EXPECT_EQ(Read(home / ".local" / "share" / "orvane-radio" / "fmads.dll"), "ads");
    EXPECT_TRUE(fs::is_directory(home / ".cache" / "orvane-radio"));
    // The user's own stations are not seeded, though their folder is made.
    EXPECT_FALSE(fs::exists(layout.myStationsFile));
    EXPECT_TRUE(fs::is_directory(fs::path(layout.myStationsFile).parent_path()));
    // Nothing half-written is left beside the seeded files.
    for (const auto& entry : fs::recursive_directory_iterator(home))
        EXPECT_NE(entry.path().extension(), ".part") << entry.path();
}

TEST_F(SeedUserFolders, UsersOwnSettingsAndAdListAreKept)
{
    Write(layout.settingsFile, "<config><skin name=\"minBlue\" path=\"#\"/></config>");
    Write(layout.adsFile, "downloaded ads");
    ASSERT_TRUE(PrepareUserFolders(layout, VersionOf));
    EXPECT_EQ(Read(layout.settingsFile), "<config><skin name=\"minBlue\" path=\"#\"/></config>");
    EXPECT_EQ(Read(layout.adsFile), "downloaded ads");
}

TEST_F(SeedUserFolders, GreaterVersionOfShippedAndDownloadedCatalogueWins)
{
    struct Row
    {
        const char* downloaded;
        const char* kept;
    };
    const Row rows[] = {
        {"v2", "v3"},  // an upgraded package's catalogue replaces an older download
        {"v3", "v3"},  // equal: the download stays
        {"v9", "v9"},  // a newer download stays
        {"", "v3"},    // a download without a version is older than any
    };
    for (const Row& row : rows) {
        Write(layout.catalogueFile, row.downloaded);
        ASSERT_TRUE(PrepareUserFolders(layout, VersionOf));
        EXPECT_EQ(Read(layout.catalogueFile), row.kept) << row.downloaded;
    }
}

TEST_F(SeedUserFolders, SeededFilesAreWritableThoughTheShippedOnesAreNot)
{
    fs::permissions(data / "config" / "config.xml", fs::perms::owner_read | fs::perms::others_read);
    ASSERT_TRUE(PrepareUserFolders(layout, VersionOf));
    const fs::perms perms = fs::status(layout.settingsFile).permissions();
    EXPECT_NE(perms & fs::perms::owner_write, fs::perms::none);
}

TEST_F(SeedUserFolders, PortableLayoutIsLeftAlone)
{
    const TFileLayout portable = PortableLayout(data.string());
    ASSERT_TRUE(PrepareUserFolders(portable, VersionOf));
    EXPECT_FALSE(fs::exists(home));
}

TEST_F(SeedUserFolders, UnmakeableFolderIsReported)
{
    Write(home / ".config", "a file where the folder should be");
    EXPECT_FALSE(PrepareUserFolders(layout, VersionOf));
}
