#pragma once

// CStreamTap: what the player learns from the answer of the HTTP connection
// that plays, without a second request. It sits on the HTTP source's output
// (a pad probe) and
//   - reads the response headers: content type, ICY metadata interval, and
//     whether the answer has a length (a station's answer has none: it is
//     live);
//   - when the answer is a playlist rather than audio (by its content type,
//     or by its first bytes when the type says nothing), keeps the body from
//     the decoder and hands it over whole;
//   - when the server interleaves ICY metadata, takes it out of the audio and
//     hands over each StreamTitle, decoded by the text rule (valid UTF-8 as
//     it is, otherwise GB18030).
//
// The tap runs on the source's streaming thread. It reports through the
// callbacks it was given, which must only queue; it holds no reference to
// the player.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

using GstElement = struct _GstElement;

// How the answer of the connection was read.
enum class StreamAnswer
{
    Audio,    // plays as it is (the audio may carry ICY titles)
    Playlist, // a .pls / .m3u text: its body is handed over
};

struct StreamTapCallbacks
{
    // The headers were read: whether the answer is live (no length, or ICY);
    // called again when the body turns out to be a live HLS playlist.
    std::function<void(bool live)> headers;
    // Playlist body, with the URL it came from (for relative entries).
    std::function<void(const std::string& body, const std::string& baseUrl)> playlist;
    // A new StreamTitle; "" when the station cleared it.
    std::function<void(const std::string& title)> title;
    // Any data from the source (progress for the stall watchdog).
    std::function<void()> data;
};

class CStreamTap
{
public:
    // Adds the ICY request header to `source` when it takes extra headers,
    // and the probe on its output. The tap lives as long as the probe.
    static void Attach(GstElement* source, StreamTapCallbacks callbacks);

    // Exposed for tests of the parsing itself.
    explicit CStreamTap(StreamTapCallbacks callbacks);
    // Response headers as "name: value" lines (any case, with or without a
    // space after the colon). Returns how the body will be read.
    StreamAnswer ReadHeaders(const std::string& headerLines, const std::string& url, bool hasLength);
    // A piece of the body; returns the audio bytes to pass on (empty while a
    // playlist is collected).
    std::string ReadBody(const std::string& bytes);
    // The end of the body (a playlist shorter than the cap is handed over
    // now). True when the body was a playlist, whose end is kept from the
    // decoder like its bytes.
    bool ReadEnd();

private:
    void DeliverPlaylist();
    void ParseMetadata(const std::string& block);

    StreamTapCallbacks callbacks;
    std::string url;
    bool headersRead = false;
    bool bodyStarted = false;
    bool sniffing = false;     // type said nothing: the first bytes decide
    bool collecting = false;   // the body is a playlist
    bool delivered = false;
    std::string collected;
    std::size_t metaInterval = 0; // bytes of audio between two metadata blocks; 0: none
    std::size_t audioLeft = 0;    // audio bytes before the next length byte
    std::size_t metaLeft = 0;     // metadata bytes still to read
    bool lengthNext = false;
    std::string metadata;
    std::string lastTitle;
    bool titleSeen = false;
};

// The text rule of titles: valid UTF-8 as it is, otherwise converted from
// GB18030 (bytes that are not GB18030 either become U+FFFD).
std::string TitleToUtf8(const std::string& bytes);
