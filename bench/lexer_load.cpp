// Loading a large generated source: about 10 MB of words, set-words, numbers, strings, paths and nested
// blocks through the lexer, timed as a whole and reported in megabytes and values a second. Run it from a
// Release build.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "app/startup.h"
#include "datatypes/block.h"
#include "datatypes/none.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "runtime/stack.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t source_size = 10u * 1024 * 1024;
constexpr int rounds = 3;

// A source like the library's: definitions with blocks of code and data, one a line.
std::string generated_source(std::uint32_t& values)
{
    std::string source;
    source.reserve(source_size + 256);
    values = 0;
    for (std::uint32_t i = 0; source.size() < source_size; ++i) {
        source += "item-" + std::to_string(i % 997) + ": func [value /local count] [\n";
        source += "    count: length? value/items  ; how many there are\n";
        source += "    either count > " + std::to_string(i % 100)
            + " [print [\"many\" count 1.5e3]] [append value/items " + std::to_string(i) + "]\n";
        source += "]\n";
        values += 1;
    }
    return source;
}

double milliseconds_since(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}

int main()
{
    using namespace xol;
    app::init();
    lexer::init();
    gc::state.enabled = true;

    std::uint32_t definitions = 0;
    std::string const source = generated_source(definitions);
    std::uint32_t loaded = 0;
    double best_ms = 1e300;
    for (int round = 0; round < rounds; ++round) {
        Cell* result = stack::push(none_value);
        auto const start = Clock::now();
        lexer::scan(*result, reinterpret_cast<std::uint8_t const*>(source.data()),
            static_cast<std::uint32_t>(source.size()), {}, nullptr, none_value, none_value, nullptr);
        double const elapsed = milliseconds_since(start);
        if (elapsed < best_ms) best_ms = elapsed;
        loaded = block::rs_length_q(*result);
        stack::pop(1);
    }
    double const megabytes = static_cast<double>(source.size()) / (1024.0 * 1024.0);
    std::printf("lexer load, %.1f MB, %u top-level values (%u definitions)\n", megabytes, loaded, definitions);
    std::printf("  best of %d:  %8.1f ms  %7.1f MB/s\n", rounds, best_ms, megabytes / (best_ms / 1000.0));
    memory::release_all();
    return loaded == definitions * 4 ? 0 : 1; // a set-word, func and two blocks each
}
