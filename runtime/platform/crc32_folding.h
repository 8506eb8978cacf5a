// CRC-32 over long inputs with the processor's carry-less multiply, where it has one. The caller keeps the
// CRC itself (tables, the start and end conventions); this only shortens the input: it folds 64-byte
// blocks, four 128-bit lanes at a time, into one 16-byte remainder of the same residue modulo the CRC-32
// polynomial, bit-reflected as the CRC's bytes are.
#pragma once

#include <cstddef>
#include <cstdint>

namespace xol::platform {

// True when this processor multiplies without carries (checked once, at the first call).
bool crc32_folding_available();

// Folds `length` bytes (a multiple of 64, at least 64) whose CRC register before them is `crc` (the running,
// inverted register, not the final value) into 16 bytes at `remainder`: running the plain bytewise register
// from 0 over those 16 bytes gives the register after the whole input. Only when crc32_folding_available().
void crc32_fold(std::uint32_t crc, std::uint8_t const* bytes, std::size_t length, std::uint8_t* remainder);

}
