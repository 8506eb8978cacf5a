// The error catalogue: the ten categories in order, each with its title and its ids in order, each id with
// its message template. This table is the one place where error ids and their messages live: the constants
// raise sites name (runtime/error_ids.h) are looked up here by spelling when the program is compiled, and
// the `errors` object that scripts see is built from it at start-up (datatypes/error.cpp). It is plain data
// on purpose, so that a generator can write it.
//
// Positions count as the `errors` object does: an id at index i of its category's list has position i + 2
// (positions 0 and 1 are the category's `code` and `type` fields), and its code is category x 100 + i.
//
// A template is written as its value would be loaded: a string ("stack overflow"), a block of strings and
// argument words ([:arg1 "has no value"]), or a bare word naming one field of the error (arg1). Argument
// words name fields of the error (arg1, arg2, arg3); when the message is formed, strings are written as
// they are and the items are joined by single spaces.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace xol::error_catalog {

// Whose words a message is. A standard message is the language's own text, which scripts and users may
// match word for word; ours is this implementation's wording for an id the language names without giving
// its text, and may be reworded.
enum class Wording : std::uint8_t { standard, ours };
using enum Wording;

struct Entry {
    std::string_view id; // the id word's spelling
    std::string_view template_; // the template's source text
    Wording wording;
};

struct Category {
    std::string_view name; // the category word's spelling
    std::string_view title; // the category's `type` text, the title of its formed errors
    std::span<Entry const> ids;
};

inline constexpr Entry throw_ids[] = {
    { "break", R"~("no loop to break")~", standard },
    { "return", R"~("return or exit not in function")~", standard },
    { "throw", R"~(["no catch for throw:" :arg1])~", standard },
    { "continue", R"~("no loop to continue")~", standard },
    { "while-cond", R"~("BREAK/CONTINUE cannot be used in WHILE condition block")~", standard },
};

inline constexpr Entry note_ids[] = {
    { "no-load", R"~(["cannot load: " :arg1])~", standard },
};

inline constexpr Entry syntax_ids[] = {
    { "invalid", R"~([:arg1 "invalid" :arg2 "at" :arg3])~", standard },
    { "missing", R"~([:arg1 "missing" :arg2 "at" :arg3])~", standard },
    { "no-header", R"~(["script is missing a Xol header:" :arg1])~", standard },
    { "no-rs-header", R"~(["script is missing a Xol/System header:" :arg1])~", standard },
    { "bad-header", R"~(["script header is not valid:" :arg1])~", ours },
    { "malconstruct", R"~([:arg1 "invalid construction spec at" :arg2])~", standard },
    { "bad-char", R"~([:arg1 "invalid character at" :arg2])~", standard },
};

inline constexpr Entry script_ids[] = {
    { "no-value", R"~([:arg1 "has no value"])~", standard },
    { "need-value", R"~([:arg1 "needs a value"])~", standard },
    { "not-defined", R"~([:arg1 "word is not bound to a context"])~", standard },
    { "not-in-context", R"~(["context for" :arg1 "is not available"])~", standard },
    { "no-arg", R"~([:arg1 "is missing its" :arg2 "argument"])~", standard },
    { "expect-arg", R"~([:arg1 "does not allow" :arg2 "for its" :arg3 "argument"])~", standard },
    { "expect-val", R"~(["expected" :arg1 "not" :arg2])~", standard },
    { "expect-type", R"~([:arg1 :arg2 "field must be of type:" :arg3])~", ours },
    { "cannot-use", R"~(["cannot use" :arg1 "on" :arg2 "value"])~", standard },
    { "invalid-arg", R"~(["invalid argument:" :arg1])~", standard },
    { "invalid-type", R"~([:arg1 "type is not allowed here"])~", standard },
    { "invalid-type-spec", R"~(["invalid type specifier:" :arg1])~", standard },
    { "invalid-key-type", R"~(["invalid key type:" :arg1])~", standard },
    { "invalid-op", R"~(["invalid operator:" :arg1])~", ours },
    { "no-op-arg", R"~([:arg1 "operator is missing an argument"])~", standard },
    { "bad-op-spec",
        R"~("making an op! requires a function with only 2 arguments and no lit/get-word on left argument")~",
        standard },
    { "invalid-data", R"~(["data not in correct format:" :arg1])~", standard },
    { "invalid-part", R"~(["invalid /part count:" :arg1])~", standard },
    { "not-same-type", R"~("values must be of the same type")~", standard },
    { "not-same-class", R"~(["cannot coerce" :arg1 "to" :arg2])~", standard },
    { "not-related", R"~(["incompatible argument for" :arg1 "of" :arg2])~", standard },
    { "bad-func-def", R"~(["invalid function definition:" :arg1])~", standard },
    { "bad-func-arg", R"~(["function argument" :arg1 "is not valid"])~", ours },
    { "bad-func-extern", R"~(["invalid /extern value:" :arg1])~", standard },
    { "no-refine", R"~([:arg1 "has no refinement called" :arg2])~", standard },
    { "bad-refines", R"~("incompatible or invalid refinements")~", standard },
    { "bad-refine", R"~(["invalid refinement value:" :arg1])~", standard },
    { "dup-refine", R"~(["duplicate refinement usage in:" :arg1])~", standard },
    { "word-first", R"~(["path must start with a word:" :arg1])~", standard },
    { "empty-path", R"~("cannot evaluate an empty path value")~", standard },
    { "unset-path", R"~([:arg2 "is unset in path" :arg1])~", standard },
    { "invalid-path", R"~(["cannot access" :arg2 "in path" :arg1])~", standard },
    { "invalid-path-set", R"~(["unsupported type in" :arg1 "set-path"])~", standard },
    { "invalid-path-get", R"~(["unsupported type in" :arg1 "get-path"])~", ours },
    { "bad-path-type", R"~([:arg3 "returned a" :arg2 "value, so" :arg1 "could not be accessed"])~", standard },
    { "bad-path-type2", R"~(["path element >" :arg1 "< does not apply to" :arg2 "type"])~", standard },
    { "bad-path-set", R"~(["cannot set" :arg2 "in path" :arg1])~", standard },
    { "bad-field-set", R"~(["cannot set" :arg1 "field to" :arg2 "datatype"])~", standard },
    { "dup-vars", R"~(["duplicate variable specified:" :arg1])~", standard },
    { "past-end", R"~("out of range or past end")~", standard },
    { "missing-arg", R"~("missing a required argument or refinement")~", standard },
    { "out-of-range", R"~(["value out of range:" :arg1])~", standard },
    { "invalid-chars", R"~("contains invalid characters")~", standard },
    { "invalid-compare", R"~(["cannot compare" :arg1 "with" :arg2])~", standard },
    { "wrong-type", R"~(["datatype assertion failed for:" :arg1])~", ours },
    { "invalid-refine-arg", R"~(["invalid" :arg1 "argument:" :arg2])~", standard },
    { "type-limit", R"~([:arg1 "overflow/underflow"])~", standard },
    { "size-limit", R"~(["maximum limit reached:" :arg1])~", ours },
    { "no-return", R"~("block did not return a value")~", standard },
    { "throw-usage", R"~("invalid use of a thrown error value")~", ours },
    { "locked-word", R"~(["protected variable - cannot modify:" :arg1])~", ours },
    { "protected", R"~("protected value or series - cannot modify")~", ours },
    { "bad-bad", R"~([:arg1 "error:" :arg2])~", ours },
    { "bad-make-arg", R"~(["cannot MAKE" :arg1 "from:" :arg2])~", standard },
    { "bad-to-arg", R"~(["cannot MAKE/TO" :arg1 "from:" :arg2])~", standard },
    { "invalid-months", R"~("invalid system/locale/month list")~", standard },
    { "invalid-spec-field", R"~(["invalid" :arg1 "field in spec block"])~", standard },
    { "missing-spec-field", R"~([:arg1 "not found in spec block"])~", ours },
    { "move-bad", R"~(["Cannot MOVE elements from" :arg2 "to" :arg1])~", ours },
    { "too-long", R"~("Content too long")~", standard },
    { "invalid-char", R"~(["Invalid char! value:" :arg1])~", standard },
    { "bad-loop-series", R"~(["Loop series changed to invalid value:" :arg1])~", standard },
    { "wrong-denom", R"~([:arg1 "not same denomination as" :arg2])~", standard },
    { "bad-denom", R"~(["invalid denomination:" :arg1])~", standard },
    { "invalid-obj-evt", R"~(["invalid object event handler:" :arg1])~", standard },
    { "parse-rule", R"~(["PARSE - invalid rule or usage of rule:" :arg1])~", standard },
    { "parse-end", R"~(["PARSE - unexpected end of rule after:" :arg1])~", standard },
    { "parse-invalid-ref", R"~(["PARSE - get-word refers to a different series!" :arg1])~", standard },
    { "parse-block", R"~(["PARSE - input must be of any-block! type:" :arg1])~", standard },
    { "parse-unsupported", R"~("PARSE - matching by datatype not supported for any-string! input")~", standard },
    { "parse-infinite", R"~(["PARSE - infinite recursion at rule:" :arg1])~", ours },
    { "parse-stack", R"~("PARSE - stack limit reached")~", standard },
    { "parse-keep", R"~("PARSE - KEEP is used without a wrapping COLLECT")~", standard },
    { "parse-into-bad", R"~("PARSE - COLLECT INTO/AFTER invalid series! argument")~", standard },
    { "parse-into-type", R"~("PARSE - COLLECT INTO/AFTER expects a series! of compatible datatype")~", standard },
    { "draw-invalid", R"~(["DRAW - invalid input at:" :arg1])~", standard },
    { "draw-infinite", R"~(["DRAW - infinite recursion at:" :arg1])~", standard },
    { "invalid-data-facet", R"~(["VIEW - invalid data facet content:" :arg1])~", ours },
    { "face-type", R"~(["VIEW - invalid face type:" :arg1])~", standard },
    { "not-window", R"~("VIEW - expected a window root face")~", standard },
    { "bad-window", R"~("VIEW - a window face cannot be nested in another window")~", standard },
    { "not-linked", R"~("VIEW - face not linked to a window")~", standard },
    { "not-event-type", R"~(["VIEW - not a valid event type" :arg1])~", standard },
    { "invalid-facet-type", R"~(["VIEW - invalid rate value:" :arg1])~", standard },
    { "vid-invalid-syntax", R"~(["VID - invalid syntax at:" :arg1])~", standard },
    { "rtd-invalid-syntax", R"~(["RTD - invalid syntax at:" :arg1])~", standard },
    { "rtd-no-match", R"~(["RTD - opening/closing tag not matching for:" :arg1])~", standard },
    { "react-bad-func", R"~("REACT - /LINK option requires a function! as argument")~", standard },
    { "react-not-enough", R"~("REACT - reactive functions must accept at least 2 arguments")~", standard },
    { "react-no-match", R"~("REACT - objects block length must match reaction function arg count")~", standard },
    { "react-bad-obj", R"~("REACT - target can only contain object values")~", standard },
    { "react-gctx", R"~(["REACT - word" :arg1 "is not a reactor's field"])~", ours },
    { "lib-invalid-arg", R"~(["LIB - invalid argument for" :arg1])~", ours },
    { "xb-invalid-record", R"~(["XOLBIN - invalid record at index" :arg1])~", standard },
};

inline constexpr Entry math_ids[] = {
    { "zero-divide", R"~("attempt to divide by zero")~", standard },
    { "overflow", R"~("math or number overflow")~", standard },
    { "positive", R"~("positive number required")~", ours },
};

inline constexpr Entry access_ids[] = {
    { "cannot-open", R"~(["cannot open:" :arg1])~", standard },
    { "cannot-close", R"~(["cannot close:" :arg1])~", ours },
    { "invalid-utf8", R"~(["invalid UTF-8 encoding:" :arg1])~", standard },
    { "not-open", R"~(["port is not open:" :arg1])~", ours },
    { "no-connect", R"~(["cannot connect:" :arg1 "reason: timeout"])~", standard },
    { "no-scheme", R"~(["missing port scheme:" :arg1])~", standard },
    { "unknown-scheme", R"~(["scheme is unknown:" :arg1])~", standard },
    { "invalid-spec", R"~(["invalid spec or options:" :arg1])~", ours },
    { "invalid-port", R"~("invalid port object (invalid field values)")~", standard },
    { "invalid-actor", R"~("invalid port actor (must be handle or object)")~", standard },
    { "no-port-action", R"~("port action not supported")~", standard },
    { "no-create", R"~(["cannot create:" :arg1])~", ours },
    { "no-codec", R"~(["cannot decode or encode (no codec):" :arg1])~", standard },
    { "bad-media", R"~("bad media data (corrupt image, sound, video)")~", standard },
    { "invalid-cmd", R"~(["invalid port command:" :arg1])~", ours },
};

// The user's own message: an error made from a string carries it in arg1.
inline constexpr Entry user_ids[] = {
    { "message", "arg1", ours },
};

inline constexpr Entry internal_ids[] = {
    { "bad-path", R"~(["bad path:" arg1])~", standard },
    { "not-here", R"~([:arg1 "not supported on your system"])~", ours },
    { "no-memory", R"~("not enough memory")~", standard },
    { "wrong-mem", R"~("failed to release memory")~", ours },
    { "stack-overflow", R"~("stack overflow")~", standard },
    { "limit-hit", R"~(["internal limit reached:" :arg1])~", ours },
    { "too-deep", R"~("block or paren series is too deep to process")~", standard },
    { "no-cycle", R"~("circular reference not allowed")~", standard },
    { "feature-na", R"~("feature not available")~", ours },
    { "not-done", R"~("reserved for future use (or not yet implemented)")~", standard },
    { "invalid-error", R"~(["invalid error object field value:" :arg1])~", standard },
    { "routines", R"~("routines require compilation, from OS shell: `xol -r <script.xol>`")~", standard },
    { "xol-system", R"~("contains Xol/System code which requires compilation")~", standard },
    { "deprecated", R"~([arg1 "is DEPRECATED, please use" arg2 "instead"])~", standard },
};

inline constexpr Category categories[] = {
    { "throw", "Throw Error", throw_ids },
    { "note", "note", note_ids },
    { "syntax", "Syntax Error", syntax_ids },
    { "script", "Script Error", script_ids },
    { "math", "Math Error", math_ids },
    { "access", "Access Error", access_ids },
    { "reserved1", "Reserved1 Error", {} },
    { "reserved2", "Reserved2 Error", {} },
    { "user", "User Error", user_ids },
    { "internal", "Internal Error", internal_ids },
};

inline constexpr std::uint32_t category_count = static_cast<std::uint32_t>(std::size(categories));

}
