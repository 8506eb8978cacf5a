// Standard input's shared buffer and its UTF-8 line reader.

#include "console/standard_input.h"

#include <algorithm>

namespace xol::console::standard_input {

StandardInputState state;

namespace {

constexpr std::size_t read_size = 64 * 1024;
constexpr char replacement[] = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// Reads more bytes behind the kept ones; false at the end of the input (or an interruption reported).
bool fill(bool report_interruption = false)
{
    if (state.end_seen) return false;
    // Taken bytes are dropped first, so that the buffer holds only what still waits.
    if (state.position > 0) {
        state.bytes.erase(state.bytes.begin(), state.bytes.begin() + static_cast<std::ptrdiff_t>(state.position));
        state.position = 0;
    }
    std::size_t const kept = state.bytes.size();
    state.bytes.resize(kept + read_size);
    platform::InputRead const result = state.source(state.bytes.data() + kept, read_size, report_interruption);
    state.bytes.resize(kept + (result.status == platform::InputStatus::Read ? result.count : 0));
    if (result.status == platform::InputStatus::Ended || result.status == platform::InputStatus::Failed)
        state.end_seen = true;
    return result.status == platform::InputStatus::Read;
}

std::size_t available()
{
    return state.bytes.size() - state.position;
}

// The length of the sequence a lead byte opens, 0 for a byte that cannot open one.
std::size_t sequence_length(std::uint8_t lead)
{
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) return 2;
    if (lead >= 0xE0 && lead <= 0xEF) return 3;
    if (lead >= 0xF0 && lead <= 0xF4) return 4;
    return 0; // a continuation byte, an overlong lead (C0, C1) or a lead above U+10FFFF
}

// Whether `byte` may stand at place `index` (1 to 3) of a sequence opened by `lead`. The second byte's range
// after E0, ED, F0 and F4 shuts out overlong forms, surrogates and codes above U+10FFFF.
bool fits(std::uint8_t lead, std::size_t index, std::uint8_t byte)
{
    if (index == 1) {
        if (lead == 0xE0) return byte >= 0xA0 && byte <= 0xBF;
        if (lead == 0xED) return byte >= 0x80 && byte <= 0x9F;
        if (lead == 0xF0) return byte >= 0x90 && byte <= 0xBF;
        if (lead == 0xF4) return byte >= 0x80 && byte <= 0x8F;
    }
    return byte >= 0x80 && byte <= 0xBF;
}

}

void reset(Source source)
{
    state = StandardInputState {};
    state.source = source;
}

std::string read_line()
{
    std::string line;
    for (;;) {
        if (available() == 0 && !fill()) break;
        std::uint8_t const lead = state.bytes[state.position];
        if (lead == '\n') {
            ++state.position;
            break;
        }
        std::size_t const length = sequence_length(lead);
        if (length == 0) {
            line += replacement;
            ++state.position;
            continue;
        }
        // The whole sequence is fetched before it is judged: it may straddle two reads.
        while (available() < length && fill()) { }
        std::size_t taken = 1;
        while (taken < length && taken < available() && fits(lead, taken, state.bytes[state.position + taken])) ++taken;
        if (taken == length)
            line.append(reinterpret_cast<char const*>(state.bytes.data() + state.position), length);
        else
            line += replacement;
        state.position += taken;
    }
    return line;
}

std::size_t read_bytes(std::uint8_t* buffer, std::size_t capacity)
{
    if (capacity == 0) return 0;
    if (available() == 0 && !fill()) return 0;
    std::size_t const count = std::min(capacity, available());
    std::copy_n(state.bytes.data() + state.position, count, buffer);
    state.position += count;
    return count;
}

std::optional<std::uint8_t> next_byte(bool report_interruption)
{
    if (available() == 0 && !fill(report_interruption)) return std::nullopt;
    return state.bytes[state.position++];
}

void put_back()
{
    // next_byte leaves the byte it answered in the buffer: only a later fill drops taken bytes.
    if (state.position > 0) --state.position;
}

bool has_kept_byte()
{
    return available() > 0;
}

bool ended()
{
    return state.end_seen && available() == 0;
}

}
