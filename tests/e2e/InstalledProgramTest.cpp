// The program as a package installs it: `cmake --install` into a prefix of
// the test's own, the layout checked, the prefix made read-only, and the
// installed program started from its desktop entry's Exec line as a user who
// cannot write it, with a home, an X server and a session bus of its own.
// The background and the volume changed in one run are there in the next,
// and every file the program wrote is in that user's XDG folders.

#include "support/DesktopSession.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

using namespace desktoptest;
namespace fs = std::filesystem;

namespace {

constexpr const char* kTitle = "Orvane网络收音机";
constexpr const char* kUser = "nobody";
constexpr const char* kAppId = "org.orvane.Radio";
// Points of the main window (600 by 640 px) and of the skin dialog (360 by
// 200 px, centred over it), from their layouts, in main-window pixels.
constexpr int kSkinButtonX = 600 - 10 - 24 - 6 - 12;
constexpr int kSkinButtonY = 20;
constexpr int kDialogX = (600 - 360) / 2;
constexpr int kDialogY = (640 - 200) / 2;
constexpr int kBlueOptionX = kDialogX + 20 + 96 + 16 + 48;
constexpr int kBlueOptionY = kDialogY + 36 + 16 + 60;
constexpr int kDialogCloseX = kDialogX + 360 - 8 - 12;
constexpr int kDialogCloseY = kDialogY + 18;
// A point of the main window where its background shows: the strip below
// the caption band, left of the now-playing card.
constexpr int kBackgroundX = 4;
constexpr int kBackgroundY = 44;

// Width and height of a PNG file, from its header.
std::pair<int, int> PngSize(const std::string& path)
{
    const std::string bytes = ReadFile(path);
    if (bytes.size() < 24 || bytes.compare(1, 3, "PNG") != 0)
        return {0, 0};
    auto word = [&](std::size_t at) {
        return (static_cast<unsigned char>(bytes[at]) << 24) | (static_cast<unsigned char>(bytes[at + 1]) << 16) |
               (static_cast<unsigned char>(bytes[at + 2]) << 8) | static_cast<unsigned char>(bytes[at + 3]);
    };
    return {static_cast<int>(word(16)), static_cast<int>(word(20))};
}

// The value of a key of the desktop entry's main group.
std::string DesktopEntryValue(const std::string& path, const std::string& key)
{
    std::ifstream input(path);
    for (std::string line; std::getline(input, line);) {
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    }
    return {};
}

void Own(const fs::path& path, uid_t uid, gid_t gid)
{
    ASSERT_EQ(::chown(path.c_str(), uid, gid), 0) << path;
}

// Every entry under `folder`, made read-only for everyone.
void MakeReadOnly(const fs::path& folder)
{
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
    const fs::perms exec = fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const bool executable = entry.is_directory() || (entry.status().permissions() & fs::perms::owner_exec) !=
                                                            fs::perms::none;
        fs::permissions(entry.path(), readOnly | (executable ? exec : fs::perms::none));
    }
    fs::permissions(folder, readOnly | exec);
}

class InstalledProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::geteuid(), 0u) << "the test installs and then runs as another user";
        const passwd* account = ::getpwnam(kUser);
        ASSERT_NE(account, nullptr);
        uid = account->pw_uid;
        gid = account->pw_gid;

        root = MakeTemporaryFolder("orvane-install");
        fs::permissions(root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        prefix = root + "/prefix";
        home = root + "/home";
        runtime = root + "/runtime";
        for (const std::string& folder : {home, runtime}) {
            fs::create_directories(folder);
            fs::permissions(folder, fs::perms::owner_all);
            Own(folder, uid, gid);
        }
    }

    void TearDown() override
    {
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(root, ignored))
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
        RemoveFolder(root);
    }

    void Install()
    {
        // The install script run from the test's own folder, which is where
        // it writes its manifest: installs of tests running side by side
        // never share a file.
        const TToolResult install = RunTool({"/usr/bin/env", "--chdir=" + root, "cmake",
                                             "-DCMAKE_INSTALL_PREFIX=" + prefix, "-P",
                                             ORVANE_BINARY_DIR "/cmake_install.cmake"},
                                            {}, 110s);
        ASSERT_EQ(install.exitCode, 0) << install.output;
    }

    Environment UserSession(const std::string& display, const std::string& bus) const
    {
        Environment session{{"HOME", home},
                {"USER", kUser},
                {"PATH", prefix + "/bin:/usr/bin:/bin"},
                {"DISPLAY", display},
                {"QT_QPA_PLATFORM", "xcb"},
                {"ORVANE_AUDIO_SINK", "fakesink"},
                {"XDG_RUNTIME_DIR", runtime},
                {"DBUS_SESSION_BUS_ADDRESS", bus}};
        // Under the sanitizers the leak suppressions must be readable by the
        // user the program runs as: a copy in the test's folder.
        const char* leakOptions = std::getenv("LSAN_OPTIONS");
        const std::string options = leakOptions != nullptr ? leakOptions : "";
        const auto at = options.find("suppressions=");
        if (at != std::string::npos) {
            const auto end = options.find(':', at);
            const std::string file = options.substr(at + 13, end == std::string::npos ? std::string::npos : end - at - 13);
            const std::string copy = root + "/lsan.supp";
            WriteFile(copy, ReadFile(file));
            fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
            session["LSAN_OPTIONS"] = options.substr(0, at) + "suppressions=" + copy +
                                      (end == std::string::npos ? std::string() : options.substr(end));
        }
        return session;
    }

    TToolResult AsUser(const std::vector<std::string>& argv, const std::string& bus) const
    {
        return RunTool(argv, {{"DBUS_SESSION_BUS_ADDRESS", bus}, {"HOME", home}}, 10s, {}, kUser);
    }

    std::string root;
    std::string prefix;
    std::string home;
    std::string runtime;
    uid_t uid = 0;
    gid_t gid = 0;
};

} // namespace

TEST_F(InstalledProgram, InstallLaysOutProgramDataEntryIconsAndMetainfo)
{
    Install();
    const std::string share = prefix + "/share";
    for (const std::string& file :
         {prefix + "/bin/orvane-radio", share + "/orvane-radio/skin/Corvela.xml",
          share + "/orvane-radio/skin/aboutDlg.xml", share + "/orvane-radio/config/config.xml",
          share + "/orvane-radio/config/fmradios.dll", share + "/orvane-radio/config/fmads.dll",
          share + "/orvane-radio/config/offline/orvane-offline.ogg",
          share + "/applications/" + kAppId + ".desktop", share + "/metainfo/" + kAppId + ".metainfo.xml",
          share + "/icons/hicolor/scalable/apps/" + kAppId + ".svg", share + "/doc/orvane-radio/copyright",
          share + "/man/man1/orvane-radio.1.gz"})
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const std::string icon =
            share + "/icons/hicolor/" + std::to_string(size) + "x" + std::to_string(size) + "/apps/" + kAppId + ".png";
        EXPECT_EQ(PngSize(icon), std::make_pair(size, size)) << icon;
    }
    // The settings file as shipped, never a developer's run folder copy.
    EXPECT_EQ(ReadFile(share + "/orvane-radio/config/config.xml"), ReadFile(ORVANE_SOURCE_DIR "/config/config.xml"));

    const std::string entry = share + "/applications/" + std::string(kAppId) + ".desktop";
    EXPECT_EQ(DesktopEntryValue(entry, "Name[zh_CN]"), kTitle);
    EXPECT_FALSE(DesktopEntryValue(entry, "Name").empty());
    EXPECT_EQ(DesktopEntryValue(entry, "Categories"), "AudioVideo;Audio;Player;");
    EXPECT_EQ(DesktopEntryValue(entry, "Icon"), kAppId);
    // Playlists open with the program; web links stay the browser's.
    EXPECT_EQ(DesktopEntryValue(entry, "MimeType"),
              "audio/x-mpegurl;audio/x-scpls;application/vnd.apple.mpegurl;application/xspf+xml;");

    const TToolResult desktop = RunTool({"desktop-file-validate", entry});
    EXPECT_EQ(desktop.exitCode, 0) << desktop.output;
    EXPECT_EQ(desktop.output, "");
    const TToolResult metainfo =
        RunTool({"appstreamcli", "validate", "--no-net", "--explain",
                 share + "/metainfo/" + std::string(kAppId) + ".metainfo.xml"},
                {}, 60s);
    EXPECT_EQ(metainfo.exitCode, 0) << metainfo.output;
}

TEST_F(InstalledProgram, ReadOnlyInstallRemembersBackgroundAndVolumeInTheUsersFolders)
{
    Install();
    MakeReadOnly(prefix);
    // The user's own settings only point the update worker at a port where
    // nothing listens; the rest is seeded from the installed files.
    const std::string settings = home + "/.config/orvane-radio/config.xml";
    WriteFile(settings, "<config><skin name=\"minLove\" path=\"#\"/><update server=\"http://127.0.0.1:9\"/></config>");
    for (const fs::path& made : {fs::path(home) / ".config", fs::path(home) / ".config" / "orvane-radio",
                                 fs::path(settings)})
        Own(made, uid, gid);

    CVirtualDisplay display;
    ASSERT_FALSE(display.Name().empty());
    CPrivateSessionBus bus(kUser);
    ASSERT_TRUE(bus.Started());
    const std::string entry = prefix + "/share/applications/" + std::string(kAppId) + ".desktop";
    // Started as a launcher starts it with no file: the field code goes.
    const std::string execLine = DesktopEntryValue(entry, "Exec");
    ASSERT_EQ(execLine, "orvane-radio %U");
    const std::string exec = execLine.substr(0, execLine.find(' '));

    auto startProgram = [&] {
        return std::make_unique<CChildProcess>(std::vector<std::string>{exec},
                                               UserSession(display.Name(), bus.Address()), kUser);
    };
    auto waitForWindow = [&](int& x, int& y) {
        std::string window;
        int width = 0, height = 0;
        return WaitUntil([&] { return !(window = display.VisibleWindow(kTitle)).empty(); }, 20s) &&
               display.Geometry(window, x, y, width, height);
    };
    auto playerctl = [&](const std::vector<std::string>& arguments) {
        std::vector<std::string> argv{"/usr/bin/playerctl", "--player=orvane_radio"};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return AsUser(argv, bus.Address());
    };
    auto quit = [&](CChildProcess& program) {
        const TToolResult sent = AsUser({"/usr/bin/dbus-send", "--session", "--print-reply",
                                         "--dest=org.mpris.MediaPlayer2.orvane_radio", "/org/mpris/MediaPlayer2",
                                         "org.mpris.MediaPlayer2.Quit"},
                                        bus.Address());
        EXPECT_EQ(sent.exitCode, 0) << sent.output;
        EXPECT_EQ(program.Wait(20s), 0) << program.Output();
    };

    // First run: the warm background; change it to the blue one, and the
    // volume to 30 %.
    std::unique_ptr<CChildProcess> program = startProgram();
    int x = 0, y = 0;
    ASSERT_TRUE(waitForWindow(x, y)) << program->Output();
    ASSERT_TRUE(WaitUntil([&] { return playerctl({"status"}).exitCode == 0; }, 20s)) << program->Output();
    display.Screenshot(ORVANE_BINARY_DIR "/tests/e2e/installed-first-run.png");
    const std::string warm = display.Pixel(x + kBackgroundX, y + kBackgroundY);

    EXPECT_EQ(playerctl({"volume", "0.3"}).exitCode, 0);
    display.Click(x + kSkinButtonX, y + kSkinButtonY);
    EXPECT_TRUE(WaitUntil(
        [&] {
            display.Click(x + kBlueOptionX, y + kBlueOptionY);
            return ReadFile(settings).find("minBlue") != std::string::npos;
        },
        20s))
        << ReadFile(settings);
    display.Click(x + kDialogCloseX, y + kDialogCloseY);
    quit(*program);

    const std::string saved = ReadFile(settings);
    EXPECT_NE(saved.find("<skin name=\"minBlue\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("<volume value=\"30\""), std::string::npos) << saved;
    EXPECT_NE(saved.find("<update server=\"http://127.0.0.1:9\""), std::string::npos) << saved;
    const std::string data = home + "/.local/share/orvane-radio/";
    EXPECT_EQ(ReadFile(data + "fmradios.dll"), ReadFile(prefix + "/share/orvane-radio/config/fmradios.dll"));
    EXPECT_EQ(ReadFile(data + "fmads.dll"), ReadFile(prefix + "/share/orvane-radio/config/fmads.dll"));
    EXPECT_TRUE(fs::is_directory(home + "/.cache/orvane-radio"));
    struct stat status = {};
    ASSERT_EQ(::stat(settings.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, uid);
    for (const auto& entry : fs::recursive_directory_iterator(prefix))
        EXPECT_NE(entry.path().extension(), ".part") << entry.path();

    // Second run: both remembered.
    program = startProgram();
    ASSERT_TRUE(waitForWindow(x, y)) << program->Output();
    ASSERT_TRUE(WaitUntil([&] { return playerctl({"status"}).exitCode == 0; }, 20s)) << program->Output();
    EXPECT_EQ(playerctl({"volume"}).output, "0.300000");
    display.Screenshot(ORVANE_BINARY_DIR "/tests/e2e/installed-second-run.png");
    const std::string blue = display.Pixel(x + kBackgroundX, y + kBackgroundY);
    EXPECT_NE(blue, warm) << "the blue background is back";
    quit(*program);
}

TEST(DebianPackage, BuildsWithLibraryDependenciesAndLintianFindsNoError)
{
    const std::string folder = MakeTemporaryFolder("orvane-package");
    const TToolResult cpack = RunTool({"cpack", "-G", "DEB", "--config", ORVANE_BINARY_DIR "/CPackConfig.cmake", "-B",
                                       folder},
                                      {}, 110s);
    ASSERT_EQ(cpack.exitCode, 0) << cpack.output;
    std::string package;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().extension() == ".deb")
            package = entry.path().string();
    }
    ASSERT_FALSE(package.empty()) << cpack.output;

    const TToolResult depends = RunTool({"dpkg-deb", "--field", package, "Depends"});
    // From the binary's libraries, beside the plugins named by hand.
    for (const char* library : {"libqt6widgets6", "libqt6dbus6", "libgstreamer1.0-0", "libcurl", "libtinyxml2.6.2v5",
                                "libc6", "gstreamer1.0-plugins-good"})
        EXPECT_NE(depends.output.find(library), std::string::npos) << library << " in " << depends.output;
    const TToolResult contents = RunTool({"dpkg-deb", "--contents", package});
    for (const char* file : {"./usr/bin/orvane-radio", "./usr/share/applications/org.orvane.Radio.desktop",
                             "./usr/share/orvane-radio/skin/Corvela.xml",
                             "./usr/share/icons/hicolor/256x256/apps/org.orvane.Radio.png"})
        EXPECT_NE(contents.output.find(file), std::string::npos) << file;

    const TToolResult lintian = RunTool({"lintian", "--fail-on", "error", "--tag-display-limit", "0", package}, {}, 110s);
    EXPECT_EQ(lintian.exitCode, 0) << lintian.output;
    EXPECT_EQ(lintian.output.find("E: "), std::string::npos) << lintian.output;
    RemoveFolder(folder);
}
