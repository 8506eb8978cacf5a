// Files on POSIX: whole-file reads through open, fstat and read.

#include "runtime/platform/files.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xol::platform {

namespace {

// Closes the descriptor on every way out of the read.
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

constexpr std::size_t chunk_size = 65536;

}

std::optional<std::string> read_file(std::string_view path)
{
    // The C library cannot see past an embedded NUL: such a name would open another file.
    if (path.find('\0') != std::string_view::npos) return std::nullopt;
    std::string const name(path);
    int opened;
    do {
        opened = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    } while (opened < 0 && errno == EINTR);
    Descriptor const file(opened);
    if (file.get() < 0) return std::nullopt;

    struct stat status;
    if (fstat(file.get(), &status) != 0 || S_ISDIR(status.st_mode)) return std::nullopt;

    // The reported size is only a first guess for the buffer: the file may be a /proc file that reports
    // 0, or may grow or shrink while it is read. Reading goes on until read says the end is reached.
    std::size_t const guess = status.st_size > 0 ? static_cast<std::size_t>(status.st_size) : 0;
    std::string bytes(guess + 1, '\0'); // one byte more, so that the end shows without growing
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) bytes.resize(2 * bytes.size() + chunk_size);
        ssize_t const count = read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (count < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        if (count == 0) break;
        filled += static_cast<std::size_t>(count);
    }
    bytes.resize(filled);
    return bytes;
}

}
