// Replacing files whole, on real files: new and existing files, permissions,
// symbolic links, a folder the writer may not change, and writes the kernel
// cuts short.

#include "platform/shell/SafeFile.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class SafeFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() / ("orvane-safefile-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(folder, fs::perms::owner_all, ignored);
        fs::remove_all(folder, ignored);
    }

    static void Write(const fs::path& path, const std::string& bytes)
    {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static std::string Read(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    static std::vector<std::string> Names(const fs::path& path)
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    static unsigned Mode(const fs::path& path)
    {
        struct stat status;
        return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
    }

    // Runs `body` in a child process, which reports by its exit code: the
    // limits and identities a test needs stay out of the test process.
    static int InChild(const std::function<int()>& body)
    {
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(body());
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
    }

    fs::path folder;
};

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(i * 7 % 253);
    return bytes;
}

} // namespace

TEST_F(SafeFile, NewAndExistingFilesGetTheWholeContentAndNothingIsLeftBeside)
{
    const fs::path target = folder / "config.xml";
    const mode_t mask = ::umask(022);
    EXPECT_TRUE(ReplaceFileContents(target.c_str(), "first"));
    EXPECT_EQ(Read(target), "first");
    EXPECT_EQ(Mode(target), 0644u) << "a new file gets the usual permissions";

    const std::string big = Pattern(3 * 1024 * 1024 + 17);
    const TReplaceResult result = ReplaceFileContents(target.c_str(), big);
    EXPECT_TRUE(result.replaced);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(Read(target), big);
    EXPECT_TRUE(ReplaceFileContents(target.c_str(), ""));
    EXPECT_EQ(Read(target), "");
    EXPECT_EQ(Names(folder), std::vector<std::string>({"config.xml"}));

    Write(folder / "source.dll", big);
    EXPECT_TRUE(ReplaceFileWithCopy(target.c_str(), (folder / "source.dll").c_str()));
    EXPECT_EQ(Read(target), big);
    const TReplaceResult missing = ReplaceFileWithCopy(target.c_str(), (folder / "absent.dll").c_str());
    EXPECT_FALSE(missing.replaced);
    EXPECT_EQ(missing.error, ENOENT);
    EXPECT_EQ(Read(target), big);
    EXPECT_EQ(Names(folder), std::vector<std::string>({"config.xml", "source.dll"}));
    ::umask(mask);
}

TEST_F(SafeFile, AFileOfMode0600KeepsItsMode)
{
    const fs::path target = folder / "config.xml";
    Write(target, "old");
    ASSERT_EQ(::chmod(target.c_str(), 0600), 0);
    EXPECT_TRUE(ReplaceFileContents(target.c_str(), "new"));
    EXPECT_EQ(Read(target), "new");
    EXPECT_EQ(Mode(target), 0600u);
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    EXPECT_TRUE(ReplaceFileContents(target.c_str(), "newer"));
    EXPECT_EQ(Mode(target), 0640u);
}

TEST_F(SafeFile, ASymbolicLinkStaysALinkAndTheFileItNamesIsReplaced)
{
    fs::create_directories(folder / "dotfiles");
    const fs::path real = folder / "dotfiles" / "config.xml";
    Write(real, "old");
    ASSERT_EQ(::chmod(real.c_str(), 0600), 0);
    // A relative link to a relative link.
    fs::create_symlink("dotfiles/config.xml", folder / "middle.xml");
    fs::create_symlink("middle.xml", folder / "config.xml");

    EXPECT_EQ(ResolveReplacementTarget((folder / "config.xml").c_str()), (folder / "dotfiles/config.xml").string());
    EXPECT_TRUE(ReplaceFileContents((folder / "config.xml").c_str(), "new"));
    EXPECT_TRUE(fs::is_symlink(folder / "config.xml"));
    EXPECT_TRUE(fs::is_symlink(folder / "middle.xml"));
    EXPECT_EQ(Read(real), "new");
    EXPECT_EQ(Mode(real), 0600u);
    EXPECT_EQ(Names(folder / "dotfiles"), std::vector<std::string>({"config.xml"}));

    // An absolute link that names a file not there yet: the file is made.
    fs::create_symlink(folder / "dotfiles" / "later.xml", folder / "later.xml");
    EXPECT_TRUE(ReplaceFileContents((folder / "later.xml").c_str(), "made"));
    EXPECT_TRUE(fs::is_symlink(folder / "later.xml"));
    EXPECT_EQ(Read(folder / "dotfiles" / "later.xml"), "made");
}

TEST_F(SafeFile, AFolderTheWriterMayNotChangeFailsAndKeepsTheOldFile)
{
    const fs::path locked = folder / "locked";
    fs::create_directories(locked);
    Write(locked / "config.xml", "old");
    ASSERT_EQ(::chmod(locked.c_str(), 0555), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0755), 0);
    const std::string target = (locked / "config.xml").string();
    // Root may write anywhere; the attempt is made as an ordinary user.
    const int code = InChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 2;
        const TReplaceResult result = ReplaceFileContents(target.c_str(), "new");
        if (result.replaced)
            return 3;
        return result.error == EACCES && std::strcmp(result.step, "create") == 0 ? 0 : 4;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read(locked / "config.xml"), "old");
    EXPECT_EQ(Names(locked), std::vector<std::string>({"config.xml"}));
}

TEST_F(SafeFile, WritesCutShortAreCompletedAndAFullDiskFailsWithoutTouchingTheFile)
{
    const fs::path target = folder / "fmradios.dll";
    Write(target, "old");
    const std::string small = Pattern(60000);
    const std::string large = Pattern(400000);
    Write(folder / "large.dll", large);
    // A file-size limit makes the kernel cut a write short at the limit and
    // refuse the next one, as a full disk does.
    const int code = InChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit = {100000, 100000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 2;
        const TReplaceResult tooLarge = ReplaceFileContents(target.c_str(), large);
        if (tooLarge.replaced || tooLarge.error != EFBIG || std::strcmp(tooLarge.step, "write") != 0)
            return 3;
        if (ReplaceFileWithCopy(target.c_str(), (folder / "large.dll").c_str()).replaced)
            return 4;
        return ReplaceFileContents(target.c_str(), small).replaced ? 0 : 5;
    });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Read(target), small);
    EXPECT_EQ(Names(folder), std::vector<std::string>({"fmradios.dll", "large.dll"}));
}
