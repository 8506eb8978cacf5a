// The file services under file!'s actions, the directory routines and size?: paths in the local form as
// UTF-8 bytes, contents as bytes. Failures come back as values; the language-level operation raises.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xol::host::files {

// Contents of 2 GiB or more do not fit a series: such files read as failures.
inline constexpr std::uint64_t read_limit = std::uint64_t { 1 } << 31;

// Whether a path names a folder by its text alone: an ending "/", or a last segment "." or "..". A name
// that merely ends in a dot is a file.
bool folder_path_q(std::u32string_view path);
bool folder_path_q(std::string_view path);

// The bytes of a file: from `seek` (-1: the start) at most `part` bytes (-1: all). A part of 0 and a seek at
// or past the end give no bytes, once the file has opened. nullopt when the path names no readable file
// (missing, a folder, no permission) or the file holds 2 GiB or more.
std::optional<std::string> read(std::string_view path, std::int64_t seek, std::int64_t part);

// The same read into the caller's buffer: `room(size)` answers a buffer of at least `size` bytes whose start
// holds the bytes read so far. The count of bytes read, or nullopt as above.
using ReadRoom = std::function<char*(std::size_t size)>;
std::optional<std::size_t> read_into(std::string_view path, std::int64_t seek, std::int64_t part, ReadRoom const&);

// Writes the bytes: at the end with `append`, at `seek` keeping the rest when seek >= 0, else over the
// whole file. False when the file cannot be opened or written.
bool write(std::string_view path, std::string_view bytes, bool append, std::int64_t seek);

// The names in a folder sorted by their bytes, each folder's (and each link to a folder's) with "/" after
// it; "." and ".." left out. nullopt when the folder cannot be listed.
std::optional<std::vector<std::string>> list_folder(std::string_view path);

struct FileTime {
    std::int64_t seconds; // UTC seconds since 1970
    std::int32_t milliseconds;
};

// The time the contents last changed, to the millisecond; nullopt when nothing is there or when
// `as_folder` asks for a folder and the path names a file.
std::optional<FileTime> modified(std::string_view path, bool as_folder);

bool exists_q(std::string_view path); // links followed: a dangling link does not exist
// The size in bytes of a file; nullopt for a folder or when nothing is there.
std::optional<std::int64_t> size_of(std::string_view path);
// An empty folder when `folder`, else a file; true when it is gone.
bool remove(std::string_view path, bool folder);
bool rename(std::string_view from, std::string_view to); // never replaces an existing target
bool make_folder(std::string_view path);
// The current folder with "/" at its end; nullopt when it cannot be read.
std::optional<std::string> current_folder();
bool set_current_folder(std::string_view path);

}
