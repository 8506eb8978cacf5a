// Substring search in a 10 MB Latin-1 string: string! find against a naive double loop over the same
// bytes, for a pattern near the end. Prints both times; run it from a Release build.

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>

#include "app/startup.h"
#include "datatypes/action_table.h"
#include "datatypes/string.h"
#include "runtime/memory.h"
#include "runtime/roots.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t text_size = 10u * 1024 * 1024;
constexpr int rounds = 5;

// The first position where the pattern starts, by comparing at every position: the baseline.
std::size_t naive_find(std::string_view haystack, std::string_view needle)
{
    for (std::size_t at = 0; at + needle.size() <= haystack.size(); ++at) {
        std::size_t i = 0;
        while (i < needle.size() && haystack[at + i] == needle[i]) ++i;
        if (i == needle.size()) return at;
    }
    return std::string_view::npos;
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

    // Text with near misses: the pattern's first letters recur all along, so a scan must keep checking.
    std::string haystack;
    haystack.reserve(text_size);
    while (haystack.size() + 64 < text_size) haystack += "the needle is not here; neither is the needlx ";
    std::string const needle = "needle-in-the-haystack";
    haystack += needle;
    haystack += " end";

    Rooted text(string::from_utf8(haystack));
    Rooted pattern(string::from_utf8(needle));

    std::size_t found_naive = 0;
    auto start = Clock::now();
    for (int i = 0; i < rounds; ++i) found_naive = naive_find(haystack, needle);
    double const naive_ms = milliseconds_since(start) / rounds;

    Cell found {};
    start = Clock::now();
    for (int i = 0; i < rounds; ++i) found = string::find(*text, *pattern, FindOptions { .case_sensitive = true });
    double const find_ms = milliseconds_since(start) / rounds;

    Cell blind {};
    start = Clock::now();
    for (int i = 0; i < rounds; ++i) blind = string::find(*text, *pattern, FindOptions {});
    double const blind_ms = milliseconds_since(start) / rounds;

    std::printf("string search, %zu bytes, pattern at %zu\n", haystack.size(), found_naive);
    std::printf("  naive double loop:     %8.3f ms\n", naive_ms);
    std::printf("  find/case (library):   %8.3f ms (at %u)\n", find_ms, found.word1);
    std::printf("  find (case-blind):     %8.3f ms (at %u)\n", blind_ms, blind.word1);
    memory::release_all();
    return found.word1 == found_naive && blind.word1 == found_naive ? 0 : 1;
}
