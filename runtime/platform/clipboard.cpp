// The clipboard tools run with their error stream on /dev/null: their complaints ("nothing to paste") are
// answers here, not messages for the user.

#include "runtime/platform/clipboard.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "runtime/platform/child_process.h"

namespace xol::platform::clipboard {

namespace {

constexpr std::int64_t time_limit_ms = 5000;

enum class Tool { None, Wayland, X11 };

bool set(char const* variable)
{
    char const* value = std::getenv(variable);
    return value && *value;
}

// Whether `program` is an executable file in a folder of PATH.
bool on_path(std::string_view program)
{
    char const* path = std::getenv("PATH");
    if (!path) return false;
    std::string_view folders(path);
    while (true) {
        std::size_t const end = folders.find(':');
        std::string folder(folders.substr(0, end));
        if (folder.empty()) folder = ".";
        std::string const candidate = folder + "/" + std::string(program);
        if (::access(candidate.c_str(), X_OK) == 0) return true;
        if (end == std::string_view::npos) return false;
        folders.remove_prefix(end + 1);
    }
}

Tool pick_tool()
{
    if (set("WAYLAND_DISPLAY") && on_path("wl-copy") && on_path("wl-paste")) return Tool::Wayland;
    if (set("DISPLAY") && on_path("xclip")) return Tool::X11;
    return Tool::None;
}

// Runs a reading tool; its output when it ran and ended with status 0.
struct Run {
    bool ran = false; // started and ended within the time limit
    int status = -1;
    std::string output;
};

Run run_reader(std::vector<std::string> arguments)
{
    ChildRequest request;
    request.arguments = std::move(arguments);
    request.input.kind = StreamKind::Null;
    request.output.kind = StreamKind::Pipe;
    request.error.kind = StreamKind::Null;
    request.time_limit_ms = time_limit_ms;
    ChildResult const result = run_child(request);
    Run run;
    run.ran = result.outcome == ChildOutcome::Ended;
    run.status = result.status;
    run.output.assign(result.output.view());
    return run;
}

}

std::optional<std::vector<std::string>> offered_types()
{
    Tool const tool = pick_tool();
    if (tool == Tool::None) return std::nullopt;
    Run const run = tool == Tool::Wayland ? run_reader({ "wl-paste", "--list-types" })
                                          : run_reader({ "xclip", "-selection", "clipboard", "-o", "-t", "TARGETS" });
    if (!run.ran) return std::nullopt;
    // Both tools fail when nothing owns the clipboard: that is an empty clipboard.
    std::vector<std::string> types;
    if (run.status != 0) return types;
    std::string_view rest(run.output);
    while (!rest.empty()) {
        std::size_t const end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (!line.empty()) types.emplace_back(line);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return types;
}

std::optional<std::string> read(std::string const& type)
{
    Tool const tool = pick_tool();
    if (tool == Tool::None) return std::nullopt;
    Run run = tool == Tool::Wayland ? run_reader({ "wl-paste", "--no-newline", "--type", type })
                                    : run_reader({ "xclip", "-selection", "clipboard", "-o", "-t", type });
    if (!run.ran || run.status != 0) return std::nullopt;
    return std::move(run.output);
}

bool write(std::string const& type, std::string_view bytes)
{
    Tool const tool = pick_tool();
    if (tool == Tool::None) return false;
    ChildRequest request;
    if (tool == Tool::Wayland)
        request.arguments = type.empty() ? std::vector<std::string> { "wl-copy", "--clear" }
                                         : std::vector<std::string> { "wl-copy", "--type", type };
    else // X11 applications ask for text by the target name UTF8_STRING; empty text stands for a cleared clipboard
        request.arguments = { "xclip", "-selection", "clipboard", "-i", "-t",
            type.empty() || type == "text/plain;charset=utf-8" ? "UTF8_STRING" : type };
    // The tool forks a child that keeps serving the data after the tool ends: it must not inherit a pipe
    // of ours, or waiting for end of file would wait for the next owner of the clipboard.
    request.input.kind = type.empty() && tool == Tool::Wayland ? StreamKind::Null : StreamKind::Pipe;
    request.input_bytes = type.empty() ? std::string_view() : bytes;
    request.output.kind = StreamKind::Null;
    request.error.kind = StreamKind::Null;
    request.time_limit_ms = time_limit_ms;
    ChildResult const result = run_child(request);
    if (result.outcome != ChildOutcome::Ended || result.status != 0) return false;
    // xclip ends as soon as its child is started, which takes the clipboard a moment later: a read made
    // before then would still see the last owner's data. Wait (a second at most) until the target shows.
    if (tool == Tool::X11) {
        std::string const& target = request.arguments.back();
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::optional<std::vector<std::string>> const types = offered_types();
            if (types && std::find(types->begin(), types->end(), target) != types->end()) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return true;
}

}
