// HTTP requests through libcurl's easy interface, found by dlopen when the first request is made: start-up
// pays nothing for it, the library's global set-up waits for that request too, and a system without the
// library still runs everything else. The declarations come from the library's own headers, so every
// function pointer has the library's exact type.

#include "runtime/platform/http.h"

#include "runtime/platform/shared_library.h"

#include <algorithm>
#include <cstdint>
#include <string_view>

#define CURL_DISABLE_TYPECHECK
#include <curl/curl.h>

namespace xol::platform::http {

namespace {

char const* const soname = "libcurl.so.4";

// A reply body of 2 GiB or more would not fit a series: the transfer stops there and fails.
constexpr std::size_t body_limit = (std::size_t { 1 } << 31) - 1;

struct Library {
    bool tried = false;
    bool ready = false;
    bool initialised = false;
    decltype(&curl_global_init) global_init = nullptr;
    decltype(&curl_easy_init) easy_init = nullptr;
    decltype(&curl_easy_setopt) setopt = nullptr;
    decltype(&curl_easy_perform) perform = nullptr;
    decltype(&curl_easy_getinfo) getinfo = nullptr;
    decltype(&curl_easy_cleanup) cleanup = nullptr;
    decltype(&curl_slist_append) slist_append = nullptr;
    decltype(&curl_slist_free_all) slist_free_all = nullptr;
};

Library library;

// Opens the library once and sets it up at the first request; a failure is final for the process, as the
// library cannot appear later.
bool open_library()
{
    if (library.tried) return library.ready;
    library.tried = true;
    void* handle = open_shared_library(soname);
    if (handle == nullptr) return false;
    library.ready = look_up(handle, "curl_global_init", library.global_init)
        && look_up(handle, "curl_easy_init", library.easy_init) && look_up(handle, "curl_easy_setopt", library.setopt)
        && look_up(handle, "curl_easy_perform", library.perform)
        && look_up(handle, "curl_easy_getinfo", library.getinfo)
        && look_up(handle, "curl_easy_cleanup", library.cleanup)
        && look_up(handle, "curl_slist_append", library.slist_append)
        && look_up(handle, "curl_slist_free_all", library.slist_free_all);
    if (library.ready) library.ready = library.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    return library.ready;
}

bool same_name(std::string_view a, std::string_view b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// Everything one transfer owns, released on every path.
struct Transfer {
    CURL* handle = nullptr;
    curl_slist* headers = nullptr;
    Reply reply;
    bool too_long = false;

    ~Transfer()
    {
        if (headers != nullptr) library.slist_free_all(headers);
        if (handle != nullptr) library.cleanup(handle);
    }

    bool add_header(std::string const& line)
    {
        curl_slist* const grown = library.slist_append(headers, line.c_str());
        if (grown == nullptr) return false;
        headers = grown;
        return true;
    }
};

std::size_t take_body(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    std::size_t const bytes = size * count;
    if (transfer->reply.body.size() + bytes > body_limit) {
        transfer->too_long = true;
        return 0; // stops the transfer
    }
    transfer->reply.body.append(data, bytes);
    return bytes;
}

// Called once per header line. Each response (an interim 100, each redirect, the final one) starts with its
// status line, so a status line drops what came before: only the final response's headers remain.
std::size_t take_header(char* data, std::size_t size, std::size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    std::size_t const bytes = size * count;
    std::string_view const line(data, bytes);
    if (line.starts_with("HTTP/")) transfer->reply.headers.clear();
    if (transfer->reply.headers.size() + bytes > body_limit) return 0;
    transfer->reply.headers.append(line);
    return bytes;
}

template <typename Value> bool set(CURL* handle, CURLoption option, Value value)
{
    return library.setopt(handle, option, value) == CURLE_OK;
}

}

std::optional<Reply> request(Request const& request)
{
    if (!open_library()) return std::nullopt;
    Transfer transfer;
    transfer.handle = library.easy_init();
    if (transfer.handle == nullptr) return std::nullopt;
    CURL* const handle = transfer.handle;

    // Exactly the caller's headers: libcurl's own Accept and Expect, and the Content-Type it puts on a
    // body, are removed unless the caller names them. Host and Content-Length stay.
    for (auto const& [name, value] : request.headers)
        if (!transfer.add_header(value.empty() ? name + ";" : name + ": " + value)) return std::nullopt;
    for (char const* own : { "Accept", "Expect", "Content-Type" }) {
        bool const named = std::any_of(request.headers.begin(), request.headers.end(),
            [&](auto const& header) { return same_name(header.first, own); });
        if (!named && !transfer.add_header(std::string(own) + ":")) return std::nullopt;
    }

    bool ready = set(handle, CURLOPT_URL, request.url.c_str()) && set(handle, CURLOPT_NOSIGNAL, 1L)
        && set(handle, CURLOPT_FOLLOWLOCATION, 1L) && set(handle, CURLOPT_MAXREDIRS, 10L)
        && set(handle, CURLOPT_CONNECTTIMEOUT, 60L) && set(handle, CURLOPT_LOW_SPEED_LIMIT, 1L)
        && set(handle, CURLOPT_LOW_SPEED_TIME, 30L) && set(handle, CURLOPT_SSL_VERIFYPEER, 1L)
        && set(handle, CURLOPT_SSL_VERIFYHOST, 2L) && set(handle, CURLOPT_HTTPHEADER, transfer.headers)
        && set(handle, CURLOPT_WRITEFUNCTION, take_body) && set(handle, CURLOPT_WRITEDATA, &transfer)
        && set(handle, CURLOPT_HEADERFUNCTION, take_header) && set(handle, CURLOPT_HEADERDATA, &transfer);
    // Only the web's own schemes, also after a redirect.
    ready = ready && set(handle, CURLOPT_PROTOCOLS_STR, "http,https")
        && set(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if (!ready) return std::nullopt;

    std::string const& method = request.method;
    bool const sends_body = request.body.has_value() && method != "GET" && method != "HEAD";
    if (method == "GET") {
        ready = set(handle, CURLOPT_HTTPGET, 1L);
    } else if (method == "HEAD") {
        ready = set(handle, CURLOPT_NOBODY, 1L);
    } else {
        if (method == "POST")
            ready = set(handle, CURLOPT_POST, 1L);
        else
            ready = set(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
        if (sends_body || method == "POST") {
            std::string_view const body = request.body ? std::string_view(*request.body) : std::string_view("");
            ready = ready && set(handle, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()))
                && set(handle, CURLOPT_POSTFIELDS, body.data());
        } else {
            ready = ready && set(handle, CURLOPT_HTTPGET, 1L) && set(handle, CURLOPT_CUSTOMREQUEST, method.c_str());
        }
    }
    if (!ready) return std::nullopt;

    if (library.perform(handle) != CURLE_OK || transfer.too_long) return std::nullopt;
    long status = 0;
    if (library.getinfo(handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK) return std::nullopt;
    transfer.reply.status = status;
    return std::move(transfer.reply);
}

}
