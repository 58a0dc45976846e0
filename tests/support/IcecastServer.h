#pragma once

// A real streaming server for tests: Icecast 2 on 127.0.0.1 at a free port,
// with its own configuration, logs and web folder in a temporary folder, fed
// by ffmpeg encoders that play a sine tone in real time ("-re"). Mounts carry
// titles set through Icecast's admin interface, the way a station's playout
// sets them; an HLS presentation is written by ffmpeg's hls muxer into the
// web folder, which Icecast serves as plain files.
//
// Every process is started in a process group of its own, killed with its
// group when the server stops, and killed by the kernel if the test process
// dies first (parent-death signal). Nothing listens beyond 127.0.0.1.
//
// Icecast refuses to run as root: then it is told to change to nobody/nogroup,
// and its folders are made readable (logs writable) for that user.

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

namespace orvane::test {

enum class MountFormat
{
    Mp3,       // MPEG-1 layer III, 128 kbit/s, ICY titles
    OggVorbis, // Ogg Vorbis, titles in its comment header
    Aac,       // AAC in ADTS frames, ICY titles
};

class IcecastServer
{
public:
    // True when icecast2 and ffmpeg are installed.
    static bool Available();

    // Starts Icecast and waits until it answers; throws std::runtime_error
    // when it does not within a few seconds.
    IcecastServer();
    ~IcecastServer();
    IcecastServer(const IcecastServer&) = delete;
    IcecastServer& operator=(const IcecastServer&) = delete;

    std::uint16_t Port() const { return port; }
    // "http://127.0.0.1:<port><path>"
    std::string Url(const std::string& path) const;

    // Starts an ffmpeg source on `mount` ("/radio.mp3", "/live") and waits
    // until Icecast lists it; throws when it does not come up.
    void AddMount(const std::string& mount, MountFormat format);
    // Sets the mount's title to these bytes, sent as they are (UTF-8 or GBK);
    // false when Icecast did not accept it.
    bool SetTitle(const std::string& mount, const std::string& titleBytes);
    // Starts ffmpeg's hls muxer on a tone into the web folder; returns the
    // URL of its playlist once the first segments are there.
    std::string StartHls();

    // Ends Icecast (its sources see the connection drop and end as well), or
    // starts it again on the same port with the same mounts.
    void StopServer();
    void StartServer();

    // Requests for `path` that Icecast has written to its access log. Icecast
    // logs a request when its connection ends.
    std::size_t LoggedRequests(const std::string& path) const;
    // Waits until LoggedRequests(path) >= count.
    bool WaitForLoggedRequests(const std::string& path, std::size_t count, std::chrono::milliseconds timeout) const;
    // Listeners connected to the mount now, by Icecast's own count.
    int Listeners(const std::string& mount) const;

private:
    struct Feeder
    {
        MountFormat format;
        pid_t pid = -1;
    };

    void WriteConfiguration() const;
    void StartIcecast();
    pid_t StartFeeder(const std::string& mount, MountFormat format) const;
    bool MountListed(const std::string& mount) const;
    // Until `mount` is listed, starting its feeder again whenever it ended.
    bool WaitForMount(const std::string& mount, Feeder& feeder) const;
    // A GET with the admin's credentials; the body, or "" on any failure.
    std::string AdminGet(const std::string& target) const;

    std::string folder;
    std::uint16_t port = 0;
    pid_t icecast = -1;
    pid_t hls = -1;
    std::map<std::string, Feeder> feeders;
};

} // namespace orvane::test
