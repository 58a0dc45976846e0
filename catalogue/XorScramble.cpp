#include "catalogue/XorScramble.h"

void XorScramble(const unsigned char* source, std::int32_t length, unsigned char* destination,
                 unsigned char key)
{
    for (std::int32_t i = 0; i < length; ++i)
        destination[i] = static_cast<unsigned char>(source[i] ^ key);
}
