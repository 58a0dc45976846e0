#include "catalogue/MyStations.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

class MyStationsFile : public ::testing::Test
{
protected:
    void SetUp() override
    {
        folder = fs::temp_directory_path() /
                 ("orvane-mystations-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
        fs::create_directories(folder);
        path = (folder / "mystations.xml").string();
    }
    void TearDown() override { fs::remove_all(folder); }

    void Write(const std::string& bytes) const { std::ofstream(path, std::ios::binary) << bytes; }
    std::string Read(const std::string& file) const
    {
        std::ifstream input(file, std::ios::binary);
        std::ostringstream bytes;
        bytes << input.rdbuf();
        return bytes.str();
    }
    // The files in the folder other than mystations.xml itself.
    std::vector<std::string> SetAside() const
    {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (entry.path().filename() != "mystations.xml")
                names.push_back(entry.path().filename().string());
        }
        return names;
    }

    fs::path folder;
    std::string path;
};

std::string Names(const CMyStations& list)
{
    std::string text;
    for (const TMyStation& station : list.Stations())
        text += station.name + ";";
    return text;
}

TEST_F(MyStationsFile, FilesLoadOrGoAside)
{
    struct Row
    {
        const char* bytes;
        MyStationsLoad load;
        const char* names;
    };
    const Row rows[] = {
        {"<?xml version=\"1.0\" encoding=\"UTF-8\"?><mystations version=\"1\">"
         "<station name=\"A &amp; B\" url=\"http://a.example/\" uuid=\"u-1\" gone=\"true\"/>"
         "<station name=\"&lt;C&gt; &quot;x&quot;\" url=\"https://c.example/\"/></mystations>",
         MyStationsLoad::Loaded, "A & B;<C> \"x\";"},
        {"<mystations/>", MyStationsLoad::Loaded, ""},
        // An old file without a declaration in the historical code page.
        {"<mystations><station name=\"\xD6\xD0\xB9\xFA\" url=\"http://cn.example/\"/></mystations>",
         MyStationsLoad::Loaded, "中国;"},
        {"\xEF\xBB\xBF<mystations><station name=\"中国\" url=\"http://cn.example/\"/></mystations>",
         MyStationsLoad::Loaded, "中国;"},
        // Entries that are no station, or repeat one, are dropped; a missing
        // name is the host; unknown elements and attributes are ignored.
        {"<mystations><station name=\"ftp\" url=\"ftp://f.example/\"/><station url=\" http://h.example/ \"/>"
         "<station name=\"again\" url=\"http://h.example/\"/><note/><station url=\"\" /></mystations>",
         MyStationsLoad::Loaded, "h.example;"},
        {"<mystations><station name=\"a\" url=\"http://a.example/\"/>", MyStationsLoad::SetAside, ""}, // cut short
        {"<stations><station name=\"a\" url=\"http://a.example/\"/></stations>", MyStationsLoad::SetAside, ""},
        {"", MyStationsLoad::SetAside, ""},
        {"not xml at all", MyStationsLoad::SetAside, ""},
    };
    for (const Row& row : rows) {
        Write(row.bytes);
        CMyStations list;
        EXPECT_EQ(list.Load(path), row.load) << row.bytes;
        EXPECT_EQ(Names(list), row.names) << row.bytes;
        if (row.load == MyStationsLoad::SetAside) {
            // The broken file is kept, unchanged, under a name of its own.
            EXPECT_FALSE(fs::exists(path)) << row.bytes;
            ASSERT_FALSE(list.SetAsidePath().empty());
            EXPECT_EQ(Read(list.SetAsidePath()), row.bytes);
            EXPECT_EQ(fs::path(list.SetAsidePath()).parent_path(), folder);
            EXPECT_EQ(fs::path(list.SetAsidePath()).filename().string().rfind("mystations.xml.broken-", 0), 0u);
            fs::remove(list.SetAsidePath());
        } else {
            EXPECT_EQ(list.SetAsidePath(), "");
            EXPECT_TRUE(SetAside().empty());
        }
    }
}

TEST_F(MyStationsFile, BrokenFileIsNeverWrittenOverNorIsAnEarlierOneSetAside)
{
    // Two broken files within one second keep two names.
    for (int round = 0; round < 2; ++round) {
        Write("<mystations><station");
        CMyStations list;
        EXPECT_EQ(list.Load(path), MyStationsLoad::SetAside);
        EXPECT_TRUE(list.Empty());
        ASSERT_TRUE(list.Add({"", "http://new.example/", "", false}));
        ASSERT_TRUE(list.Save());
    }
    EXPECT_EQ(SetAside().size(), 2u);
    for (const std::string& name : SetAside())
        EXPECT_EQ(Read((folder / name).string()), "<mystations><station");
    CMyStations again;
    EXPECT_EQ(again.Load(path), MyStationsLoad::Loaded);
    EXPECT_EQ(Names(again), "new.example;");
}

TEST_F(MyStationsFile, OversizedOrDeepFileGoesAside)
{
    std::string deep = "<mystations>";
    for (int level = 0; level < 100; ++level)
        deep += "<station>";
    Write(deep);
    CMyStations list;
    EXPECT_EQ(list.Load(path), MyStationsLoad::SetAside);

    Write("<mystations>" + std::string(9 * 1024 * 1024, ' ') + "</mystations>");
    EXPECT_EQ(list.Load(path), MyStationsLoad::SetAside);
    EXPECT_EQ(SetAside().size(), 2u);
}

TEST_F(MyStationsFile, SavedListLoadsBackWholeWithEveryCharacter)
{
    CMyStations list;
    EXPECT_EQ(list.Load(path), MyStationsLoad::Missing);
    EXPECT_FALSE(fs::exists(path)); // nothing is made before the first save
    const std::vector<TMyStation> stations = {
        {"Rock & <Roll> \"Radio\" 'x'", "http://a.example/?a=1&b=2", "96062a7b-0601-11e8-ae97-52543be04c81", false},
        {"中国之声", "https://cn.example:8443/live", "", true},
        {"Tab\there", "http://t.example/", "", false},
        {"literal &#x41; and &amp; text", "http://l.example/", "", false}, // entities as text stay text
    };
    EXPECT_EQ(list.AddAll(stations), 4);
    ASSERT_TRUE(list.Save());

    const std::string text = Read(path);
    EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>", 0), 0u) << text;
    EXPECT_NE(text.find("Rock &amp; &lt;Roll&gt; &quot;Radio&quot;"), std::string::npos) << text;

    CMyStations again;
    ASSERT_EQ(again.Load(path), MyStationsLoad::Loaded);
    ASSERT_EQ(again.Stations().size(), 4u);
    for (std::size_t i = 0; i < 4; ++i) {
        const TMyStation& read = again.Stations()[i];
        EXPECT_EQ(read.name, i == 2 ? "Tab here" : stations[i].name);
        EXPECT_EQ(read.url, stations[i].url);
        EXPECT_EQ(read.uuid, stations[i].uuid);
        EXPECT_EQ(read.goneFromDirectory, stations[i].goneFromDirectory);
    }
    // Saving an emptied list leaves a valid, empty list, not an empty file.
    while (!again.Empty())
        again.Remove(0);
    ASSERT_TRUE(again.Save());
    CMyStations emptied;
    EXPECT_EQ(emptied.Load(path), MyStationsLoad::Loaded);
    EXPECT_TRUE(emptied.Empty());
}

TEST_F(MyStationsFile, SaveMakesTheFolderAndFailsWithoutAPath)
{
    CMyStations unloaded;
    EXPECT_FALSE(unloaded.Save());

    const std::string nested = (folder / "user" / "data" / "mystations.xml").string();
    CMyStations list;
    EXPECT_EQ(list.Load(nested), MyStationsLoad::Missing);
    ASSERT_TRUE(list.Add({"a", "http://a.example/", "", false}));
    EXPECT_TRUE(list.Save());
    EXPECT_TRUE(fs::is_regular_file(nested));

    // A file in the way of the folder: the save fails and says so.
    std::ofstream(folder / "plain") << "x";
    CMyStations blocked;
    EXPECT_EQ(blocked.Load((folder / "plain" / "mystations.xml").string()), MyStationsLoad::Missing);
    ASSERT_TRUE(blocked.Add({"a", "http://a.example/", "", false}));
    EXPECT_FALSE(blocked.Save());
}

TEST(MyStationsList, AddFindAndAddressRules)
{
    CMyStations list;
    EXPECT_TRUE(list.Empty());
    EXPECT_TRUE(list.Add({"A", "  http://a.example/live \n", "", false}));
    EXPECT_EQ(list.Stations()[0].url, "http://a.example/live");
    EXPECT_FALSE(list.Empty());

    struct Row
    {
        const char* url;
        bool added;
    };
    const Row rows[] = {
        {"http://a.example/live", false},   // already there
        {" http://a.example/live", false},  // the same after trimming
        {"HTTP://a.example/live", true},    // compared exactly: another address
        {"http://a.example/live/", true},
        {"ftp://a.example/live", false},
        {"", false},
        {"http://", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(list.Add({"x", row.url, "", false}), row.added) << row.url;
    EXPECT_EQ(list.Stations().size(), 3u);
    EXPECT_EQ(list.Find("http://a.example/live"), 0);
    EXPECT_EQ(list.Find("\thttp://a.example/live/ "), 2);
    EXPECT_EQ(list.Find("http://b.example/"), -1);

    EXPECT_EQ(list.AddAll({{"", "http://b.example:8000/x", "", false},
                           {"dup", "http://a.example/live", "", false},
                           {"dup in the batch", "http://b.example:8000/x", "", false}}),
              1);
    EXPECT_EQ(list.Stations().back().name, "b.example"); // an empty name takes the host

    // A host longer than any name is cut as a name is, so the list reads
    // back as it was saved.
    const std::string longHost(600, 'h');
    ASSERT_TRUE(list.Add({"", "http://" + longHost + "/", "", false}));
    EXPECT_EQ(list.Stations().back().name, longHost.substr(0, 512));
    std::vector<TMyStation> again;
    ASSERT_TRUE(ParseMyStations(FormatMyStations(list.Stations()), &again));
    EXPECT_EQ(again.back().name, list.Stations().back().name);
}

TEST(MyStationsList, ReorderRenameAndReaddressAtTheEdges)
{
    CMyStations list;
    list.AddAll({{"a", "http://a.example/", "", false},
                 {"b", "http://b.example/", "", false},
                 {"c", "http://c.example/", "", false}});
    struct Row
    {
        const char* step;
        int index;
        bool done;
        const char* after;
    };
    const Row rows[] = {
        {"up", 0, false, "a;b;c;"},   {"up", 1, true, "b;a;c;"},    {"up", 2, true, "b;c;a;"},
        {"up", 3, false, "b;c;a;"},   {"up", -1, false, "b;c;a;"},  {"down", 2, false, "b;c;a;"},
        {"down", 0, true, "c;b;a;"},  {"down", 1, true, "c;a;b;"},  {"down", -1, false, "c;a;b;"},
        {"down", 3, false, "c;a;b;"}, {"remove", 3, false, "c;a;b;"}, {"remove", -1, false, "c;a;b;"},
        {"remove", 1, true, "c;b;"},  {"remove", 1, true, "c;"},    {"remove", 0, true, ""},
        {"remove", 0, false, ""},     {"up", 0, false, ""},         {"down", 0, false, ""},
    };
    for (const Row& row : rows) {
        const std::string step = row.step;
        const bool done = step == "up" ? list.MoveUp(row.index)
                        : step == "down" ? list.MoveDown(row.index)
                                         : list.Remove(row.index);
        EXPECT_EQ(done, row.done) << step << " " << row.index;
        EXPECT_EQ(Names(list), row.after) << step << " " << row.index;
    }

    list.AddAll({{"a", "http://a.example/", "", false}, {"b", "http://b.example/", "", false}});
    EXPECT_TRUE(list.Rename(0, "  Radio\nOne  "));
    EXPECT_TRUE(list.Rename(1, ""));
    EXPECT_FALSE(list.Rename(2, "x"));
    EXPECT_FALSE(list.Rename(-1, "x"));
    EXPECT_EQ(Names(list), "Radio One;b.example;");

    EXPECT_FALSE(list.SetUrl(0, "http://b.example/")); // another entry has it
    EXPECT_TRUE(list.SetUrl(0, " http://a.example/ "));  // its own address again
    EXPECT_FALSE(list.SetUrl(0, "rtsp://a.example/"));
    EXPECT_FALSE(list.SetUrl(5, "http://z.example/"));
    EXPECT_TRUE(list.SetUrl(1, "https://z.example/"));
    EXPECT_EQ(list.Find("https://z.example/"), 1);
    EXPECT_EQ(list.Find("http://b.example/"), -1);
}

} // namespace
