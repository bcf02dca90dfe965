// Bytes from a network client: the parser and the request handling must never crash, refuse
// with a real HTTP status, and only ever name one of the page's fixed files.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "automation/alpaca_api.h"
#include "automation/alpaca_http.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    skarvel::AutomationState state;
    state.haveReading = size % 2;  // both sides of "no reading yet"
    state.sky = -18.25f;
    skarvel::AlpacaApi api({}, "1.3.0", "/tmp/automation.ini");
    // Pipelined requests share one handler, so a connect can precede what needs it.
    while (!rest.empty()) {
        const skarvel::HttpParse p = skarvel::parseHttpRequest(rest);
        if (p.outcome == skarvel::HttpParse::Outcome::Bad) {
            if (p.status < 400 || p.status > 501 || p.reason.empty()) std::abort();
            break;
        }
        if (p.outcome == skarvel::HttpParse::Outcome::NeedMore) break;
        if (p.used == 0 || p.used > rest.size() || p.request.body.size() > skarvel::kMaxBodyBytes ||
            p.request.path.front() != '/')
            std::abort();
        rest.remove_prefix(p.used);
        const auto& r = p.request;
        const skarvel::AlpacaReply reply =
            api.handle({r.method, r.path, r.query, r.body}, state, {}, {});
        const bool json = reply.contentType.starts_with("application/json");
        if (reply.contentType.empty() || (json && reply.status != 200) ||
            (json && (reply.body.front() != '{' || reply.body.back() != '}')) ||
            (r.path.starts_with("/api/") && reply.status == 200 && !json))
            std::abort();
        if (!reply.file.empty() && reply.file != "CloudStatus.html" &&
            reply.file != "history.bmp" && reply.file != "month.bmp" && reply.file != "year.bmp")
            std::abort();
    }
    return 0;
}
