// CRC-32 as PNG chunks (and zlib, and Ethernet) use it: polynomial
// 0x04C11DB7, bit-reflected, register and result inverted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace glintvane {

// Continues `crc` (the CRC of the bytes before; 0 to begin) over
// bytes[0 .. count).
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* bytes, size_t count);

// The same eight bytes at a time from tables: the reference for the
// carry-less-multiply version that UpdateCrc32 uses where the processor has it.
uint32_t UpdateCrc32Tables(uint32_t crc, const uint8_t* bytes, size_t count);

}  // namespace glintvane
