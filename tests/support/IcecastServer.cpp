// What is where: process and socket helpers (anonymous namespace); the
// server's life (configuration, start, stop); mounts, titles and HLS; the
// access log and the admin queries.

#include "support/IcecastServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace orvane::test {

namespace {

using namespace std::chrono_literals;

const char* const kSourcePassword = "orvane-source";
const char* const kAdminUser = "admin";
const char* const kAdminPassword = "orvane-admin";
// Milliseconds Icecast and a feeder may take to come up.
constexpr auto kStartTimeout = 10s;
// Between two looks while waiting for the server.
constexpr auto kPollInterval = 50ms;
// Seconds of each HLS segment, and segments kept in its playlist.
constexpr int kHlsSegmentSeconds = 1;
constexpr int kHlsListSize = 6;

std::uint16_t FreePort()
{
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    if (probe < 0)
        throw std::runtime_error("IcecastServer: no socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        close(probe);
        throw std::runtime_error("IcecastServer: no free port");
    }
    close(probe);
    return ntohs(address.sin_port);
}

// Starts `arguments` in a process group of its own, output to `logFile`; the
// child dies with the test process.
pid_t Spawn(const std::vector<std::string>& arguments, const std::string& logFile)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("IcecastServer: fork failed");
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(127);
        const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        const int null = open("/dev/null", O_RDONLY);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
        }
        if (null >= 0)
            dup2(null, 0);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    setpgid(child, child);
    return child;
}

// Ends the process group of `pid`: politely, then for sure.
void EndProcess(pid_t& pid)
{
    if (pid <= 0)
        return;
    kill(-pid, SIGTERM);
    kill(pid, SIGTERM);
    for (int i = 0; i < 40; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            kill(-pid, SIGKILL);
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(25ms);
    }
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    pid = -1;
}

std::string Base64(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                           (static_cast<unsigned char>(bytes[i + 1]) << 8) | static_cast<unsigned char>(bytes[i + 2]);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += alphabet[v & 63];
    }
    if (i + 1 == bytes.size()) {
        const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += "==";
    } else if (i + 2 == bytes.size()) {
        const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
        out += alphabet[(v >> 18) & 63];
        out += alphabet[(v >> 12) & 63];
        out += alphabet[(v >> 6) & 63];
        out += '=';
    }
    return out;
}

std::string PercentEncode(const std::string& bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : bytes) {
        const auto byte = static_cast<unsigned char>(ch);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
            byte == '-' || byte == '_' || byte == '.') {
            out += ch;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

// One HTTP/1.0 GET on 127.0.0.1; the body of a 200 answer, "" otherwise.
std::string HttpGet(std::uint16_t port, const std::string& target, const std::string& authorization)
{
    const int connection = socket(AF_INET, SOCK_STREAM, 0);
    if (connection < 0)
        return "";
    timeval timeout{2, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    setsockopt(connection, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
        close(connection);
        return "";
    }
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!authorization.empty())
        request += "Authorization: Basic " + Base64(authorization) + "\r\n";
    request += "\r\n";
    if (send(connection, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())) {
        close(connection);
        return "";
    }
    std::string answer;
    char buffer[4096];
    for (;;) {
        const ssize_t received = recv(connection, buffer, sizeof(buffer), 0);
        if (received <= 0)
            break;
        answer.append(buffer, static_cast<std::size_t>(received));
    }
    close(connection);
    if (answer.compare(0, 12, "HTTP/1.0 200") != 0 && answer.compare(0, 12, "HTTP/1.1 200") != 0)
        return "";
    const std::size_t bodyStart = answer.find("\r\n\r\n");
    return bodyStart == std::string::npos ? std::string() : answer.substr(bodyStart + 4);
}

template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}

bool OnPath(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::stringstream folders(path != nullptr ? path : "/usr/bin:/bin");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        if (access((folder + "/" + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace

bool IcecastServer::Available()
{
    return OnPath("icecast2") && OnPath("ffmpeg");
}

IcecastServer::IcecastServer()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-icecast-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("IcecastServer: no temporary folder");
    folder = pattern;
    // Icecast runs as nobody when started by root: it must read its folder
    // and write its logs.
    chmod(folder.c_str(), 0755);
    std::filesystem::create_directories(folder + "/log");
    std::filesystem::create_directories(folder + "/web/hls");
    chmod((folder + "/log").c_str(), 0777);
    chmod((folder + "/web").c_str(), 0755);
    chmod((folder + "/web/hls").c_str(), 0755);
    port = FreePort();
    WriteConfiguration();
    try {
        StartServer();
    } catch (...) {
        EndProcess(icecast);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        throw;
    }
}

IcecastServer::~IcecastServer()
{
    EndProcess(hls);
    for (auto& [mount, feeder] : feeders)
        EndProcess(feeder.pid);
    EndProcess(icecast);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
}

std::string IcecastServer::Url(const std::string& path) const
{
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

void IcecastServer::WriteConfiguration() const
{
    std::ofstream file(folder + "/icecast.xml");
    file << "<icecast>\n"
            "  <location>test</location><admin>test@localhost</admin>\n"
            "  <limits><clients>100</clients><sources>16</sources><queue-size>524288</queue-size>\n"
            "    <client-timeout>30</client-timeout><header-timeout>15</header-timeout>\n"
            "    <source-timeout>10</source-timeout><burst-size>65535</burst-size></limits>\n"
            "  <authentication><source-password>"
         << kSourcePassword << "</source-password><admin-user>" << kAdminUser << "</admin-user><admin-password>"
         << kAdminPassword
         << "</admin-password></authentication>\n"
            "  <hostname>127.0.0.1</hostname>\n"
            "  <listen-socket><port>"
         << port
         << "</port><bind-address>127.0.0.1</bind-address></listen-socket>\n"
            "  <fileserve>1</fileserve>\n"
            "  <paths><basedir>/usr/share/icecast2</basedir><logdir>"
         << folder << "/log</logdir><webroot>" << folder
         << "/web</webroot><adminroot>/usr/share/icecast2/admin</adminroot></paths>\n"
            "  <logging><accesslog>access.log</accesslog><errorlog>error.log</errorlog>"
            "<loglevel>2</loglevel></logging>\n"
            "  <security><chroot>0</chroot>";
    if (geteuid() == 0)
        file << "<changeowner><user>nobody</user><group>nogroup</group></changeowner>";
    file << "</security>\n</icecast>\n";
    file.close();
    chmod((folder + "/icecast.xml").c_str(), 0644);
}

void IcecastServer::StartServer()
{
    if (icecast > 0)
        return;
    icecast = Spawn({"icecast2", "-c", folder + "/icecast.xml"}, folder + "/icecast.out");
    if (!WaitFor([this] { return !AdminGet("/admin/listmounts").empty(); }, kStartTimeout))
        throw std::runtime_error("IcecastServer: icecast2 did not start; see " + folder + "/icecast.out");
    for (auto& [mount, feeder] : feeders) {
        EndProcess(feeder.pid);
        feeder.pid = StartFeeder(mount, feeder.format);
    }
    for (auto& [mount, feeder] : feeders) {
        if (!WaitForMount(mount, feeder))
            throw std::runtime_error("IcecastServer: mount " + mount + " did not come back; see " + folder +
                                     "/feeder.out");
    }
}

bool IcecastServer::WaitForMount(const std::string& mount, Feeder& feeder) const
{
    // A feeder that met the server while it was still coming up gives up at
    // once (ffmpeg does not retry): it is started again while there is time.
    return WaitFor(
        [&] {
            if (MountListed(mount))
                return true;
            if (waitpid(feeder.pid, nullptr, WNOHANG) == feeder.pid)
                feeder.pid = StartFeeder(mount, feeder.format);
            return false;
        },
        kStartTimeout);
}

void IcecastServer::StopServer()
{
    for (auto& [mount, feeder] : feeders)
        EndProcess(feeder.pid);
    EndProcess(icecast);
}

pid_t IcecastServer::StartFeeder(const std::string& mount, MountFormat format) const
{
    std::vector<std::string> arguments = {"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi",
                                          "-i", "sine=frequency=440:sample_rate=44100", "-ac", "2"};
    switch (format) {
    case MountFormat::Mp3:
        arguments.insert(arguments.end(), {"-c:a", "libmp3lame", "-b:a", "128k", "-content_type", "audio/mpeg",
                                           "-f", "mp3"});
        break;
    case MountFormat::OggVorbis:
        arguments.insert(arguments.end(), {"-c:a", "libvorbis", "-b:a", "96k", "-content_type",
                                           "application/ogg", "-f", "ogg"});
        break;
    case MountFormat::Aac:
        arguments.insert(arguments.end(), {"-c:a", "aac", "-b:a", "96k", "-content_type", "audio/aac", "-f",
                                           "adts"});
        break;
    }
    arguments.push_back("icecast://source:" + std::string(kSourcePassword) + "@127.0.0.1:" + std::to_string(port) +
                        mount);
    return Spawn(arguments, folder + "/feeder.out");
}

void IcecastServer::AddMount(const std::string& mount, MountFormat format)
{
    Feeder feeder;
    feeder.format = format;
    feeder.pid = StartFeeder(mount, format);
    if (!WaitForMount(mount, feeders[mount] = feeder))
        throw std::runtime_error("IcecastServer: mount " + mount + " did not come up; see " + folder +
                                 "/feeder.out");
}

bool IcecastServer::SetTitle(const std::string& mount, const std::string& titleBytes)
{
    const std::string answer =
        AdminGet("/admin/metadata?mount=" + PercentEncode(mount) + "&mode=updinfo&song=" + PercentEncode(titleBytes));
    return answer.find("<return>1</return>") != std::string::npos;
}

std::string IcecastServer::StartHls()
{
    const std::string target = folder + "/web/hls";
    hls = Spawn({"ffmpeg", "-nostdin", "-loglevel", "error", "-re", "-f", "lavfi", "-i",
                 "sine=frequency=440:sample_rate=44100", "-ac", "2", "-c:a", "aac", "-b:a", "96k", "-f", "hls",
                 "-hls_time", std::to_string(kHlsSegmentSeconds), "-hls_list_size", std::to_string(kHlsListSize),
                 "-hls_flags", "delete_segments", "-hls_segment_filename", target + "/seg%05d.ts",
                 target + "/index.m3u8"},
                folder + "/hls.out");
    // Three segments in the playlist before a player is let at it.
    const bool ready = WaitFor(
        [&target] {
            std::ifstream file(target + "/index.m3u8");
            std::string line;
            int segments = 0;
            while (std::getline(file, line))
                segments += line.find(".ts") != std::string::npos ? 1 : 0;
            return segments >= 3;
        },
        kStartTimeout);
    if (!ready)
        throw std::runtime_error("IcecastServer: the HLS muxer wrote nothing; see " + folder + "/hls.out");
    return Url("/hls/index.m3u8");
}

bool IcecastServer::MountListed(const std::string& mount) const
{
    return AdminGet("/admin/listmounts").find("mount=\"" + mount + "\"") != std::string::npos;
}

std::string IcecastServer::AdminGet(const std::string& target) const
{
    return HttpGet(port, target, std::string(kAdminUser) + ":" + kAdminPassword);
}

std::size_t IcecastServer::LoggedRequests(const std::string& path) const
{
    std::ifstream log(folder + "/log/access.log");
    std::string line;
    std::size_t count = 0;
    const std::string get = "\"GET " + path + " ";
    const std::string getWithQuery = "\"GET " + path + "?";
    while (std::getline(log, line)) {
        if (line.find(get) != std::string::npos || line.find(getWithQuery) != std::string::npos)
            ++count;
    }
    return count;
}

bool IcecastServer::WaitForLoggedRequests(const std::string& path, std::size_t count,
                                          std::chrono::milliseconds timeout) const
{
    return WaitFor([&] { return LoggedRequests(path) >= count; }, timeout);
}

int IcecastServer::Listeners(const std::string& mount) const
{
    const std::string answer = AdminGet("/admin/stats?mount=" + PercentEncode(mount));
    const std::size_t source = answer.find("<source mount=\"" + mount + "\"");
    if (source == std::string::npos)
        return -1;
    const std::size_t tag = answer.find("<listeners>", source);
    if (tag == std::string::npos)
        return -1;
    return std::atoi(answer.c_str() + tag + std::strlen("<listeners>"));
}

} // namespace orvane::test
