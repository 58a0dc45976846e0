#pragma once

// Where each file of the player lives. The one place that decides it.
//
// The data folder holds what the program ships and only reads: skin/ and the
// shipped config/ (settings, catalogue, advertisement list, offline station).
// It is the folder of the executable when skin/ is beside it (the build's run
// folder, or a copy of it), and <prefix>/share/orvane-radio when the
// executable is <prefix>/bin/orvane-radio (an installed program).
//
// Two layouts of the writable files:
//   portable      a run folder the user can write: everything stays in it,
//                 config/config.xml, config/fmradios.dll, config/fmads.dll,
//                 config/mystations.xml, cache/;
//   user folders  an installed program, or a run folder that cannot be
//                 written: the files follow the XDG base directories,
//                   $XDG_CONFIG_HOME/orvane-radio/config.xml
//                   $XDG_DATA_HOME/orvane-radio/fmradios.dll, fmads.dll,
//                                               mystations.xml
//                   $XDG_CACHE_HOME/orvane-radio/
//                 seeded from the shipped files on first start (the user's
//                 own stations are never seeded: nothing ships them).
//
// No Qt here: plain C++ over std::filesystem, usable from any thread.

#include <cstdint>
#include <functional>
#include <string>

enum class FileLayoutKind
{
    Portable,
    UserFolders,
};

struct TFileLayout
{
    FileLayoutKind kind = FileLayoutKind::Portable;
    std::string dataFolder;    // read-only shipped files, with a trailing '/'
    std::string settingsFile;
    std::string catalogueFile;
    std::string adsFile;
    std::string myStationsFile; // the user's own stations
    std::string cacheFolder;   // no trailing separator
};

// The three XDG base folders, absolute, no trailing separator.
struct TUserFolders
{
    std::string configHome;
    std::string dataHome;
    std::string cacheHome;
};

// The folder name of the program inside each XDG base folder.
constexpr const char* kUserFolderName = "orvane-radio";

// The base folders from the given variables: a variable counts only when it
// holds an absolute path; otherwise ~/.config, ~/.local/share and ~/.cache of
// `home`. Null arguments count as unset.
TUserFolders UserFoldersFrom(const char* home, const char* configHome, const char* dataHome,
                             const char* cacheHome);

// The same from this process's environment; HOME falls back to the user's
// entry in the password database.
TUserFolders ReadUserFolders();

// The data folder (trailing '/') for the executable's folder, as above. When
// neither layout is found the executable's folder is kept.
std::string FindDataFolder(const std::string& executableFolder);

// Whether this process can create files in `folder` (and in its config/
// when there is one). False for a folder that does not exist.
bool IsFolderWritable(const std::string& folder);

TFileLayout PortableLayout(const std::string& dataFolder);
TFileLayout UserFoldersLayout(const std::string& dataFolder, const TUserFolders& folders);

// The layout a start uses: portable when the data folder is the executable's
// own folder and it can be written; the user folders otherwise, so an
// installed package's files are never written, not even by root.
TFileLayout ChooseFileLayout(const std::string& executableFolder, const std::string& dataFolder,
                             const TUserFolders& folders);

// Reads the version of a catalogue file; 0 when the file is missing or has
// none.
using CatalogueVersionReader = std::function<std::int32_t(const std::string& path)>;

// Makes the user folders of a user-folders layout and seeds them from the
// shipped files of its data folder: the settings file and the advertisement
// list when missing; the catalogue when missing or when the shipped one has
// a greater version (an upgraded package's catalogue wins over an older
// download). A seeded file is written beside its place and renamed in, and
// it is the user's to write. Does nothing for a portable layout. False when
// a folder could not be made.
bool PrepareUserFolders(const TFileLayout& layout, const CatalogueVersionReader& catalogueVersion);

// The layout of this process: the one given to SetFileLayout, or else the
// portable layout of `instancePath` (so a window started on a folder of its
// own, as tests do, keeps everything there).
TFileLayout FileLayoutFor(const std::string& instancePath);
void SetFileLayout(const TFileLayout& layout);
void ResetFileLayout();
