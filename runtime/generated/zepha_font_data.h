// The runtime's own face "ZEPHA-font" as the bytes of its TrueType file. Platform-free.
#pragma once

namespace zepha {

extern const unsigned char FONT_DATA[];   // the face "ZEPHA-font", a TrueType file
extern const unsigned int FONT_DATA_SIZE; // its size in bytes

} // namespace zepha
