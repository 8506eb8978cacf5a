// XOLBIN: values saved to bytes and read back with their sharing intact. A save writes one value and
// everything it reaches: a series, object or function met a second time is written as a reference (the
// path of positions that leads to its first occurrence), so shared series and cycles come back as they
// were. Two body forms carry the same records: the fixed-width form (every field a 32-bit little-endian
// word, records on 4-byte boundaries) and the compact form (varints, one type byte a record).
//
// File: "XOLBIN", a version byte (2 when written, never read), a flags byte (bit 0 compact, bit 1 body
// compressed, bit 2 symbol table present), then the body: root count (written 1, never read), records
// size, [symbol count N, strings size S, N offsets as 32-bit words, the strings area], the records.
//
// The readers trust nothing: every field is read against the end of its area, every count against the
// bytes left, every nesting against a depth limit, and every value is built through its datatype's
// makers with the invariants that module keeps; a fault is script xb-invalid-record with the byte offset
// (from the first byte of the input, plus 1) where reading stopped. Values appended before a fault stay.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "runtime/cell.h"

namespace xol::xolbin {

// Who is asking. Boot data is the library's own and may carry assignment records and words bound by root
// index; codec data comes from scripts and may not.
enum class Mode { Boot, Codec };

enum class Form { Fixed, Compact };

// Records nest no deeper than this: the readers and writers recurse once a level.
inline constexpr std::uint32_t max_depth = 512;

inline constexpr std::uint8_t flag_compact = 1;
inline constexpr std::uint8_t flag_compressed = 2;
inline constexpr std::uint8_t flag_symbols = 4;
inline constexpr std::uint8_t written_version = 2;

// The bytes of `value` in the form asked. Raises access no-codec for a value of a type that has no record
// (routine!, triple!, handle!, port!, event!, context!, symbol!, an op! of a routine!) and internal
// too-deep past max_depth levels. Allocates nothing on the collector's heap: the node ids it keeps while
// it works stay valid.
std::vector<std::uint8_t> save(Cell const& value, Form form);

// Decodes every root record of `data` and appends each value to `destination` (a block!). Raises script
// invalid-data (with `subject`, or none!, as its argument) when the data is shorter than a header, lacks
// the magic or has a compressed body that does not decode; script xb-invalid-record for a bad record or
// section; access no-codec for a record of a type that has none. May allocate.
void load(std::span<std::uint8_t const> data, Cell const& destination, Mode mode = Mode::Codec,
    Cell const* subject = nullptr);

// The start-up load of the library's image: the same reader with the collector switched off (the image's
// values are rooted only once it is done). A buffer without the magic or with a body that does not decode
// prints its line ("Error: Not a Xolbin file!", "Error: Xolbin compressed data corrupted!") and ends the
// run with status 1; a bad record raises as in any load. May allocate.
// `name_hashes`, when not empty, holds the name hash of each symbol of the image by index.
void load_boot(
    std::span<std::uint8_t const> image, Cell const& destination, std::span<std::uint32_t const> name_hashes = {});

}
