// The desktop clipboard through its command-line tools: wl-copy and wl-paste under a Wayland session, else
// xclip under X11. Each call picks the tool anew from the environment, runs it as a child and stops it
// after 5 s.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace xol::platform::clipboard {

// The media types the clipboard offers now; an empty list when it holds nothing. Nothing when there is no
// display, no tool, or the tool fails to run or hangs.
std::optional<std::vector<std::string>> offered_types();
// The clipboard's bytes in one of the offered types; nothing when the tool fails or hangs.
std::optional<std::string> read(std::string const& type);
// Puts `bytes` on the clipboard as `type` (an X11 target name where it differs: UTF8_STRING for text);
// an empty `type` clears it. The tool leaves a child serving the data after it ends; only the tool is
// waited for. Whether the tool succeeded.
bool write(std::string const& type, std::string_view bytes);

}
