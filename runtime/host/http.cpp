// HTTP requests over the platform's libcurl transfer: the checks that keep a value from smuggling text
// into the request, and the parsing of the reply's header block.

#include "runtime/host/http.h"

#include <algorithm>

#include "runtime/platform/http.h"

namespace xol::host::http {

namespace {

// An HTTP token: visible ASCII without the separators.
bool token_q(std::string_view text)
{
    if (text.empty()) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        auto const byte = static_cast<unsigned char>(c);
        if (byte <= 32 || byte >= 127) return false;
        return std::string_view("\"(),/:;<=>?@[\\]{}").find(c) == std::string_view::npos;
    });
}

bool line_safe_q(std::string_view text)
{
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string upper_case(std::string text)
{
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

}

Headers const& default_headers()
{
    static Headers const headers {
        { "Content-Type", "application/x-www-form-urlencoded" },
        { "Accept-Charset", "UTF-8" },
        { "User-Agent", "Mozilla/5.0 (Windows NT 6.1; Win64; x64)" },
    };
    return headers;
}

std::optional<Reply> request(Request const& request)
{
    platform::http::Request sent {
        .method = upper_case(request.method),
        .url = request.url,
        .headers = request.headers ? *request.headers : default_headers(),
        .body = request.body,
    };
    if (!token_q(sent.method)) return std::nullopt;
    for (auto const& [name, value] : sent.headers)
        if (!token_q(name) || !line_safe_q(value)) return std::nullopt;
    std::optional<platform::http::Reply> reply = platform::http::request(sent);
    if (!reply) return std::nullopt;
    return Reply { .status = reply->status, .headers = parse_headers(reply->headers), .body = std::move(reply->body) };
}

Headers parse_headers(std::string_view raw)
{
    Headers headers;
    std::size_t start = 0;
    while (start < raw.size()) {
        std::size_t end = raw.find_first_of("\r\n", start);
        if (end == std::string_view::npos) end = raw.size();
        std::string_view const line = raw.substr(start, end - start);
        start = end + 1;
        if (line.starts_with("HTTP/")) continue;
        std::size_t const colon = line.find(':');
        if (colon == std::string_view::npos || colon == 0) continue;
        std::string_view value = line.substr(colon + 1);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
        headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    return headers;
}

}
