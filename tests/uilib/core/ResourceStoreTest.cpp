#include "uilib/core/ResourceStore.h"

#include "CoreFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

std::string Loaded(CResourceStore& store, const char* name, bool* found = nullptr)
{
    std::vector<BYTE> bytes = {'s', 't', 'a', 'l', 'e'};
    bool ok = store.Load(name, bytes);
    if (found != nullptr) {
        *found = ok;
    }
    EXPECT_TRUE(ok || bytes.empty()) << name << ": a failed load must leave no bytes";
    return std::string(bytes.begin(), bytes.end());
}

class ResourceStoreTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_FALSE(folder.path.empty());
        skin = folder.path + "/skin";
        std::filesystem::create_directories(skin);
        store.SetFolder(skin.c_str());
    }

    std::string Zip(const std::vector<TZipEntry>& entries, const char* name = "DefaultSkin.dll")
    {
        std::string file = skin + "/" + name;
        EXPECT_TRUE(WriteZip(file, entries));
        return file;
    }

    CTempFolder folder;
    std::string skin;
    CResourceStore store;
};

}  // namespace

TEST(ResourceStoreNames, NormaliseToForwardSlashes)
{
    struct Row { const char* name; const char* normalised; };
    const Row rows[] = {
        {"config\\fmads.dll", "config/fmads.dll"}, {"a//b\\\\c", "a/b/c"}, {"./skin/a.png", "skin/a.png"},
        {".\\.\\a.png", "a.png"},                   {"/abs/x.png", "/abs/x.png"}, {"", ""},
        {"..\\up.png", "../up.png"},               {"中文\\图.png", "中文/图.png"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CResourceStore::NormaliseName(row.name), row.normalised) << row.name;
    }
    EXPECT_EQ(CResourceStore::NormaliseName(nullptr), "");
}

TEST_F(ResourceStoreTest, FolderGetsATrailingSlashAndForwardSlashes)
{
    store.SetFolder("C:\\radio\\skin");
    EXPECT_EQ(store.GetFolder(), "C:/radio/skin/");
    store.SetFolder((skin + "/").c_str());
    EXPECT_EQ(store.GetFolder(), skin + "/");
    store.SetFolder("");
    EXPECT_EQ(store.GetFolder(), "");
}

TEST_F(ResourceStoreTest, TheFolderComesBeforeTheArchive)
{
    folder.Write("skin/Corvela.xml", "<Window from='folder'/>");
    Zip({{"Corvela.xml", "<Window from='zip'/>"}, {"menutray.xml", "<Window from='zip'/>"}});
    store.SetZip("DefaultSkin.dll", true);
    EXPECT_EQ(Loaded(store, "Corvela.xml"), "<Window from='folder'/>");
    EXPECT_EQ(Loaded(store, "menutray.xml"), "<Window from='zip'/>");
    bool found = true;
    EXPECT_EQ(Loaded(store, "aboutDlg.xml", &found), "");
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, EitherSeparatorFindsFilesAndEntriesInSubfolders)
{
    folder.Write("skin/config/fmads.dll", "folder ads");
    Zip({{"images/dot.png", "zip dot"},
         {"images\\legacy.png", "entry stored with backslashes"}});
    store.SetZip("DefaultSkin.dll", false);
    for (const char* name : {"config\\fmads.dll", "config/fmads.dll", "config//fmads.dll", "./config\\fmads.dll"}) {
        EXPECT_EQ(Loaded(store, name), "folder ads") << name;
    }
    EXPECT_EQ(Loaded(store, "images\\dot.png"), "zip dot");
    EXPECT_EQ(Loaded(store, "images/dot.png"), "zip dot");
    EXPECT_EQ(Loaded(store, "images/legacy.png"), "entry stored with backslashes");
    bool found = true;
    Loaded(store, "Images/dot.png", &found);   // case-sensitive, like the folder
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, MissingOrCorruptArchivesJustFail)
{
    bool found = true;
    store.SetZip("DefaultSkin.dll", true);   // no such file
    Loaded(store, "Corvela.xml", &found);
    EXPECT_FALSE(found);

    folder.Write("skin/DefaultSkin.dll", std::string("PK\x03\x04 this is not really an archive"));
    store.SetZip("DefaultSkin.dll", true);
    Loaded(store, "Corvela.xml", &found);
    EXPECT_FALSE(found);

    // A good archive cut in half loses its central directory.
    std::string good = Zip({{"Corvela.xml", std::string(4000, 'w')}}, "good.zip");
    std::string bytes = ReadAll(good);
    folder.Write("skin/cut.zip", bytes.substr(0, bytes.size() / 2));
    store.SetZip("cut.zip", false);
    Loaded(store, "Corvela.xml", &found);
    EXPECT_FALSE(found);

    // A directory where the archive should be.
    std::filesystem::create_directories(skin + "/dir.zip");
    store.SetZip("dir.zip", true);
    Loaded(store, "Corvela.xml", &found);
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, AnEntryWhoseDataFailsItsChecksumIsRefused)
{
    const std::string marker = "THE-PICTURE-DATA-0123456789";
    std::string file = Zip({{"dot.png", marker, true}});
    std::string bytes = ReadAll(file);
    size_t at = bytes.find(marker);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 5] ^= 0x01;
    folder.Write("skin/DefaultSkin.dll", bytes);
    store.SetZip("DefaultSkin.dll", true);
    bool found = true;
    Loaded(store, "dot.png", &found);
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, AKeptArchiveStaysOpenUntilTheSettingsChange)
{
    std::string file = Zip({{"a.xml", "A"}, {"b.xml", "B"}});
    store.SetZip("DefaultSkin.dll", true);
    EXPECT_EQ(Loaded(store, "a.xml"), "A");
    std::filesystem::remove(file);
    EXPECT_EQ(Loaded(store, "b.xml"), "B");   // read through the open archive

    Zip({{"a.xml", "A2"}});
    store.SetZip("DefaultSkin.dll", true);   // reopens: the new archive answers
    EXPECT_EQ(Loaded(store, "a.xml"), "A2");

    store.SetZip("DefaultSkin.dll", false);
    EXPECT_EQ(Loaded(store, "a.xml"), "A2");
    std::filesystem::remove(file);
    bool found = true;
    Loaded(store, "a.xml", &found);   // not kept: the archive is gone
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, SettingsChangeTheGeneration)
{
    unsigned before = store.GetGeneration();
    store.SetZip("x.zip", true);
    EXPECT_NE(store.GetGeneration(), before);
    before = store.GetGeneration();
    store.SetFolder(skin.c_str());
    EXPECT_NE(store.GetGeneration(), before);
}

TEST_F(ResourceStoreTest, AbsoluteNamesReadThatFileOnly)
{
    std::string picture = folder.Write("pictures/my own.jpg", "jpeg bytes");
    Zip({{picture.substr(1), "from zip"}});
    store.SetZip("DefaultSkin.dll", true);
    EXPECT_EQ(Loaded(store, picture.c_str()), "jpeg bytes");
    std::filesystem::remove(picture);
    bool found = true;
    Loaded(store, picture.c_str(), &found);
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, WhatIsNotARegularFileIsNotAResource)
{
    std::filesystem::create_directories(skin + "/images");
    Zip({{"images/", ""}, {"images/a.png", "a"}});
    store.SetZip("DefaultSkin.dll", true);
    bool found = true;
    for (const char* name : {"images", "images/", "", "/"}) {
        Loaded(store, name, &found);
        EXPECT_FALSE(found) << name;
    }
    Loaded(store, nullptr, &found);
    EXPECT_FALSE(found);
}

TEST_F(ResourceStoreTest, EmptyFilesAndBinaryBytesLoadWhole)
{
    folder.Write("skin/empty.xml", "");
    EXPECT_EQ(Loaded(store, "empty.xml"), "");
    const std::string binary("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16);
    folder.Write("skin/a.png", binary);
    CStdString text;
    ASSERT_TRUE(store.Load("a.png", text));
    EXPECT_EQ(text.GetLength(), 16);
    EXPECT_EQ(text.ToStdString(), binary);
}

TEST_F(ResourceStoreTest, ResourcesBeyondTheLimitAreRefused)
{
    // A sparse file: the size field is what counts, no disk is used.
    std::string file = folder.Write("skin/huge.jpg", "");
    std::filesystem::resize_file(file, static_cast<std::uintmax_t>(CResourceStore::kMaxResourceBytes) + 1);
    bool found = true;
    Loaded(store, "huge.jpg", &found);
    EXPECT_FALSE(found);
}
