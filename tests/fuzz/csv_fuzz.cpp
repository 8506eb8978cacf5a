// Fuzz target for the CSV reader: the first byte chooses the refinements of load-csv (/with, /header,
// /as-columns, /as-records, /flat, /trim, /quote), the second and third bytes the delimiter and the quote
// character, and the rest, as text, is the data. Rows that come back as a table of equal rows are written
// with to-csv under the same delimiter and quote (ASCII, neither a line end nor a letter, which the reader
// matches in either case) and read again, and must come back equal: a difference is lost data, reported as
// a fault. The same call is made of the reader's rules written as a parse grammar (the reference below): the
// value, the returned error or the raised error's text must be the same, else that is reported as a fault.
// A raised language error or a returned error! is an answer; a crash, a sanitizer report, an assertion or a
// hang is a fault. Seeds: tests/fuzz/csv_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "datatypes/logic.h"
#include "runtime/roots.h"
#include "tests/fuzz/script_fuzz.h"

namespace {

using namespace xol;

// The reference, the call and the round trip, lexed once and kept alive: `fuzz-data` holds each input as a
// binary!, and `fuzz-lost` is set to true when a table does not read back as itself or the reader and the
// reference disagree.
Cell const* fuzz_code = nullptr;

bool start()
{
    fuzz_code = &fuzz::booted_script(R"~([
        fuzz-lost: false
        unless value? 'fuzz-old-load-csv [
context [
	ignore-empty?: false ; an empty last field of a row is kept
	strict?: true ; every row has as many fields as the first
	quote-char: #"^""
	double-quote: {""}
	quotable-chars: charset { ^/^M",}
	non-aligned: "Data are not aligned"
	trim-text: :trim

	next-column-name: func [name [char! string!] /local i c] [
		name: copy form name
		i: length? name
		while [i > 0] [
			c: pick name i
			either find "Zz" c [
				poke name i #"A"
				i: i - 1
			] [
				poke name i c + 1
				i: -1
			]
		]
		if i = 0 [insert name #"A"]
		name
	]

	make-header: func [length [integer!] /local names name] [
		names: reduce [name: "A"]
		loop length - 1 [append names name: next-column-name name]
		names
	]

	set 'fuzz-old-load-csv func [
		"Converts CSV text to a block of rows, where each row is a block of fields"
		data [string!] "Text CSV data to load"
		/with "Delimiter to use (default is comma)"
			delimiter [char! string!]
		/header "Treat first line as header; implies /as-columns if /as-records is not used"
		/as-columns "Returns named columns; default names if /header is not used"
		/as-records "Returns records instead of rows; implies /header"
		/flat "Returns a flat block; you need to know the number of fields"
		/trim "Ignore spaces between quotes and delimiter"
		/quote "Use different character for quotes than double quote"
			qt-char [char!]
		/local output columns row value longest expected header-row quotchars valchars newline
			quoted-value normal-value single-value values add-value add-line line header-line pos doubled record
	] [
		foreach [first-name second-name] [as-columns as-records flat as-columns flat as-records flat header] [
			if all [get first-name get second-name] [
				return make error! rejoin ["Cannot use /" first-name " and /" second-name " refinements together"]
			]
		]
		if all [header not as-records] [as-columns: true]
		delimiter: any [delimiter #","]
		quote-char: any [qt-char #"^""]
		doubled: rejoin [quote-char quote-char]
		output: make block! (length? data) / 80
		columns: make map! []
		row: make block! 16
		value: make string! 100
		longest: 0
		expected: none
		header-row: reduce ["A"]

		newline: [crlf | #"^/" | #"^M"]
		quotchars: complement charset quote-char
		valchars: complement charset reduce [#"^/" #"^M" delimiter]
		quoted-value: [
			quote-char copy value any [quotchars | 2 quote-char] quote-char (replace/all/case value doubled quote-char)
		]
		normal-value: [copy value any valchars]
		single-value: [quoted-value | normal-value]
		values: [any [single-value delimiter add-value] single-value add-value]
		add-value: [(
			if trim [
				trim-text value
				if all [2 <= length? value quote-char = first value quote-char = last value] [
					value: copy/part next value (length? value) - 2
				]
			]
			append row copy value
		)]
		add-line: [(
			if all [ignore-empty? empty? last row] [take/last row]
			either expected [
				if all [strict? expected <> length? row] [return make error! non-aligned]
			] [expected: length? row]
			longest: max longest length? row
			case [
				as-records [
					while [(length? header-row) < length? row] [append header-row next-column-name last header-row]
					record: make map! length? row
					repeat i length? row [put record pick header-row i pick row i]
					append output record
				]
				flat [append output row]
				true [append/only output copy row]
			]
			clear row
		)]
		line: [not end (clear row) values [newline | end] add-line]
		header-line: either header [[values newline (header-row: copy row clear row) pos:]] [[end skip]]

		parse data [
			opt header-line
			(if all [header any [none? pos tail? pos]] [cause-error 'user 'message ["CSV data are too small to use /HEADER refinement"]])
			[some line | end | (clear row) values add-line]
			any newline
		]
		if as-columns [
			if longest > length? header-row [header-row: make-header longest]
			repeat i length? header-row [
				value: make block! length? output
				foreach item output [append/only value pick item i]
				put columns pick header-row i value
			]
			return columns
		]
		output
	]

]

        ]
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
            insert/only fuzz-args fuzz-call
            fuzz-old: try [do head change/only copy fuzz-args to path! head change copy fuzz-call 'fuzz-old-load-csv]
            fuzz-value: try [do fuzz-args]
            unless either error? :fuzz-old [
                all [error? :fuzz-value fuzz-value/id = fuzz-old/id equal? mold :fuzz-value/arg1 mold :fuzz-old/arg1]
            ] [
                all [not error? :fuzz-value equal? mold/all :fuzz-value mold/all :fuzz-old]
            ] [fuzz-lost: true]
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
