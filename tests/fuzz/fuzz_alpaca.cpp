// Bytes from a network client: the parser and the request handling must never crash, refuse
// with a real HTTP status, and only ever name one of the page's fixed files.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string_view>

#include "skarvel_version.h"
#include "web/alpaca_api.h"
#include "web/alpaca_http.h"

using namespace skarvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    AutomationState state;
    state.haveReading = size % 2;  // both sides of "no reading yet"
    state.sky = -18.25f;
    AlpacaApi api({}, SKARVEL_VERSION, "/tmp/automation.ini", [] { return MonitorHealth{}; });
    const std::set<std::string> files{"", "CloudStatus.html", "history.bmp", "month.bmp",
                                      "year.bmp"};
    // Pipelined requests share one handler, so a connect can precede what needs it.
    HttpParse p;
    while ((p = parseHttpRequest(rest)).outcome == HttpParse::Outcome::Ready) {
        const HttpRequest& r = p.request;
        if (p.used == 0 || p.used > rest.size() || r.body.size() > kMaxBodyBytes ||
            r.path[0] != '/')
            std::abort();
        rest.remove_prefix(p.used);
        const AlpacaReply reply = api.handle({r.method, r.path, r.query, r.body}, state, {});
        const bool json = reply.contentType.starts_with("application/json");
        // The verdict is its file's bytes, a refused verb included, with the file's newline.
        const bool verdict = r.path == "/safety.json";
        if (reply.contentType.empty() || !files.contains(reply.file) ||
            (json && ((reply.status != 200 && !verdict) ||
                      !(reply.body.starts_with('{') || reply.body.starts_with('[')) ||
                      !reply.body.ends_with(verdict                ? "}\n"
                                            : reply.body[0] == '[' ? "]"
                                                                   : "}"))) ||
            (r.path.starts_with("/api/") && reply.status == 200 && !json))
            std::abort();
    }
    if (p.outcome == HttpParse::Outcome::Bad &&
        (p.status < 400 || p.status > 501 || p.reason.empty()))
        std::abort();
    return 0;
}
