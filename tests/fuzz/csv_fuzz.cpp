// Fuzz target for the CSV reader: the first byte chooses the refinements of load-csv (/with, /header,
// /as-columns, /as-records, /flat, /trim, /quote), the second and third bytes the delimiter and the quote
// character, and the rest, as text, is the data. Rows that come back as a table of equal rows are written
// with to-csv under the same delimiter and quote (ASCII, neither a line end nor a letter, which the reader
// matches in either case) and read again, and must come back equal: a difference is lost data, reported as
// a fault. A raised language error or a returned error! is
// an answer; a crash, a sanitizer report, an assertion or a hang is a fault. Seeds: tests/fuzz/csv_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "datatypes/logic.h"
#include "runtime/roots.h"
#include "tests/fuzz/script_fuzz.h"

namespace {

using namespace xol;

// The call and the round trip, lexed once and kept alive: `fuzz-data` holds each input as a binary!, and
// `fuzz-lost` is set to true when a table does not read back as itself.
Cell const* fuzz_code = nullptr;

bool start()
{
    fuzz_code = &fuzz::booted_script(R"~([
        fuzz-lost: false
        if 3 <= length? fuzz-data [
            fuzz-flags: to integer! first fuzz-data
            fuzz-delimiter: to char! second fuzz-data
            fuzz-quote: to char! third fuzz-data
            fuzz-text: to string! skip fuzz-data 3
            fuzz-call: make path! [load-csv]
            fuzz-args: reduce [fuzz-text]
            foreach [bit word] [1 with 2 header 4 as-columns 8 as-records 16 flat 32 trim 64 quote] [
                if 0 <> (fuzz-flags and bit) [
                    append fuzz-call word
                    if word = 'with [append fuzz-args fuzz-delimiter]
                    if word = 'quote [append fuzz-args fuzz-quote]
                ]
            ]
            fuzz-value: do head insert/only fuzz-args fuzz-call
            if all [
                0 = (fuzz-flags and 62)
                fuzz-delimiter <> fuzz-quote
                not find "^/^M" fuzz-delimiter
                not find "^/^M" fuzz-quote
                not find "abcdefghijklmnopqrstuvwxyz" fuzz-delimiter
                not find "abcdefghijklmnopqrstuvwxyz" fuzz-quote
                fuzz-delimiter < #"^(80)"
                fuzz-quote < #"^(80)"
                block? :fuzz-value
                not empty? fuzz-value
                block? first fuzz-value
                fuzz-width: length? first fuzz-value
                0 < fuzz-width
                fuzz-rows?: true
            ] [
                foreach row fuzz-value [
                    unless all [block? :row fuzz-width = length? row] [fuzz-rows?: false]
                ]
                if fuzz-rows? [
                    fuzz-text: to-csv/with/quote fuzz-value fuzz-delimiter fuzz-quote
                    fuzz-back: load-csv/with/quote fuzz-text fuzz-delimiter fuzz-quote
                    unless fuzz-back == fuzz-value [fuzz-lost: true]
                ]
            ]
        ]
    ])~");
    return true;
}

}

extern "C" int LLVMFuzzerTestOneInput(std::uint8_t const* data, std::size_t size)
{
    static bool const ready = start();
    (void)ready;
    fuzz::run_on_input(*fuzz_code, data, size);
    Rooted lost(word::make_global("fuzz-lost"));
    if (logic::true_q(*word::get_value(*lost))) {
        std::fputs("csv_fuzz: a table written by to-csv reads back different\n", stderr);
        __builtin_trap();
    }
    return 0;
}
