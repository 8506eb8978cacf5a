// Files and folders as byte strings: whole-file reads and writes, listings, status, removal and renaming.
// Failures come back as values, never as raises: the language-level operation decides which error a
// failure becomes. A name holding a NUL byte fails every operation as a missing file would: the C library
// cannot see past the NUL, so such a name would otherwise reach another file.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xol::platform {

// The file's bytes, read to its end (so files whose size the OS does not report, such as those under
// /proc, read whole); nullopt when the path names no readable regular file: missing, a directory, no
// permission, a read error, or a name holding a NUL byte.
std::optional<std::string> read_file(std::string_view path);

// What a ranged read found.
enum class ReadStatus {
    Read, // the bytes are the file's from the start position
    Failed, // no readable file: missing, a directory, no permission, a read error, a NUL in the name
    TooLarge, // the file, or what is left of it to read, holds `limit` bytes or more
};

struct ReadResult {
    ReadStatus status;
    std::string bytes;
};

// The bytes of a file from `start` (0 for the beginning), at most `count` of them (-1: to the end). The
// reading goes on until the count or the end of the file, whatever size the OS reported, so a file that
// shrank or grew while it was read gives the bytes it held. A start at or past the end gives no bytes.
// More than `limit` bytes to read gives TooLarge, as does a file of `limit` bytes or more reported by
// the OS.
ReadResult read_file_range(std::string_view path, std::int64_t start, std::int64_t count, std::uint64_t limit);

// Where a ranged read puts the bytes: called with a size, it answers a buffer of at least that many bytes
// whose start holds the bytes read so far (the buffer may have moved since the last call).
using ReadRoom = std::function<char*(std::size_t size)>;

// The same read into the caller's buffer; `filled` gets the count of bytes read.
ReadStatus read_file_into(std::string_view path, std::int64_t start, std::int64_t count, std::uint64_t limit,
    ReadRoom const& room, std::size_t& filled);

enum class WriteMode {
    Truncate, // the file is emptied first (made when missing)
    Append, // the bytes go after the end (made when missing)
    At, // the bytes go at a position, the rest of the file kept (made when missing)
};

// Writes the bytes to the file, made with mode 0666 less the umask when missing; `position` counts only
// with WriteMode::At. False when the file cannot be opened for writing or a write fails.
bool write_file(std::string_view path, std::string_view bytes, WriteMode, std::int64_t position);

struct FolderEntry {
    std::string name;
    bool folder; // a folder, or a symbolic link to one
};

// The entries of a folder in the order the OS gives them, without "." and ".."; nullopt when it cannot be
// listed.
std::optional<std::vector<FolderEntry>> list_folder(std::string_view path);

struct FileStatus {
    bool folder;
    std::int64_t size; // in bytes
    std::int64_t modified_seconds; // the last change of the contents, UTC seconds since 1970
    std::int32_t modified_nanoseconds;
};

// The status of what the path names, symbolic links followed: nullopt when nothing is there (a dangling
// link included) or it cannot be examined.
std::optional<FileStatus> file_status(std::string_view path);

bool remove_file(std::string_view path);
bool remove_folder(std::string_view path); // only an empty folder
bool make_folder(std::string_view path); // mode 0777 less the umask
// Renames, never replacing: false when the target exists, as when the rename fails.
bool rename_file(std::string_view from, std::string_view to);

}
