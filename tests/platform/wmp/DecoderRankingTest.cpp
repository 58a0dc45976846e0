// playbin takes mpg123 for MP3 and faad for AAC once the player ranked the
// decoders, and plays the audio through them; decoders of other formats,
// ranks already above libav's and ranks the user set stay as they were.

#include "platform/wmp/DecoderRanking.h"
#include "platform/wmp/PlayerTestSupport.h"

#include <gst/gst.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace orvane::test;

guint Rank(const char* name)
{
    GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), name);
    if (feature == nullptr)
        return GST_RANK_NONE;
    const guint rank = gst_plugin_feature_get_rank(feature);
    gst_object_unref(feature);
    return rank;
}

void SetRank(const char* name, guint rank)
{
    GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), name);
    ASSERT_NE(feature, nullptr) << name;
    gst_plugin_feature_set_rank(feature, rank);
    gst_object_unref(feature);
}

// Factory names of every element inside `bin`, at any depth.
void CollectFactories(GstBin* bin, std::vector<std::string>& names)
{
    GstIterator* iterator = gst_bin_iterate_recurse(bin);
    GValue item = G_VALUE_INIT;
    while (gst_iterator_next(iterator, &item) == GST_ITERATOR_OK) {
        auto* element = GST_ELEMENT(g_value_get_object(&item));
        if (GstElementFactory* factory = gst_element_get_factory(element))
            names.emplace_back(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)));
        g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(iterator);
}

// The decoders playbin plugged to play `file` to its preroll; empty when it
// did not preroll within ten seconds.
std::vector<std::string> DecodersPlugged(const std::string& file)
{
    gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    g_object_set(playbin, "uri", uri, "audio-sink", gst_element_factory_make("fakesink", nullptr), nullptr);
    g_free(uri);
    std::vector<std::string> decoders;
    gst_element_set_state(playbin, GST_STATE_PAUSED);
    if (gst_element_get_state(playbin, nullptr, nullptr, 10 * GST_SECOND) == GST_STATE_CHANGE_SUCCESS) {
        std::vector<std::string> names;
        CollectFactories(GST_BIN(playbin), names);
        for (const std::string& name : names) {
            GstElementFactory* factory = gst_element_factory_find(name.c_str());
            if (factory == nullptr)
                continue;
            const gchar* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
            if (klass != nullptr && std::string(klass).find("Codec/Decoder") != std::string::npos)
                decoders.push_back(name);
            gst_object_unref(factory);
        }
    }
    gst_element_set_state(playbin, GST_STATE_NULL);
    gst_object_unref(playbin);
    return decoders;
}

class DecoderRanking : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        gst_init(nullptr, nullptr);
        PreferLeanDecoders();
    }

    void SetUp() override { folder = MakeTemporaryFolder(); }
    void TearDown() override { RemoveFolder(folder); }

    std::string folder;
};

TEST_F(DecoderRanking, LeanDecodersGoBeforeEveryLibavDecoderOfTheirFormat)
{
    ASSERT_NE(Rank("mpg123audiodec"), static_cast<guint>(GST_RANK_NONE)) << "mpg123 is installed";
    ASSERT_NE(Rank("faad"), static_cast<guint>(GST_RANK_NONE)) << "faad is installed";
    for (const char* libav : {"avdec_mp3", "avdec_mp3float"})
        EXPECT_GT(Rank("mpg123audiodec"), Rank(libav)) << libav;
    for (const char* libav : {"avdec_aac", "avdec_aac_fixed"})
        EXPECT_GT(Rank("faad"), Rank(libav)) << libav;
}

TEST_F(DecoderRanking, OtherDecodersAndHigherRanksAreLeftAlone)
{
    const guint vorbis = Rank("vorbisdec");
    const guint latm = Rank("avdec_aac_latm");
    SetRank("mpg123audiodec", GST_RANK_PRIMARY + 50);
    PreferLeanDecoders();
    EXPECT_EQ(Rank("mpg123audiodec"), static_cast<guint>(GST_RANK_PRIMARY + 50)) << "never lowered";
    EXPECT_EQ(Rank("vorbisdec"), vorbis);
    EXPECT_EQ(Rank("avdec_aac_latm"), latm);
    const guint faad = Rank("faad");
    PreferLeanDecoders();
    EXPECT_EQ(Rank("faad"), faad) << "a second ranking changes nothing";
}

TEST_F(DecoderRanking, RanksTheUserSetInTheEnvironmentStand)
{
    SetRank("mpg123audiodec", GST_RANK_MARGINAL);
    ::setenv("GST_PLUGIN_FEATURE_RANK", "avdec_mp3:MAX", 1);
    PreferLeanDecoders();
    ::unsetenv("GST_PLUGIN_FEATURE_RANK");
    EXPECT_EQ(Rank("mpg123audiodec"), static_cast<guint>(GST_RANK_MARGINAL));
    PreferLeanDecoders();
    EXPECT_GT(Rank("mpg123audiodec"), Rank("avdec_mp3"));
}

TEST_F(DecoderRanking, PlaybinPlaysMp3WithMpg123AndAacWithFaad)
{
    const std::string mp3 = folder + "/tone.mp3";
    WriteFile(mp3, MakeMp3(1, 128));
    const std::vector<std::string> mp3Decoders = DecodersPlugged(mp3);
    EXPECT_EQ(mp3Decoders, std::vector<std::string>{"mpg123audiodec"});

    const std::string aac = folder + "/tone.m4a";
    RunPipeline("audiotestsrc num-buffers=44 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! "
                "avenc_aac bitrate=128000 ! mp4mux ! filesink location=" + aac);
    const std::vector<std::string> aacDecoders = DecodersPlugged(aac);
    EXPECT_EQ(aacDecoders, std::vector<std::string>{"faad"});
}

} // namespace
