#include "platform/desktop/FileLayout.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

std::mutex layoutMutex;
std::optional<TFileLayout> chosenLayout;

std::string WithTrailingSlash(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string WithoutTrailingSlash(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

bool IsAbsolute(const char* path)
{
    return path != nullptr && path[0] == '/';
}

std::string BaseFolder(const char* variable, const std::string& home, const char* fallback)
{
    if (IsAbsolute(variable))
        return WithoutTrailingSlash(variable);
    return WithoutTrailingSlash(home) + fallback;
}

bool FolderExists(const fs::path& folder)
{
    std::error_code error;
    return fs::is_directory(folder, error);
}

// Copies `source` over `target` through a file beside it, so a start cut
// short never leaves a torn file. The copy is the user's own: readable and
// writable by its owner whatever the shipped file's mode.
bool CopyInto(const std::string& source, const std::string& target)
{
    std::ifstream input(source, std::ios::binary);
    if (!input)
        return false;
    std::ostringstream bytes;
    bytes << input.rdbuf();
    if (input.bad())
        return false;

    const std::string partPath = target + ".part";
    {
        std::ofstream output(partPath, std::ios::binary | std::ios::trunc);
        output << bytes.str();
        output.flush();
        if (!output) {
            std::remove(partPath.c_str());
            return false;
        }
    }
    std::error_code error;
    fs::permissions(partPath, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                  fs::perms::others_read, error);
    if (std::rename(partPath.c_str(), target.c_str()) != 0) {
        std::remove(partPath.c_str());
        return false;
    }
    return true;
}

bool FileExists(const std::string& path)
{
    std::error_code error;
    return fs::is_regular_file(path, error);
}

} // namespace

TUserFolders UserFoldersFrom(const char* home, const char* configHome, const char* dataHome,
                             const char* cacheHome)
{
    const std::string homeFolder = home != nullptr ? home : "";
    TUserFolders folders;
    folders.configHome = BaseFolder(configHome, homeFolder, "/.config");
    folders.dataHome = BaseFolder(dataHome, homeFolder, "/.local/share");
    folders.cacheHome = BaseFolder(cacheHome, homeFolder, "/.cache");
    return folders;
}

TUserFolders ReadUserFolders()
{
    const char* home = std::getenv("HOME");
    if (!IsAbsolute(home)) {
        const passwd* entry = ::getpwuid(::getuid());
        home = entry != nullptr ? entry->pw_dir : "/";
    }
    return UserFoldersFrom(home, std::getenv("XDG_CONFIG_HOME"), std::getenv("XDG_DATA_HOME"),
                           std::getenv("XDG_CACHE_HOME"));
}

std::string FindDataFolder(const std::string& executableFolder)
{
    const fs::path executable(WithoutTrailingSlash(executableFolder));
    if (FolderExists(executable / "skin"))
        return WithTrailingSlash(executable.string());
    if (executable.filename() == "bin") {
        const fs::path installed = executable.parent_path() / "share" / kUserFolderName;
        if (FolderExists(installed / "skin"))
            return WithTrailingSlash(installed.lexically_normal().string());
    }
    return WithTrailingSlash(executable.string());
}

bool IsFolderWritable(const std::string& folder)
{
    if (!FolderExists(folder) || ::access(folder.c_str(), W_OK | X_OK) != 0)
        return false;
    const std::string config = WithTrailingSlash(folder) + "config";
    return !FolderExists(config) || ::access(config.c_str(), W_OK | X_OK) == 0;
}

TFileLayout PortableLayout(const std::string& dataFolder)
{
    TFileLayout layout;
    layout.kind = FileLayoutKind::Portable;
    layout.dataFolder = WithTrailingSlash(dataFolder);
    layout.settingsFile = layout.dataFolder + "config/config.xml";
    layout.catalogueFile = layout.dataFolder + "config/fmradios.dll";
    layout.adsFile = layout.dataFolder + "config/fmads.dll";
    layout.myStationsFile = layout.dataFolder + "config/mystations.xml";
    layout.cacheFolder = layout.dataFolder + "cache";
    return layout;
}

TFileLayout UserFoldersLayout(const std::string& dataFolder, const TUserFolders& folders)
{
    TFileLayout layout;
    layout.kind = FileLayoutKind::UserFolders;
    layout.dataFolder = WithTrailingSlash(dataFolder);
    const std::string ours = std::string("/") + kUserFolderName;
    layout.settingsFile = folders.configHome + ours + "/config.xml";
    layout.catalogueFile = folders.dataHome + ours + "/fmradios.dll";
    layout.adsFile = folders.dataHome + ours + "/fmads.dll";
    layout.myStationsFile = folders.dataHome + ours + "/mystations.xml";
    layout.cacheFolder = folders.cacheHome + ours;
    return layout;
}

TFileLayout ChooseFileLayout(const std::string& executableFolder, const std::string& dataFolder,
                             const TUserFolders& folders)
{
    const bool runFolder = WithTrailingSlash(executableFolder) == WithTrailingSlash(dataFolder);
    if (runFolder && IsFolderWritable(dataFolder))
        return PortableLayout(dataFolder);
    return UserFoldersLayout(dataFolder, folders);
}

bool PrepareUserFolders(const TFileLayout& layout, const CatalogueVersionReader& catalogueVersion)
{
    if (layout.kind != FileLayoutKind::UserFolders)
        return true;
    std::error_code error;
    bool made = true;
    for (const std::string& file : {layout.settingsFile, layout.catalogueFile}) {
        fs::create_directories(fs::path(file).parent_path(), error);
        made = made && FolderExists(fs::path(file).parent_path());
    }
    fs::create_directories(layout.cacheFolder, error);
    made = made && FolderExists(layout.cacheFolder);
    if (!made)
        return false;

    const std::string shipped = layout.dataFolder + "config/";
    if (!FileExists(layout.settingsFile))
        CopyInto(shipped + "config.xml", layout.settingsFile);
    if (!FileExists(layout.adsFile))
        CopyInto(shipped + "fmads.dll", layout.adsFile);

    const std::string shippedCatalogue = shipped + "fmradios.dll";
    if (FileExists(shippedCatalogue)) {
        const bool shippedIsNewer = !FileExists(layout.catalogueFile) ||
            (catalogueVersion && catalogueVersion(shippedCatalogue) > catalogueVersion(layout.catalogueFile));
        if (shippedIsNewer)
            CopyInto(shippedCatalogue, layout.catalogueFile);
    }
    return true;
}

TFileLayout FileLayoutFor(const std::string& instancePath)
{
    std::lock_guard lock(layoutMutex);
    return chosenLayout ? *chosenLayout : PortableLayout(instancePath);
}

void SetFileLayout(const TFileLayout& layout)
{
    std::lock_guard lock(layoutMutex);
    chosenLayout = layout;
}

void ResetFileLayout()
{
    std::lock_guard lock(layoutMutex);
    chosenLayout.reset();
}
