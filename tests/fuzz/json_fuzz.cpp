// Fuzz target for the JSON codec: arbitrary bytes as a binary! given to system/codecs/json/decode, as a
// script would; whatever decodes is written back with to-json, compact, pretty and ASCII, and decoded
// again. The reader and the writer are checked against the codec's rules written as parse grammars and Xol
// (the reference below): the same value, the same returned error text, the same raised error; only the
// nesting the grammar cannot follow (parse-stack) is left out. A difference is reported as a fault. A raised
// language error is an answer (bad UTF-8, a bad surrogate escape, a nesting too deep); a crash, a sanitizer
// report, an assertion or a hang is a fault. Seeds: tests/fuzz/json_seeds/.

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "datatypes/logic.h"
#include "runtime/roots.h"
#include "tests/fuzz/script_fuzz.h"

namespace {

using namespace xol;

// The reference, the round trip and the comparisons, lexed once and kept alive: `fuzz-data` holds each
// input as a binary!, and `fuzz-differs` is set to true when the codec and the reference disagree.
Cell const* fuzz_code = nullptr;

bool start()
{
    fuzz_code = &fuzz::booted_script(R"~([
        fuzz-differs: false
        unless value? 'fuzz-old-load-json [
context [
	stack: copy []
	push: func [val] [append/only stack :val]
	pop: func [] [take/last stack]
	_out: none ; the block that receives the top-level value
	_res: none ; the insertion position
	_tmp: none
	_str: none ; the last string or number text scanned
	_s: _e: none ; start and end of a string's body
	mark: none ; the position after the last complete token
	line-ct: 1
	last-lf: none ; the position just after the last line feed
	emit: func [value] [_res: insert/only _res :value]
	unescape: get bind 'unescape first find body-of :load-json 'decode-text

	non-line-ws: charset " ^-^M"
	ws: [#"^/" _tmp: (last-lf: mark: _tmp line-ct: line-ct + 1) | non-line-ws]
	ws*: [any ws]
	ws+: [some ws]
	sep: [ws* #"," ws*]
	digit: charset "0123456789"
	non-zero-digit: charset "123456789"
	hex-char: charset "0123456789ABCDEFabcdef"
	chars: complement charset [0 - 31 34 92]
	sign: [#"-"]
	int: [non-zero-digit any digit | digit]
	frac: [#"." some digit]
	exp: [[#"e" | #"E"] opt [#"+" | #"-"] some digit]
	number: [opt sign int opt frac opt exp]
	numeric-literal: number
	json-esc-ch: charset {"t\/nrbf}

	not-word-char: charset [#"/" #"\" #"^^" #"," #"[" #"]" #"(" #")" #"{" #"}" #"^"" #"#" #"%" #"$" #"@" #":" #";"
		#"^/" #"^(A0)" #" " #"^-" #"^M" #"<" #">"]
	word-char: complement not-word-char
	word-1st: complement union not-word-char charset {0123456789'}

	string-literal: [
		#"^"" _s: any [some chars | #"\" [#"u" 4 hex-char | json-esc-ch]] _e: #"^"" (
			_str: either same? _s _e [make string! 0] [unescape copy/part _s _e]
		)
	]
	json-object: [
		#"{" (emit _tmp: make block! 4 push _res _res: _tmp) ws* opt property-list #"}" (
			_res: back pop
			_res: change _res make map! first _res
		)
	]
	property-list: [property any [sep property]]
	property: [
		json-name (
			emit either all [parse/case _str [word-1st any word-char] word? _tmp: attempt [to word! _str]] [_tmp] [_str]
		)
		json-value
	]
	json-name: [ws* string-literal ws* #":" mark:]
	array-list: [json-value any [sep json-value]]
	json-array: [#"[" (emit _tmp: make block! 4 push _res _res: _tmp) ws* opt array-list #"]" (_res: pop)]
	json-value: [
		ws* [
			"true" (emit true)
			| "false" (emit false)
			| "null" (emit none)
			| json-object
			| json-array
			| string-literal (emit _str)
			| copy _tmp numeric-literal (emit transcode/one _tmp)
		] mark: ws*
	]

	set 'fuzz-old-load-json func [
		"Converts a JSON string to Xol data"
		input [string!] "The JSON string"
	] [
		_out: _res: make block! 1
		mark: last-lf: input
		line-ct: 1
		either parse/case input json-value [first _out] [
			make error! form reduce [
				"Invalid JSON string." "Line:" line-ct "Index:" index? mark "Column:" (index? mark) - (index? last-lf)
				"Near:" either parse mark [any [non-line-ws | #"^/"]] ["<end of input>"] [mold copy/part mark 40]
			]
		]
	]
]

context [
	indent: none ; the indentation string, or none for compact output
	indent-level: 0
	normal-chars: none ; the characters copied without escaping
	escapes: make map! [
		#"^"" {\"}
		#"\" "\\"
		#"^(08)" "\b"
		#"^(0C)" "\f"
		#"^/" "\n"
		#"^M" "\r"
		#"^-" "\t"
	]
	ascii-chars: charset [32 33 35 - 91 93 - 127]
	unicode-chars: complement charset [0 - 31 34 92]
	_s: _e: _c: _esc: none
	parents: copy [] ; the blocks, maps and objects being written, to stop at one that holds itself

	init-state: func [ind ascii?] [
		indent: ind
		indent-level: 0
		normal-chars: either ascii? [ascii-chars] [unicode-chars]
	]

	emit-indent: func [output level] [
		indent-level: indent-level + level
		loop indent-level [append output indent]
	]

	emit-key-value: func [output sep map key /local value] [
		value: select/case map :key
		write-string output case [
			word? :key [form key]
			string? :key [key]
			true [mold :key]
		]
		append output sep
		xol-to-json-value output :value
	]

	write-u-escape: func [output code] [
		append output "\u"
		append output form to-hex/size code 4
	]

	write-string: func [output text] [
		append output #"^""
		parse text [
			any [
				_s: some normal-chars _e: (append/part output _s _e)
				| set _c skip (
					either _esc: select escapes _c [append output _esc] [
						_c: to integer! _c
						either _c <= 65535 [write-u-escape output _c] [
							_c: _c - 65536
							write-u-escape output 55296 + shift-right _c 10
							write-u-escape output 56320 + (_c and 1023)
						]
					]
				)
			]
		]
		append output #"^""
	]

	write-list: func [output items open close map /local sep container] [
		container: any [map items]
		foreach parent parents [
			if same? parent container [
				clear parents
				cause-error 'user 'message ["to-json: the data holds itself"]
			]
		]
		if empty? items [
			append append output open close
			exit
		]
		sep: either indent [": "] [":"]
		either indent [
			append append output open #"^/"
			emit-indent output 1
		] [append output open]
		forall items [
			unless head? items [
				either indent [
					append output ",^/"
					loop indent-level [append output indent]
				] [append output #","]
			]
			append/only parents container
			either map [emit-key-value output sep map first items] [xol-to-json-value output first items]
			take/last parents
		]
		if indent [
			append output #"^/"
			emit-indent output -1
		]
		append output close
	]

	xol-to-json-value: func [output value] [
		switch/default type?/word :value [
			none! [append output "null"]
			logic! [append output either value ["true"] ["false"]]
			integer! float! [append output form value]
			percent! [append output form to float! value]
			string! [write-string output value]
			block! [write-list output value #"[" #"]" none]
			map! object! [
				value: reduce [value words-of value]
				write-list output second value #"{" #"}" first value
			]
		] [
			case [
				any-block? :value [xol-to-json-value output to block! :value]
				any-string? :value [write-string output form :value]
				true [write-string output mold :value]
			]
		]
		output
	]

	set 'fuzz-old-to-json func [
		"Converts Xol data to a JSON string"
		data
		/pretty indent [string!] "Pretty format the output, using given indent string"
		/ascii "Force ASCII output (instead of UTF-8)"
		/local result
	] [
		result: make string! 4000
		clear parents
		init-state indent ascii
		xol-to-json-value result :data
	]
]


            fuzz-same: func [new old] [
                case [
                    all [error? :old old/id = 'parse-stack] [true]
                    error? :old [all [error? :new new/id = old/id equal? mold :new/arg1 mold :old/arg1]]
                    error? :new [false]
                    true [equal? mold/all :new mold/all :old]
                ]
            ]
        ]
        fuzz-text: attempt [to string! fuzz-data]
        if fuzz-text [
            unless fuzz-same try [load-json fuzz-text] try [fuzz-old-load-json fuzz-text] [fuzz-differs: true]
        ]
        fuzz-value: system/codecs/json/decode fuzz-data
        unless error? :fuzz-value [
            foreach [new old] reduce [
                to-json :fuzz-value fuzz-old-to-json :fuzz-value
                to-json/ascii :fuzz-value fuzz-old-to-json/ascii :fuzz-value
                to-json/pretty :fuzz-value "  " fuzz-old-to-json/pretty :fuzz-value "  "
            ] [
                unless new == old [fuzz-differs: true]
                load-json new
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
    Rooted differs(word::make_global("fuzz-differs"));
    if (logic::true_q(*word::get_value(*differs))) {
        std::fputs("json_fuzz: the codec and its rules disagree\n", stderr);
        __builtin_trap();
    }
    return 0;
}
