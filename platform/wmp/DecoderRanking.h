#pragma once

// Which decoder playbin takes for the formats stations send. Internal to
// platform/wmp; GStreamer must be initialised first.

// Puts the lean decoder of MP3 (mpg123) and of AAC (faad) above libav's
// decoders of the same format, when the lean one is installed. Decoders of
// other formats keep GStreamer's ranks, and nothing changes when the user
// ranks features through GST_PLUGIN_FEATURE_RANK.
void PreferLeanDecoders();
