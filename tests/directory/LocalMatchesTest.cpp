// The first results of a search: the catalogue's stations and the user's
// own whose name contains the text.

#include "directory/LocalMatches.h"

#include <gtest/gtest.h>

namespace {

const char* const kCatalogue = R"(<?xml version="1.0" encoding="UTF-8"?>
<catalogue>
  <city name="中央">
    <station name="中国之声" url="http://127.0.0.1:9/zgzs" style="新闻"/>
    <station name="音乐之声" url="http://127.0.0.1:9/yyzs" style="音乐"/>
    <station name="Hit FM" url="http://127.0.0.1:9/hit" style="音乐"/>
    <station name="没有地址"/>
  </city>
  <styles><style name="音乐之声的风格"/></styles>
  <city name="上海">
    <station name="动感101 MUSIC Radio" url="http://127.0.0.1:9/dg101" style="音乐"/>
    <station name="音乐之声" url="http://127.0.0.1:9/yyzs" style="音乐"/>
  </city>
</catalogue>
<version>3</version>
)";

struct TMatchRow
{
    const char* text;
    std::vector<std::string> names;
};

class LocalMatchesRows : public testing::TestWithParam<TMatchRow>
{
};

TEST_P(LocalMatchesRows, NamesInOrder)
{
    TiXmlDocument catalogue;
    catalogue.Parse(kCatalogue, nullptr, TIXML_ENCODING_UTF8);
    ASSERT_FALSE(catalogue.Error());
    const std::vector<TNamedUrl> own = {{"我的音乐台", "http://127.0.0.1:9/mine"},
                                        {"音乐之声 (我的)", "http://127.0.0.1:9/yyzs"},
                                        {"hit fm 台湾", "http://127.0.0.1:9/hit-tw"}};
    std::vector<std::string> names;
    for (const TNamedUrl& match : LocalMatches(catalogue, own, GetParam().text))
        names.push_back(match.name);
    EXPECT_EQ(names, GetParam().names) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LocalMatchesRows,
    testing::Values(
        // The same stream in two regions and among my stations comes once, first where it is first.
        TMatchRow{"音乐", {"音乐之声", "我的音乐台"}},
        TMatchRow{"hit fm", {"Hit FM", "hit fm 台湾"}},
        TMatchRow{"Music", {"动感101 MUSIC Radio"}},
        TMatchRow{"之声", {"中国之声", "音乐之声"}},
        TMatchRow{"风格", {}},   // a style's name is not a station's
        TMatchRow{"没有", {}},   // a station without an address is outside the format
        TMatchRow{"", {}},
        TMatchRow{"电台目录", {}}));

struct TContainsRow
{
    const char* name;
    const char* text;
    bool contains;
};

class NameContainsRows : public testing::TestWithParam<TContainsRow>
{
};

TEST_P(NameContainsRows, Answer)
{
    EXPECT_EQ(NameContains(GetParam().name, GetParam().text), GetParam().contains)
        << GetParam().name << " / " << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NameContainsRows,
    testing::Values(TContainsRow{"Radio Swiss Classic", "SWISS", true}, TContainsRow{"abc", "abcd", false},
                    TContainsRow{"音乐之声", "乐之", true}, TContainsRow{"音乐之声", "声x", false},
                    TContainsRow{"ÄBC", "äbc", false}, // only ASCII letters fold
                    TContainsRow{"x", "", true}, TContainsRow{"aaab", "aab", true}));

} // namespace
