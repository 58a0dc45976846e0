// Playlists as a server may send them, resolved against a station's address.

#include "platform/wmp/Playlist.h"

#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    IsHlsPlaylist(text);
    ParsePlaylist(text, "http://radio.example:8000/listen/tunein.pls");
    ParsePlaylist(text, "");
    return 0;
}
