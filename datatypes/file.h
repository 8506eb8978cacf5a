// file!: a file or folder path held as text, "/" between folders. A child of url! with the text layout of
// string!; its read, write, query, delete and rename actions reach the file services of runtime/host/.
#pragma once

#include <string>

#include "datatypes/action_table.h"
#include "runtime/cell.h"

namespace xol::file {

inline constexpr TypeId type_id = type_ids::file;

// Appends the local form of the path's text (from its index) to the string! `output`. Paths are already
// in the local form, so the text goes as it is; with `full` a relative path (one not starting with "/")
// gets the current folder in front, and an empty one is the current folder alone. May allocate.
void to_local(Cell const& path, Cell const& output, bool full);
// The local form as UTF-8 for the file services. An empty path gives an empty name, which names nothing.
std::string local_path(Cell const& path);
// A new file! of the OS's UTF-8 name; bytes that are not UTF-8 become the characters of their codes.
// May allocate.
Cell from_local(std::string_view name);
// Read contents as a value, for files and HTTP bodies alike. Bad or cut UTF-8 raises access invalid-utf8.
// text_from_bytes: a new string! with CR LF and a lone CR as LF, a leading byte-order mark skipped.
// lines_from_bytes: a block of one string! per line, an LF (with a CR before it) ending each; the text after
// the last LF is the last line as it stands, and a final LF adds no empty line. May allocate.
Cell text_from_bytes(std::string_view bytes);
Cell lines_from_bytes(std::string_view bytes);

std::int32_t mold(Cell const& value, Cell& buffer, bool only, bool all, bool flat, Refinement part, std::int32_t limit,
    std::int32_t indent);

extern DatatypeRecord const record; // registered after url!

}
