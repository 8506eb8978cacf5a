// HTTP requests for url!'s read and write: the request checked before anything goes out, the three default
// headers, and the reply's headers taken apart. Failures come back as values; the url! actions raise.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xol::host::http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string method; // the method word's spelling: get, head, post, or any other, sent upper-cased
    std::string url; // the URL's encoded form
    std::optional<Headers> headers; // none sends the default headers
    std::optional<std::string> body; // UTF-8 text or bytes; never sent with GET or HEAD
};

struct Reply {
    long status;
    Headers headers; // the final response's, in arrival order, repeats included
    std::string body;
};

// Sent when the request names no headers, verbatim and in this order.
Headers const& default_headers();

// The reply, whatever its status, or nothing: no reply came, or the request is refused before connecting
// because its method is not an HTTP token or a header name or value holds CR, LF or NUL (which would let
// the text start a header or a request of its own).
std::optional<Reply> request(Request const&);

// The header lines of one response: status lines skipped; the name is the text before the first ":", the
// value follows it without leading blanks and ends at CR or LF; a line without ":" or with an empty name is
// ignored. Every read stays within `raw`.
Headers parse_headers(std::string_view raw);

}
