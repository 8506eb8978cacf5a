// Start-up with a library of the full library's size: a generated source of 380 functions (a quarter of
// them members of 82 objects) with doc strings, typed specs and bodies of ordinary code, saved as a boot
// image in the compact form. Prints the image's size and the best time, over a few rounds, of lexing the
// source (what start-up did before the image), of decoding the image, and of decoding it and running its
// top-level code (what start-up does now). Run it from a Release build.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "app/startup.h"
#include "datatypes/block.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "interpreter/boot.h"
#include "interpreter/lexer/lexer.h"
#include "runtime/collector.h"
#include "runtime/memory.h"
#include "runtime/roots.h"
#include "xolbin/xolbin.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int function_count = 380;
constexpr int object_count = 82;
constexpr int rounds = 5;

std::string function_text(int i)
{
    std::string n = std::to_string(i);
    return "func [\n\t\"Returns the value of step " + n
        + " for the series, or none when there is nothing to do\"\n"
          "\tseries [series! none!] \"The values to look at\"\n\tcount [integer!]\n\t/part \"Only so many\" length "
          "[integer!]\n"
          "\t/only \"Keeps blocks as they are\"\n\t/into \"Appends to a given block\" target [block!]\n"
          "\t/local result item names\n] [\n\tnames: [alpha beta gamma delta epsilon zeta eta theta iota kappa]\n"
          "\tif all [into not only] [result: target]\n\tforeach item names [if find series item [print item]]\n"
          "\tif find [none unset] type? series [print \"Expected a series of values, not\" return none]\n\tif none? "
          "series [return none]\n\tresult: make block! count\n"
          "\tforeach item series [\n\t\tif all [integer? item item > "
        + n
        + "] [append result item * 2]\n\t\tif string? item [append result uppercase copy item]\n\t]\n"
          "\tif empty? result [\n\t\tprint [\"nothing at step\" "
        + n
        + " \"for\" mold series]\n\t\treturn none\n\t]\n"
          "\twhile [count > 0] [\n\t\tcount: count - 1\n\t\tinsert tail result reduce [count 'done 1.5 \"text\" "
          "#\"c\"]\n\t]\n"
          "\tcase [\n\t\tcount = 1 [result/1]\n\t\tcount = 2 [reduce [result/1 result/2]]\n"
          "\t\ttrue [either part [copy/part result length] [result]]\n\t]\n]\n";
}

// Objects first hold their share of the functions, the rest are global; every name is distinct.
std::string generated_library()
{
    std::string source = "Xol [title: \"generated\"]\n";
    int next = 0;
    int const members = function_count / 4;
    for (int o = 0; o < object_count; ++o) {
        source += "object-" + std::to_string(o) + ": make object! [\n\tname: \"object " + std::to_string(o)
            + "\"\n\tsize: 10x20\n\tflags: [shown enabled]\n";
        for (int m = o * members / object_count; m < (o + 1) * members / object_count; ++m, ++next)
            source += "\tstep-" + std::to_string(next) + ": " + function_text(next);
        source += "]\n";
    }
    for (; next < function_count; ++next) source += "step-" + std::to_string(next) + ": " + function_text(next);
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
    boot::run_library();
    gc::state.enabled = true;
    std::string const source = generated_library();
    Rooted text(string::from_utf8(source));
    Rooted code(lexer::load_all(*text));
    std::vector<std::uint8_t> const image = xolbin::save(*code, xolbin::Form::Compact);

    double lexing = 1e9, decoding = 1e9, booting = 1e9;
    for (int round = 0; round < rounds; ++round) {
        auto start = Clock::now();
        Rooted lexed(lexer::load_all(*text));
        lexing = std::min(lexing, milliseconds_since(start));

        Rooted into(unset_value);
        block::make_at(*into, 1);
        start = Clock::now();
        xolbin::load_boot(image, *into);
        decoding = std::min(decoding, milliseconds_since(start));

        Rooted again(unset_value);
        block::make_at(*again, 1);
        start = Clock::now();
        xolbin::load_boot(image, *again);
        Rooted loaded(block::rs_head(*again)[0]);
        boot::evaluate_from(*loaded, static_cast<std::uint32_t>(boot::after_header(*loaded)));
        booting = std::min(booting, milliseconds_since(start));
    }
    std::printf("source %zu bytes, image %zu bytes (%d functions, %d objects)\n", source.size(), image.size(),
        function_count, object_count);
    std::printf("lex the source      %8.3f ms\n", lexing);
    std::printf("decode the image    %8.3f ms\n", decoding);
    std::printf("decode and run it   %8.3f ms\n", booting);
    return 0;
}
