#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "notify/notifier.h"

namespace skarvel {

class CurlSender;

/// What a desktop's event loop does for libcurl's multi interface. It answers through
/// CurlSender::socketReady() and CurlSender::timeout().
class CurlLoop {
  public:
    virtual ~CurlLoop() = default;
    virtual void start(CurlSender& sender) = 0;
    /// Watches `socket` as libcurl asks; both false forgets it.
    virtual void watch(std::intptr_t socket, bool read, bool write) = 0;
    /// timeout() once after `ms`, replacing any earlier one; a negative `ms` cancels it.
    virtual void timer(long ms) = 0;
};

/// Sends notifications with libcurl on the event loop: every transfer within 15 s, certificates
/// always verified, nothing waited for.
class CurlSender final : public NotifySender {
  public:
    static constexpr long transferLimitMs = 15000;

    /// `caFile`: extra certificate authorities; empty for the system's own.
    CurlSender(CurlLoop& loop, std::string caFile, std::string userAgent);
    /// Transfers still under way end unanswered.
    ~CurlSender() override;
    CurlSender(const CurlSender&) = delete;
    CurlSender& operator=(const CurlSender&) = delete;

    void send(const NotifyRequest& request, Done done) override;
    void socketReady(std::intptr_t socket, bool readable, bool writable);
    void timeout();
    std::size_t underWay() const { return transfers_.size(); }

    struct Transfer;

  private:
    void finished();

    CurlLoop& loop_;
    std::string caFile_, userAgent_;
    void* multi_;
    std::map<void*, std::unique_ptr<Transfer>> transfers_;
};

}  // namespace skarvel
