// Reading playlists as servers really send them, and where a URL the player
// is given leads: straight to playbin, through a playlist, or to a probe.

#include "platform/wmp/MediaLocation.h"
#include "platform/wmp/Playlist.h"
#include "platform/wmp/Wmp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Entries = std::vector<std::string>;

struct PlaylistRow
{
    const char* what;
    std::string text;
    Entries entries;
};

} // namespace

TEST(Playlist, PlsFilesAsServersSendThem)
{
    const std::string base = "http://radio.example:8000/listen/tunein.pls";
    const PlaylistRow rows[] = {
        {"CR-only line endings",
         "[playlist]\rNumberOfEntries=2\rFile1=http://a.example:8000/live\rTitle1=One\r"
         "File2=http://b.example/live\rLength1=-1\rVersion=2\r",
         {"http://a.example:8000/live", "http://b.example/live"}},
        {"CRLF with a byte-order mark",
         "\xEF\xBB\xBF[playlist]\r\nFile1=http://a.example/1\r\nTitle1=x\r\n",
         {"http://a.example/1"}},
        {"an empty File1 is skipped, not taken as the stream",
         "[playlist]\nFile1=\nFile2=http://a.example/2\n",
         {"http://a.example/2"}},
        {"a sid suffix after the URL",
         "[playlist]\nFile1=http://a.example:8000/ sid=8\nFile2=http://b.example:80/;stream.mp3\tsid=2\n",
         {"http://a.example:8000/", "http://b.example:80/;stream.mp3"}},
        {"entries out of order are taken by their number",
         "[playlist]\nFile3=http://c.example/\nFile1=http://a.example/\nFile2=http://b.example/\n",
         {"http://a.example/", "http://b.example/", "http://c.example/"}},
        {"keys in any case, blanks around them, no last line ending",
         "[Playlist]\n  file1 = http://a.example/x  \nFILE2=http://b.example/y",
         {"http://a.example/x", "http://b.example/y"}},
        {"a repeated number keeps the first entry",
         "[playlist]\nFile1=http://a.example/first\nFile1=http://a.example/second\n",
         {"http://a.example/first"}},
        {"relative entries are taken from the playlist's URL",
         "[playlist]\nFile1=stream.mp3\nFile2=/root.mp3\nFile3=//other.example/x\n",
         {"http://radio.example:8000/listen/stream.mp3", "http://radio.example:8000/root.mp3",
          "http://other.example/x"}},
        {"keys that only look like File entries are ignored",
         "[playlist]\nFileX=http://no.example/\nFile=http://no.example/\nFiles1=http://no.example/\n"
         "File1=http://yes.example/\n",
         {"http://yes.example/"}},
        {"no entry at all", "[playlist]\nNumberOfEntries=0\nVersion=2\n", {}},
    };
    for (const PlaylistRow& row : rows)
        EXPECT_EQ(ParsePlaylist(row.text, base), row.entries) << row.what;
}

TEST(Playlist, M3uFilesAndWhatIsNotAPlaylistEntry)
{
    const std::string base = "http://radio.example/a/list.m3u";
    const PlaylistRow rows[] = {
        {"plain list with CR-only endings", "http://a.example/1\rhttp://b.example/2\r",
         {"http://a.example/1", "http://b.example/2"}},
        {"extended m3u: titles and comments skipped",
         "#EXTM3U\n#EXTINF:-1,Station One\nhttp://a.example/1\n\n# a comment\nhttp://b.example/2\n",
         {"http://a.example/1", "http://b.example/2"}},
        {"relative entries", "#EXTM3U\nlive.mp3\n../up.mp3\n",
         {"http://radio.example/a/live.mp3", "http://radio.example/a/../up.mp3"}},
        {"a blank and a suffix after an absolute URL", "http://a.example/x sid=1\n", {"http://a.example/x"}},
        // An error page served in place of the playlist gives no entry, so
        // that no piece of markup is handed to playbin as a stream.
        {"an HTML error page",
         "<html>\n<head><title>404 Not Found</title></head>\n<body>\n<h1>Not Found</h1>\n</body>\n</html>\n", {}},
        {"control characters", std::string("http://a.example/\x01x\n", 20), {}},
        {"empty text", "", {}},
    };
    for (const PlaylistRow& row : rows)
        EXPECT_EQ(ParsePlaylist(row.text, base), row.entries) << row.what;
    // A local playlist is read without a URL: relative entries stay relative.
    EXPECT_EQ(ParsePlaylist("tone.mp3\n", ""), Entries{"tone.mp3"});
}

TEST(Playlist, HlsIsToldApartFromPlainM3u)
{
    EXPECT_TRUE(IsHlsPlaylist("#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\nsegment00000.ts\n"));
    EXPECT_TRUE(IsHlsPlaylist("#EXTM3U\r\n#EXT-X-STREAM-INF:BANDWIDTH=128000\r\nlow/index.m3u8\r\n"));
    EXPECT_FALSE(IsHlsPlaylist("#EXTM3U\n#EXTINF:-1,Station\nhttp://a.example/1\n"));
    EXPECT_FALSE(IsHlsPlaylist("[playlist]\nFile1=http://a.example/1\n"));
}

TEST(MediaLocation, SchemesAndExtensionsAreReadWithoutQueryOrFragment)
{
    const struct
    {
        const char* url;
        const char* scheme;
        const char* extension;
    } rows[] = {
        {"http://h/a.PLS?x=1", "http", "pls"},
        {"HTTPS://h:443/dir.v2/stream", "https", ""},
        {"http://h/live.mp3#t=1", "http", "mp3"},
        {"http://h.example", "http", ""},
        {"http://h/a.m3u8", "http", "m3u8"},
        {"http://h/a.", "http", ""},
        {"file:///tmp/a%20b.m3u", "file", "m3u"},
        {"mms://h/x.asf", "mms", "asf"},
        {"C:\\radio\\a.pls", "", "pls"}, // a drive letter is no scheme
        {"music/a.mp3", "", "mp3"},
        {"1http://h/", "", ""},
        {"", "", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(UrlScheme(row.url), row.scheme) << row.url;
        EXPECT_EQ(UrlExtension(row.url), row.extension) << row.url;
    }
}

TEST(MediaLocation, ReferencesAreResolvedAgainstTheirBase)
{
    const struct
    {
        const char* base;
        const char* reference;
        const char* resolved;
    } rows[] = {
        {"http://h:8000/a/b.pls", "c.mp3", "http://h:8000/a/c.mp3"},
        {"http://h:8000/a/b.pls?x=/y", "c.mp3", "http://h:8000/a/c.mp3"},
        {"http://h:8000/a/b.pls", "/c.mp3", "http://h:8000/c.mp3"},
        {"http://h:8000", "c.mp3", "http://h:8000/c.mp3"},
        {"https://h/a/b.pls", "//cdn.example/s", "https://cdn.example/s"},
        {"http://h/a/b.pls", "https://other.example/s", "https://other.example/s"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ResolveUrlReference(row.base, row.reference), row.resolved) << row.base << " + " << row.reference;
}

TEST(MediaLocation, EachKindOfUrlFindsItsWay)
{
    const std::string base = "/opt/orvane";
    const struct
    {
        const char* url;
        MediaKind kind;
        const char* uri;
        const char* path;
    } rows[] = {
        {"http://h/live.mp3", MediaKind::Stream, "http://h/live.mp3", ""},
        {"https://h/hls/index.m3u8", MediaKind::Stream, "https://h/hls/index.m3u8", ""},
        {"http://h/tunein.pls", MediaKind::HttpPlaylist, "http://h/tunein.pls", ""},
        {"http://h/list.M3U?id=3", MediaKind::HttpPlaylist, "http://h/list.M3U?id=3", ""},
        {"http://h:8000/", MediaKind::HttpUnknown, "http://h:8000/", ""},
        {"http://h/listen.php?id=1", MediaKind::HttpUnknown, "http://h/listen.php?id=1", ""},
        {"  http://h/live.aac \r\n", MediaKind::Stream, "http://h/live.aac", ""}, // blanks from a data file
        {"mms://h/x", MediaKind::Stream, "mms://h/x", ""},
        {"/music/a b.mp3", MediaKind::Stream, "file:///music/a%20b.mp3", "/music/a b.mp3"},
        {"file:///music/a%20b.mp3", MediaKind::Stream, "file:///music/a%20b.mp3", "/music/a b.mp3"},
        {"file://localhost/music/x.mp3", MediaKind::Stream, "file:///music/x.mp3", "/music/x.mp3"},
        {"file:///music/list.pls", MediaKind::LocalPlaylist, "file:///music/list.pls", "/music/list.pls"},
        {"config/offline/tone.mp3", MediaKind::Stream, "file:///opt/orvane/config/offline/tone.mp3",
         "/opt/orvane/config/offline/tone.mp3"},
        {"radio/中文.m3u", MediaKind::LocalPlaylist, "file:///opt/orvane/radio/%E4%B8%AD%E6%96%87.m3u",
         "/opt/orvane/radio/中文.m3u"},
    };
    for (const auto& row : rows) {
        const MediaLocation location = LocateMedia(row.url, base);
        EXPECT_EQ(location.kind, row.kind) << row.url;
        EXPECT_EQ(location.uri, row.uri) << row.url;
        EXPECT_EQ(location.path, row.path) << row.url;
    }
    // What cannot be opened says why.
    for (const char* url : {"", "   ", "file://server/share/a.mp3"}) {
        const MediaLocation location = LocateMedia(url, base);
        EXPECT_EQ(location.kind, MediaKind::Invalid) << url;
        EXPECT_FALSE(location.error.empty()) << url;
    }
}

TEST(MediaLocation, BaseFolderIsTheExecutablesUnlessATestSetsOne)
{
    SetPlayerBaseFolder(nullptr);
    const std::string own = PlayerBaseFolder();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.front(), '/');
    EXPECT_NE(own.back(), '/');
    // The folder of this test executable, which lives in the build tree.
    EXPECT_NE(own.find("tests/platform/wmp"), std::string::npos) << own;
    SetPlayerBaseFolder("/srv/radio");
    EXPECT_EQ(PlayerBaseFolder(), "/srv/radio");
    SetPlayerBaseFolder("");
    EXPECT_EQ(PlayerBaseFolder(), own);
}

TEST(Playlist, PlaylistsBeyondTheBoundsAreRefusedOrCut)
{
    // More entries than any station lists: the first ones are kept.
    std::string m3u, pls = "[playlist]\n";
    for (std::size_t i = 0; i < kMaxPlaylistEntries + 5; ++i) {
        m3u += "http://a.example/" + std::to_string(i) + "\n";
        pls += "File" + std::to_string(i + 1) + "=http://b.example/" + std::to_string(i) + "\n";
    }
    const Entries fromM3u = ParsePlaylist(m3u, "");
    ASSERT_EQ(fromM3u.size(), kMaxPlaylistEntries);
    EXPECT_EQ(fromM3u.front(), "http://a.example/0");
    EXPECT_EQ(fromM3u.back(), "http://a.example/" + std::to_string(kMaxPlaylistEntries - 1));
    const Entries fromPls = ParsePlaylist(pls, "");
    ASSERT_EQ(fromPls.size(), kMaxPlaylistEntries);
    EXPECT_EQ(fromPls.front(), "http://b.example/0");

    // An entry longer than any address is no entry; the next one still is.
    const std::string longEntry = "http://c.example/" + std::string(kMaxPlaylistEntryBytes, 'x');
    EXPECT_EQ(ParsePlaylist(longEntry + "\nhttp://c.example/ok\n", ""), Entries{"http://c.example/ok"});

    // A text past the bound is refused whole.
    std::string huge = "http://d.example/first\n";
    huge.resize(kMaxPlaylistTextBytes + 1, '#');
    EXPECT_EQ(ParsePlaylist(huge, ""), Entries{});
    huge.resize(kMaxPlaylistTextBytes);
    EXPECT_EQ(ParsePlaylist(huge, ""), Entries{"http://d.example/first"});
}
