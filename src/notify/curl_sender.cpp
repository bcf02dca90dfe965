#include "notify/curl_sender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstring>

namespace skarvel {

struct CurlSender::Transfer {
    CURL* easy = nullptr;
    curl_slist* headers = nullptr;
    curl_slist* recipients = nullptr;
    std::string body, answer;
    std::size_t sent = 0;
    char error[CURL_ERROR_SIZE] = {};
    Done done;

    ~Transfer() {
        curl_slist_free_all(headers);
        curl_slist_free_all(recipients);
        curl_easy_cleanup(easy);
    }
};

namespace {

CURLM* multi(void* m) {
    return static_cast<CURLM*>(m);
}

std::size_t keep(char* data, std::size_t size, std::size_t count, void* user) {
    auto& answer = *static_cast<std::string*>(user);
    // Enough for a report; the rest is read and dropped.
    answer.append(data, std::min(size * count,
                                 std::size_t(1024) - std::min<std::size_t>(answer.size(), 1024)));
    return size * count;
}

std::size_t give(char* buffer, std::size_t size, std::size_t count, void* user) {
    auto& t = *static_cast<CurlSender::Transfer*>(user);
    const std::size_t n = std::min(size * count, t.body.size() - t.sent);
    std::memcpy(buffer, t.body.data() + t.sent, n);
    t.sent += n;
    return n;
}

int onSocket(CURL*, curl_socket_t socket, int what, void* loop, void*) {
    static_cast<CurlLoop*>(loop)->watch(std::intptr_t(socket),
                                        what == CURL_POLL_IN || what == CURL_POLL_INOUT,
                                        what == CURL_POLL_OUT || what == CURL_POLL_INOUT);
    return 0;
}

int onTimer(CURLM*, long ms, void* loop) {
    static_cast<CurlLoop*>(loop)->timer(ms);
    return 0;
}

}  // namespace

CurlSender::CurlSender(CurlLoop& loop, std::string caFile, std::string userAgent)
    : loop_(loop), caFile_(std::move(caFile)), userAgent_(std::move(userAgent)) {
    static const bool initialized = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialized;
    multi_ = curl_multi_init();
    curl_multi_setopt(multi(multi_), CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(multi(multi_), CURLMOPT_SOCKETDATA, &loop_);
    curl_multi_setopt(multi(multi_), CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(multi(multi_), CURLMOPT_TIMERDATA, &loop_);
    loop_.start(*this);
}

CurlSender::~CurlSender() {
    for (auto& [easy, t] : transfers_) curl_multi_remove_handle(multi(multi_), t->easy);
    transfers_.clear();
    curl_multi_cleanup(multi(multi_));
}

void CurlSender::send(const NotifyRequest& request, Done done) {
    auto t = std::make_unique<Transfer>();
    t->done = std::move(done);
    t->body = request.body;
    CURL* e = t->easy = curl_easy_init();
    curl_easy_setopt(e, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,smtp,smtps");
    curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, transferLimitMs);
    curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t->error);
    curl_easy_setopt(e, CURLOPT_USERAGENT, userAgent_.c_str());
    if (!caFile_.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, caFile_.c_str());
    // Windows' TLS refuses a private CA without a revocation list, and any certificate when the
    // lists cannot be reached, as on an offline site: only one known to be revoked is refused.
    curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, long(CURLSSLOPT_REVOKE_BEST_EFFORT));
    curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, keep);
    curl_easy_setopt(e, CURLOPT_WRITEDATA, &t->answer);
    for (const std::string& h : request.headers)
        t->headers = curl_slist_append(t->headers, h.c_str());
    if (request.mail) {
        curl_easy_setopt(e, CURLOPT_MAIL_FROM, ("<" + request.from + ">").c_str());
        t->recipients = curl_slist_append(nullptr, ("<" + request.to + ">").c_str());
        curl_easy_setopt(e, CURLOPT_MAIL_RCPT, t->recipients);
        curl_easy_setopt(e, CURLOPT_USE_SSL,
                         long(request.requireTls ? CURLUSESSL_ALL : CURLUSESSL_TRY));
        if (!request.user.empty()) {
            curl_easy_setopt(e, CURLOPT_USERNAME, request.user.c_str());
            curl_easy_setopt(e, CURLOPT_PASSWORD, request.password.c_str());
        }
        curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(e, CURLOPT_READFUNCTION, give);
        curl_easy_setopt(e, CURLOPT_READDATA, t.get());
        curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, curl_off_t(t->body.size()));
    } else if (request.get) {
        curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
    } else {
        curl_easy_setopt(e, CURLOPT_HTTPHEADER, t->headers);
        curl_easy_setopt(e, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(t->body.size()));
        curl_easy_setopt(e, CURLOPT_POSTFIELDS, t->body.data());
    }
    curl_multi_add_handle(multi(multi_), e);
    transfers_.emplace(e, std::move(t));
}

void CurlSender::socketReady(std::intptr_t socket, bool readable, bool writable) {
    int running = 0;
    curl_multi_socket_action(multi(multi_), curl_socket_t(socket),
                             (readable ? CURL_CSELECT_IN : 0) | (writable ? CURL_CSELECT_OUT : 0),
                             &running);
    finished();
}

void CurlSender::timeout() {
    int running = 0;
    curl_multi_socket_action(multi(multi_), CURL_SOCKET_TIMEOUT, 0, &running);
    finished();
}

void CurlSender::finished() {
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi(multi_), &left)) {
        if (msg->msg != CURLMSG_DONE) continue;
        const auto it = transfers_.find(msg->easy_handle);
        if (it == transfers_.end()) continue;
        std::unique_ptr<Transfer> t = std::move(it->second);
        transfers_.erase(it);
        NotifyAnswer answer;
        if (msg->data.result != CURLE_OK)
            answer.error = t->error[0] ? t->error : curl_easy_strerror(msg->data.result);
        curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &answer.status);
        answer.body = std::move(t->answer);
        curl_multi_remove_handle(multi(multi_), t->easy);
        const Done done = std::move(t->done);
        t.reset();
        // The answer may send again: nothing of this transfer is touched after it.
        if (done) done(answer);
    }
}

}  // namespace skarvel
