#include "web/alpaca_http.h"

#include <algorithm>
#include <cctype>

namespace skarvel {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

HttpParse bad(int status, std::string reason) {
    HttpParse p;
    p.outcome = HttpParse::Outcome::Bad;
    p.status = status;
    p.reason = std::move(reason);
    return p;
}

/// Splits off the next line, ending in LF or CRLF.
std::string_view nextLine(std::string_view& rest) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

const char* reasonPhrase(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Content Too Large";
        case 431:
            return "Request Header Fields Too Large";
        case 501:
            return "Not Implemented";
        default:
            return "Unknown";
    }
}

}  // namespace

HttpParse parseHttpRequest(std::string_view buffer) {
    // Empty lines before a request are allowed and skipped.
    std::size_t start = 0;
    while (start < buffer.size() && (buffer[start] == '\r' || buffer[start] == '\n')) ++start;
    if (start > kMaxHeaderBytes) return bad(400, "Empty lines instead of a request");
    const std::string_view text = buffer.substr(start);

    std::size_t headerEnd = std::string_view::npos, bodyStart = 0;
    for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1)) {
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            headerEnd = i + 1, bodyStart = i + 2;
            break;
        }
        if (i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            headerEnd = i + 1, bodyStart = i + 3;
            break;
        }
    }
    if (headerEnd == std::string_view::npos) {
        if (text.size() > kMaxHeaderBytes) return bad(431, "Request header too large");
        return {};
    }
    if (headerEnd > kMaxHeaderBytes) return bad(431, "Request header too large");

    std::string_view rest = text.substr(0, headerEnd);
    const std::string_view requestLine = nextLine(rest);
    const std::size_t sp1 = requestLine.find(' ');
    const std::size_t sp2 = requestLine.find(' ', sp1 == std::string_view::npos ? 0 : sp1 + 1);
    if (sp1 == std::string_view::npos || sp2 == std::string_view::npos)
        return bad(400, "Malformed request line");
    HttpRequest req;
    req.method = std::string(requestLine.substr(0, sp1));
    const std::string_view target = requestLine.substr(sp1 + 1, sp2 - sp1 - 1);
    const std::string_view version = requestLine.substr(sp2 + 1);
    if (req.method.empty() || !std::all_of(req.method.begin(), req.method.end(),
                                           [](char c) { return c >= 'A' && c <= 'Z'; }))
        return bad(400, "Malformed method");
    if (version != "HTTP/1.1" && version != "HTTP/1.0") return bad(400, "Unsupported HTTP version");
    if (target.empty() || target.front() != '/') return bad(400, "Malformed request target");
    if (std::any_of(target.begin(), target.end(),
                    [](char c) { return static_cast<unsigned char>(c) <= ' ' || c == 0x7f; }))
        return bad(400, "Malformed request target");
    const std::size_t q = target.find('?');
    req.path = std::string(target.substr(0, q));
    if (q != std::string_view::npos) req.query = std::string(target.substr(q + 1));
    req.keepAlive = version == "HTTP/1.1";

    bool haveLength = false;
    std::size_t length = 0;
    while (!rest.empty()) {
        const std::string_view line = nextLine(rest);
        const std::size_t colon = line.find(':');
        if (colon == 0 || colon == std::string_view::npos || line.front() == ' ' ||
            line.front() == '\t')
            return bad(400, "Malformed header line");
        const std::string_view name = line.substr(0, colon);
        const std::string_view value = trim(line.substr(colon + 1));
        if (equalsNoCase(name, "Content-Length")) {
            if (value.empty() || value.size() > 9 ||
                !std::all_of(value.begin(), value.end(),
                             [](char c) { return c >= '0' && c <= '9'; }))
                return bad(400, "Malformed Content-Length");
            const std::size_t n = std::stoul(std::string(value));
            if (haveLength && n != length) return bad(400, "Conflicting Content-Length");
            haveLength = true, length = n;
        } else if (equalsNoCase(name, "Transfer-Encoding")) {
            return bad(501, "Transfer-Encoding is not supported; send Content-Length");
        } else if (equalsNoCase(name, "Connection")) {
            if (equalsNoCase(value, "close")) req.keepAlive = false;
            if (equalsNoCase(value, "keep-alive")) req.keepAlive = true;
        }
    }
    if (length > kMaxBodyBytes) return bad(413, "Request body too large");
    const std::string_view afterHeader = text.substr(bodyStart);
    if (afterHeader.size() < length) return {};

    HttpParse p;
    p.outcome = HttpParse::Outcome::Ready;
    req.body = std::string(afterHeader.substr(0, length));
    p.request = std::move(req);
    p.used = start + bodyStart + length;
    return p;
}

std::string httpResponse(int status, std::string_view contentType, std::string_view body,
                         bool keepAlive, bool headOnly, std::string_view cacheControl) {
    std::string out = "HTTP/1.1 " + std::to_string(status) + ' ' + reasonPhrase(status) + "\r\n";
    out += "Content-Type: ";
    out += contentType;
    out += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    out += "Cache-Control: ";
    out += cacheControl;
    out += "\r\nX-Content-Type-Options: nosniff\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    if (!headOnly) out += body;
    return out;
}

}  // namespace skarvel
