#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace skarvel {

/// Limits that keep one client from holding the monitor's memory: an Alpaca request is a few
/// hundred bytes.
inline constexpr std::size_t kMaxHeaderBytes = 8192;
inline constexpr std::size_t kMaxBodyBytes = 16384;

struct HttpRequest {
    std::string method;
    std::string path;   ///< before '?', still percent-encoded
    std::string query;  ///< after '?', without it
    std::string body;
    bool keepAlive = true;
};

struct HttpParse {
    enum class Outcome { NeedMore, Ready, Bad };
    Outcome outcome = Outcome::NeedMore;
    HttpRequest request;   ///< when Ready
    std::size_t used = 0;  ///< bytes of the buffer the request took, when Ready
    int status = 0;        ///< when Bad: the HTTP status to refuse with
    std::string reason;    ///< when Bad: plain text for the client
};

/// Reads the first HTTP/1.x request at the start of `buffer` (the bytes received so far on a
/// connection). Nothing is kept between calls; a Bad outcome means the connection must close.
HttpParse parseHttpRequest(std::string_view buffer);

/// A whole HTTP/1.1 response. `headOnly` leaves the body out but keeps its length.
std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool keepAlive, bool headOnly = false,
                         std::string_view cacheControl = "no-store");

}  // namespace skarvel
