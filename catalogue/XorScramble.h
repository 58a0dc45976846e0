#pragma once

#include <cstdint>

// The one-byte key with which the catalogue, the advertisement list and their
// downloaded copies are stored on disk.
constexpr unsigned char kFileKey = 0x5A;

// Writes source[i] ^ key to destination[i] for every i below length. Source
// and destination may be the same buffer; a length of 0 or less does nothing.
// The same call scrambles and unscrambles.
void XorScramble(const unsigned char* source, std::int32_t length, unsigned char* destination,
                 unsigned char key);
