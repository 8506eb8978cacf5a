// The natives that start other programs: call and browse.

#include <span>
#include <string>

#include "datatypes/binary.h"
#include "datatypes/file.h"
#include "datatypes/integer.h"
#include "datatypes/string.h"
#include "datatypes/unset.h"
#include "interpreter/natives/entries.h"
#include "interpreter/natives/natives.h"
#include "runtime/errors.h"
#include "runtime/output.h"
#include "runtime/platform/child_process.h"
#include "runtime/stack.h"
#include "runtime/text_encoding.h"

namespace xol::natives {

namespace {

enum CallRefinement : int { Wait, Show, Console, Shell, Input, Output, Error };

std::string bytes_of(Cell const& value)
{
    if (cell::type_of(value) == type_ids::binary) {
        std::span<std::uint8_t const> const content = binary::bytes(value);
        return { reinterpret_cast<char const*>(content.data()), content.size() };
    }
    return string::to_utf8(value);
}

// A file! command is one program path, whatever it holds: the shell gets it as one quoted word.
std::string shell_quoted(std::string const& path)
{
    std::string quoted = "'";
    for (char c : path) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}

// A file! names the file to read or append to; a string! or binary! takes the bytes through a pipe.
platform::StreamChoice choice_for(Cell const* value, platform::StreamKind otherwise)
{
    if (value == nullptr) return { otherwise, {} };
    if (cell::type_of(*value) == type_ids::file) return { platform::StreamKind::File, file::local_path(*value) };
    return { platform::StreamKind::Pipe, {} };
}

// Captured text joins a string! at its tail with CR LF and CR read as LF; bytes join a binary! at its
// index. Text that went through the shell may come from any tool in any encoding, so its bad bytes load as
// Latin-1; a program run directly is held to UTF-8.
void convert_output(Cell* target, platform::Capture const& bytes, bool lenient)
{
    if (target == nullptr || bytes.empty()) return;
    // A series counts its bytes in 32 bits: more than that cannot be held, and is not cut short silently.
    if (bytes.size() > 0x7FFFFFFF) fire_error(err::internal::no_memory);
    switch (cell::type_of(*target)) {
    case type_ids::binary:
        binary::insert_bytes(*target, 0, { reinterpret_cast<std::uint8_t const*>(bytes.data()), bytes.size() });
        return;
    case type_ids::string: {
        std::uint32_t rest = 0;
        string::decode_utf8(reinterpret_cast<std::byte const*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()),
            target->word2, rest, string::LineEnds::Convert,
            lenient ? string::BadBytes::AsLatin1 : string::BadBytes::Raise);
        return;
    }
    default:
        return; // a file! was written by the child itself
    }
}

}

// Refinements: /wait /show /console /shell /input in /output out /error err. The result is the exit status
// (128 + N when signal N ended the child), the process id when not waiting, or -1 when nothing could be
// started: a command holding NUL, an input file that cannot be read, an output or error file that cannot
// be written.
void call(std::int32_t const* refinements)
{
    auto const has = [refinements](CallRefinement which) { return refinements[which] >= 0; };
    Cell const command_cell = *argument(0);
    bool const is_file = cell::type_of(command_cell) == type_ids::file;
    std::string const command = is_file ? file::local_path(command_cell) : string::to_utf8(command_cell);
    if (command.empty()) {
        integer::set_result(0);
        return;
    }
    if (command.find('\0') != std::string::npos) {
        integer::set_result(-1);
        return;
    }
    Cell const* const input = refinement_argument(has(Input) ? refinements[Input] : -1);
    Cell const* const output = refinement_argument(has(Output) ? refinements[Output] : -1);
    Cell const* const error = refinement_argument(has(Error) ? refinements[Error] : -1);
    bool const console = has(Console);

    platform::ChildRequest request;
    request.input = choice_for(input, platform::StreamKind::Inherit);
    platform::StreamKind const unredirected = console ? platform::StreamKind::Inherit : platform::StreamKind::Null;
    request.output = choice_for(output, unredirected);
    request.error = choice_for(error, unredirected);
    std::string const feed
        = input && request.input.kind == platform::StreamKind::Pipe ? bytes_of(*input) : std::string();
    request.input_bytes = feed;
    request.wait = has(Wait) || console || input || output || error;
    bool shell_used = has(Shell);
    if (shell_used)
        request.arguments = { "/bin/sh", "-c", command };
    else if (is_file)
        request.arguments = { command };
    else
        request.arguments = platform::split_command(command);
    if (request.arguments.empty()) {
        integer::set_result(0);
        return;
    }
    // The child writes where we do: what we printed must come first.
    if (console) conout::flush();
    platform::ChildResult result = platform::run_child(request);
    if (result.outcome == platform::ChildOutcome::NotFound && !shell_used) {
        // Not a program on PATH: a shell built-in or a shell form, which the shell itself may run.
        shell_used = true;
        request.arguments = { "/bin/sh", "-c", is_file ? shell_quoted(command) : command };
        result = platform::run_child(request);
    }
    if (result.outcome == platform::ChildOutcome::NotFound || result.outcome == platform::ChildOutcome::Failed) {
        integer::set_result(-1);
        return;
    }
    bool const lenient = shell_used || console || (has(Shell) && !result.error.empty());
    // The arguments sit in this call's own value-stack cells, which stay put while the conversion allocates.
    convert_output(refinement_argument(has(Output) ? refinements[Output] : -1), result.output, lenient);
    convert_output(refinement_argument(has(Error) ? refinements[Error] : -1), result.error, lenient);
    integer::set_result(result.status);
}

// The user's default handler opens the URL or file; nothing waits for it and nothing it does is reported.
void browse(std::int32_t const*)
{
    // A NUL in either kind starts nothing.
    Cell const target = *argument(0);
    bool const is_file = cell::type_of(target) == type_ids::file;
    platform::open_with_default_handler(is_file ? file::local_path(target) : string::to_utf8(target));
    stack::set_only_result(unset_value);
}

}
