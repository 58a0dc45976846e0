#pragma once

// Which decoder playbin takes for the formats stations send, and which
// plugins finding out a stream's format loads. Internal to
// platform/wmp; GStreamer must be initialised first.

// Puts the lean decoder of MP3 (mpg123) and of AAC (faad) above libav's
// decoders of the same format, when the lean one is installed. Decoders of
// other formats keep GStreamer's ranks, and nothing changes when the user
// ranks features through GST_PLUGIN_FEATURE_RANK.
void PreferLeanDecoders();

// Takes libav's type finders out of this process's registry; its decoders
// stay. Type finding asks every type finder there is, in rank order, unless
// one is sure, and of a live MP3 or AAC stream, joined anywhere in a frame,
// none is. libav's recognise game, video and studio containers (4xm, EA,
// Westwood, NSV, nut, y4m and the like) that no station sends, and asking
// them loads libavcodec and libavformat (some ten megabytes and 150 ms) into
// a process that then decodes with mpg123 or faad.
void LeaveOutLibavTypeFinders();
