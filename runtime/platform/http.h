// One HTTP or HTTPS request through libcurl, opened by dlopen at the first request so that start-up pays
// nothing for it. The caller hands over checked texts; this layer only sends them and collects the reply.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace xol::platform::http {

struct Request {
    std::string method; // an HTTP token, upper case: GET and HEAD never send a body
    std::string url; // percent-encoded: no byte below 33 or above 126
    std::vector<std::pair<std::string, std::string>> headers; // sent verbatim, in order, and no others
    std::optional<std::string> body; // none sends no body at all
};

struct Reply {
    long status = 0;
    std::string headers; // the final response's header lines as received (status line first)
    std::string body;
};

// The reply, whatever its status, or nothing when no reply came: the library is missing, the connection or
// the certificate check failed, the server went silent, or more than 10 redirects.
std::optional<Reply> request(Request const&);

}
