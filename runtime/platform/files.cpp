// Files and folders on POSIX: open, read, write, lseek and fstat for contents; opendir for listings; stat,
// unlink, rmdir, mkdir and renameat2 for the rest.

#include "runtime/platform/files.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xol::platform {

namespace {

// Closes the descriptor on every way out of the operation.
class Descriptor {
public:
    explicit Descriptor(int descriptor)
        : m_descriptor(descriptor)
    {
    }
    ~Descriptor()
    {
        if (m_descriptor >= 0) close(m_descriptor);
    }
    Descriptor(Descriptor const&) = delete;
    Descriptor& operator=(Descriptor const&) = delete;
    int get() const { return m_descriptor; }

private:
    int m_descriptor;
};

// Closes the folder stream on every way out of a listing.
class FolderStream {
public:
    explicit FolderStream(DIR* stream)
        : m_stream(stream)
    {
    }
    ~FolderStream()
    {
        if (m_stream != nullptr) closedir(m_stream);
    }
    FolderStream(FolderStream const&) = delete;
    FolderStream& operator=(FolderStream const&) = delete;
    DIR* get() const { return m_stream; }

private:
    DIR* m_stream;
};

constexpr std::size_t chunk_size = 65536;

// The name as a C string, or nullopt when it holds a NUL (or is empty, which names nothing).
std::optional<std::string> c_name(std::string_view path)
{
    if (path.empty() || path.find('\0') != std::string_view::npos) return std::nullopt;
    return std::string(path);
}

int open_retrying(char const* name, int flags, mode_t mode = 0)
{
    int opened;
    do {
        opened = open(name, flags, mode);
    } while (opened < 0 && errno == EINTR);
    return opened;
}

bool write_all(int descriptor, std::string_view bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t const count = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (count < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<std::size_t>(count);
    }
    return true;
}

}

std::optional<std::string> read_file(std::string_view path)
{
    ReadResult result = read_file_range(path, 0, -1, static_cast<std::uint64_t>(-1));
    if (result.status != ReadStatus::Read) return std::nullopt;
    return std::move(result.bytes);
}

ReadResult read_file_range(std::string_view path, std::int64_t start, std::int64_t count, std::uint64_t limit)
{
    ReadResult result { ReadStatus::Failed, {} };
    std::size_t filled = 0;
    std::string& bytes = result.bytes;
    result.status = read_file_into(
        path, start, count, limit,
        [&bytes](std::size_t size) {
            bytes.resize(size);
            return bytes.data();
        },
        filled);
    bytes.resize(result.status == ReadStatus::Read ? filled : 0);
    return result;
}

ReadStatus read_file_into(std::string_view path, std::int64_t start, std::int64_t count, std::uint64_t limit,
    ReadRoom const& room, std::size_t& filled)
{
    filled = 0;
    std::optional<std::string> const name = c_name(path);
    if (!name) return ReadStatus::Failed;
    Descriptor const file(open_retrying(name->c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return ReadStatus::Failed;
    struct stat status;
    if (fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) return ReadStatus::Failed;
    if (status.st_size > 0 && static_cast<std::uint64_t>(status.st_size) >= limit) return ReadStatus::TooLarge;
    if (start > 0 && lseek(file.get(), start, SEEK_SET) < 0) {
        // A file that cannot seek (a pipe, some /proc files) is read and its first bytes dropped.
        std::string skipped(chunk_size, '\0');
        std::int64_t left = start;
        while (left > 0) {
            ssize_t const got = read(file.get(), skipped.data(),
                static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(chunk_size))));
            if (got < 0) {
                if (errno == EINTR) continue;
                return ReadStatus::Failed;
            }
            if (got == 0) break;
            left -= got;
        }
    }

    // The reported size is only a first guess for the buffer: the file may be a /proc file that reports
    // 0, or may grow or shrink while it is read. Reading goes on until read says the end is reached.
    std::uint64_t const wanted = count < 0 ? static_cast<std::uint64_t>(-1) : static_cast<std::uint64_t>(count);
    std::uint64_t guess = 0;
    if (status.st_size > start) guess = static_cast<std::uint64_t>(status.st_size - std::max<std::int64_t>(start, 0));
    guess = std::min(guess, wanted);
    std::size_t size = static_cast<std::size_t>(guess < wanted ? guess + 1 : guess); // the end shows at once
    char* buffer = room(size);
    while (filled < wanted) {
        if (filled == size) {
            if (filled >= limit) return ReadStatus::TooLarge;
            size = static_cast<std::size_t>(std::min({ 2 * std::uint64_t { size } + chunk_size, wanted, limit }));
            buffer = room(size);
        }
        ssize_t const got = read(file.get(), buffer + filled, size - filled);
        if (got < 0) {
            if (errno == EINTR) continue;
            return ReadStatus::Failed;
        }
        if (got == 0) break;
        filled += static_cast<std::size_t>(got);
    }
    if (filled >= limit) return ReadStatus::TooLarge;
    return ReadStatus::Read;
}

bool write_file(std::string_view path, std::string_view bytes, WriteMode mode, std::int64_t position)
{
    std::optional<std::string> const name = c_name(path);
    if (!name) return false;
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC;
    if (mode == WriteMode::Truncate) flags |= O_TRUNC;
    if (mode == WriteMode::Append) flags |= O_APPEND;
    Descriptor const file(open_retrying(name->c_str(), flags, 0666));
    if (file.get() < 0) return false;
    if (mode == WriteMode::At && position > 0 && lseek(file.get(), position, SEEK_SET) < 0) return false;
    return write_all(file.get(), bytes);
}

std::optional<std::vector<FolderEntry>> list_folder(std::string_view path)
{
    std::optional<std::string> const name = c_name(path);
    if (!name) return std::nullopt;
    FolderStream const folder(opendir(name->c_str()));
    if (folder.get() == nullptr) return std::nullopt;
    std::vector<FolderEntry> entries;
    for (;;) {
        errno = 0;
        dirent const* entry = readdir(folder.get());
        if (entry == nullptr) {
            if (errno != 0) return std::nullopt;
            break;
        }
        std::string_view const entry_name(entry->d_name);
        if (entry_name == "." || entry_name == "..") continue;
        bool is_folder = entry->d_type == DT_DIR;
        // A link to a folder lists as a folder, and some file systems do not tell the type at all.
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat status;
            is_folder = fstatat(dirfd(folder.get()), entry->d_name, &status, 0) == 0 && S_ISDIR(status.st_mode);
        }
        entries.push_back(FolderEntry { std::string(entry_name), is_folder });
    }
    return entries;
}

std::optional<FileStatus> file_status(std::string_view path)
{
    std::optional<std::string> const name = c_name(path);
    if (!name) return std::nullopt;
    struct stat status;
    if (stat(name->c_str(), &status) != 0) return std::nullopt;
    return FileStatus {
        .folder = S_ISDIR(status.st_mode),
        .size = static_cast<std::int64_t>(status.st_size),
        .modified_seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec),
        .modified_nanoseconds = static_cast<std::int32_t>(status.st_mtim.tv_nsec),
    };
}

bool remove_file(std::string_view path)
{
    std::optional<std::string> const name = c_name(path);
    return name && unlink(name->c_str()) == 0;
}

bool remove_folder(std::string_view path)
{
    std::optional<std::string> const name = c_name(path);
    return name && rmdir(name->c_str()) == 0;
}

bool make_folder(std::string_view path)
{
    std::optional<std::string> const name = c_name(path);
    return name && mkdir(name->c_str(), 0777) == 0;
}

bool rename_file(std::string_view from, std::string_view to)
{
    std::optional<std::string> const old_name = c_name(from);
    std::optional<std::string> const new_name = c_name(to);
    if (!old_name || !new_name) return false;
    if (renameat2(AT_FDCWD, old_name->c_str(), AT_FDCWD, new_name->c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace rename: a hard link fails when the target exists, so the old
    // name goes only once the new one holds the file.
    struct stat status;
    if (lstat(old_name->c_str(), &status) != 0) return false;
    if (!S_ISDIR(status.st_mode)) {
        if (link(old_name->c_str(), new_name->c_str()) != 0) return false;
        return unlink(old_name->c_str()) == 0;
    }
    struct stat target;
    if (lstat(new_name->c_str(), &target) == 0 || errno != ENOENT) return false;
    return rename(old_name->c_str(), new_name->c_str()) == 0;
}

}
