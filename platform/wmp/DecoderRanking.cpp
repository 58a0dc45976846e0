#include "platform/wmp/DecoderRanking.h"

#include <gst/gst.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>

namespace {

// A lean decoder and libav's decoders that it should go before. Both decode
// the MP3 and the ADTS or MP4 AAC streams stations send; libav's bring libavcodec,
// libavformat and their dependencies into the process. Measured with
// gst-launch-1.0 playbin on a 128 kbit/s file: mpg123 16.5 MiB resident
// against 53.4 MiB for avdec_mp3, faad 17.6 MiB against 55.5 MiB for
// avdec_aac, each at about 0.8 times the CPU time. GStreamer ranks them the
// other way round (MP3: all marginal, and a tie goes by name, to avdec_mp3;
// AAC: libav primary, faad secondary).
struct TPreference
{
    const char* lean;
    std::initializer_list<const char*> others;
};

const TPreference kPreferences[] = {
    {"mpg123audiodec", {"avdec_mp3", "avdec_mp3float"}},
    {"faad", {"avdec_aac", "avdec_aac_fixed"}},
};

// The rank of a feature; GST_RANK_NONE when it is not installed.
guint RankOf(GstRegistry* registry, const char* name)
{
    GstPluginFeature* feature = gst_registry_lookup_feature(registry, name);
    if (feature == nullptr)
        return GST_RANK_NONE;
    const guint rank = gst_plugin_feature_get_rank(feature);
    gst_object_unref(feature);
    return rank;
}

} // namespace

void PreferLeanDecoders()
{
    // Ranks a user set for GStreamer in the environment are the user's word.
    const char* userRanks = std::getenv("GST_PLUGIN_FEATURE_RANK");
    if (userRanks != nullptr && userRanks[0] != '\0')
        return;
    GstRegistry* registry = gst_registry_get();
    for (const TPreference& preference : kPreferences) {
        GstPluginFeature* lean = gst_registry_lookup_feature(registry, preference.lean);
        if (lean == nullptr)
            continue;
        guint highest = GST_RANK_NONE;
        for (const char* other : preference.others)
            highest = std::max(highest, RankOf(registry, other));
        // Never below what GStreamer gave it: with no libav decoder there is
        // nothing to go before.
        if (gst_plugin_feature_get_rank(lean) <= highest)
            gst_plugin_feature_set_rank(lean, highest + 1);
        gst_object_unref(lean);
    }
}

void LeaveOutLibavTypeFinders()
{
    GstRegistry* registry = gst_registry_get();
    GList* features = gst_registry_get_feature_list_by_plugin(registry, "libav");
    for (GList* item = features; item != nullptr; item = item->next) {
        if (GST_IS_TYPE_FIND_FACTORY(item->data))
            gst_registry_remove_feature(registry, GST_PLUGIN_FEATURE(item->data));
    }
    gst_plugin_feature_list_free(features);
}
