// The file services over the platform layer: the textual folder test, ranged reads, sorted listings and
// file times.

#include "runtime/host/files.h"

#include <algorithm>

#include "runtime/platform/environment.h"
#include "runtime/platform/files.h"

namespace xol::host::files {

namespace {

// The last three characters decide: "/" at the end, or "." or ".." alone or after a "/".
template <typename Text> bool folder_path_of(Text path)
{
    std::size_t const size = path.size();
    if (size == 0) return false;
    auto const last = path[size - 1];
    if (last == '/') return true;
    if (last != '.') return false;
    if (size == 1) return true;
    auto const second = path[size - 2];
    if (second == '/') return true;
    if (second != '.') return false;
    return size == 2 || path[size - 3] == '/';
}

}

bool folder_path_q(std::u32string_view path)
{
    return folder_path_of(path);
}

bool folder_path_q(std::string_view path)
{
    return folder_path_of(path);
}

std::optional<std::string> read(std::string_view path, std::int64_t seek, std::int64_t part)
{
    platform::ReadResult result = platform::read_file_range(path, std::max<std::int64_t>(seek, 0), part, read_limit);
    if (result.status != platform::ReadStatus::Read) return std::nullopt;
    return std::move(result.bytes);
}

std::optional<std::size_t> read_into(std::string_view path, std::int64_t seek, std::int64_t part, ReadRoom const& room)
{
    std::size_t filled = 0;
    platform::ReadStatus const status
        = platform::read_file_into(path, std::max<std::int64_t>(seek, 0), part, read_limit, room, filled);
    if (status != platform::ReadStatus::Read) return std::nullopt;
    return filled;
}

bool write(std::string_view path, std::string_view bytes, bool append, std::int64_t seek)
{
    platform::WriteMode const mode = append ? platform::WriteMode::Append
        : seek >= 0                         ? platform::WriteMode::At
                                            : platform::WriteMode::Truncate;
    return platform::write_file(path, bytes, mode, seek);
}

std::optional<std::vector<std::string>> list_folder(std::string_view path)
{
    std::optional<std::vector<platform::FolderEntry>> entries = platform::list_folder(path);
    if (!entries) return std::nullopt;
    // One stable order whatever the file system returns: bytes compared as unsigned. Each name is ordered
    // first by its first eight bytes read as one big-endian number (a name holds no NUL, so a shorter name
    // sorts first), then by the rest: most comparisons are one integer compare, and the sort moves small keys.
    struct Key {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<Key> keys;
    keys.reserve(entries->size());
    for (std::size_t i = 0; i < entries->size(); ++i) {
        std::string& name = (*entries)[i].name;
        if ((*entries)[i].folder) name.push_back('/');
        std::uint64_t prefix = 0;
        for (std::size_t k = 0; k < 8; ++k)
            prefix = prefix << 8 | (k < name.size() ? static_cast<unsigned char>(name[k]) : 0u);
        keys.push_back(Key { prefix, static_cast<std::uint32_t>(i) });
    }
    std::sort(keys.begin(), keys.end(), [&](Key const& a, Key const& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        std::string const& first = (*entries)[a.index].name;
        std::string const& second = (*entries)[b.index].name;
        if (first.size() <= 8 || second.size() <= 8) return first.size() < second.size();
        return first.compare(8, std::string::npos, second, 8, std::string::npos) < 0;
    });
    std::vector<std::string> names;
    names.reserve(keys.size());
    for (Key const& key : keys) names.push_back(std::move((*entries)[key.index].name));
    return names;
}

std::optional<FileTime> modified(std::string_view path, bool as_folder)
{
    std::optional<platform::FileStatus> const status = platform::file_status(path);
    if (!status || (as_folder && !status->folder)) return std::nullopt;
    return FileTime { status->modified_seconds, status->modified_nanoseconds / 1'000'000 };
}

bool exists_q(std::string_view path)
{
    return platform::file_status(path).has_value();
}

std::optional<std::int64_t> size_of(std::string_view path)
{
    std::optional<platform::FileStatus> const status = platform::file_status(path);
    if (!status || status->folder) return std::nullopt;
    return status->size;
}

bool remove(std::string_view path, bool folder)
{
    return folder ? platform::remove_folder(path) : platform::remove_file(path);
}

bool rename(std::string_view from, std::string_view to)
{
    return platform::rename_file(from, to);
}

bool make_folder(std::string_view path)
{
    return platform::make_folder(path);
}

std::optional<std::string> current_folder()
{
    std::optional<std::string> folder = platform::current_dir();
    if (folder && (folder->empty() || folder->back() != '/')) folder->push_back('/');
    return folder;
}

bool set_current_folder(std::string_view path)
{
    return platform::set_current_dir(path);
}

}
