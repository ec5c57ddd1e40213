// The asynchronous HTTP client. Senders queue requests from any thread; worker
// threads (MultiThreadedHttpClient) take them one at a time and perform them,
// keeping a keep-alive session per host; the owner's delivery thread calls
// ProcessData(), which hands each finished request to its listener, or queues
// it again when the server failed and the request has resends left. Answers
// therefore reach listeners on the delivery thread only, in completion order.
//
// Thread-safety: SendRequest, Finish, setSpeedLimit, probeSpeed and
// setCompletionHook may be called from any thread; Thread() runs on each
// worker; ProcessData() is called by one thread only.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <istream>
#include <memory>
#include <set>
#include <string>

#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Timestamp.h>

#include "common/VantisMutex.h"
#include "net/HttpSessionCache.h"
#include "net/IHttpClient.h"
#include "net/SpeedBudget.h"

namespace VantisClient {
namespace Http {

class HttpClient : public IHttpClient {
public:
    // The largest response body accepted, announced or read: 100 MiB.
    static const uint64_t MAX_RESPONSE_SIZE = 104857600;

    // Trusts only the authorities in `certificateAuthorityFile` (PEM).
    explicit HttpClient(const std::string& certificateAuthorityFile = DefaultCertificateAuthorityFile());
    ~HttpClient() override;
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // "<bundle>/share/vantis/rootCA.pem".
    static std::string DefaultCertificateAuthorityFile();

    // Stamps "X-Schedule-Time", queues a copy and wakes an idle worker.
    void SendRequest(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener) override;
    // Delivers every request finished so far; nothing once Finish() was called.
    virtual void ProcessData();
    // The worker loop: performs queued requests until Finish().
    void Thread();
    // Stops the workers after their current request and cuts short the
    // transfers in flight, so that joining them is quick.
    void Finish();

    void setSpeedLimit(uint32_t bytesPerSecond);
    uint32_t probeSpeed(uint32_t bytes);
    // Called on a worker thread each time a request has finished, so the
    // delivery thread can wake at once instead of waiting for its next pass.
    void setCompletionHook(std::function<void()> hook);
    // Called on the delivering thread with each request as it goes to its
    // listener (after any resends): true when an answer below 500 came.
    using OutcomeHook = std::function<void(const HttpRequest& request, bool answered)>;
    void setOutcomeHook(OutcomeHook hook);
    // Keep-alive sessions between requests (on by default); off, every request
    // opens and closes its own connection.
    void setConnectionReuse(bool reuse);

protected:
    struct RequestContext {
        HttpRequest request;
        HttpResponse response;
        Poco::SharedPtr<IResponseListener> listener;
        // The transfer itself failed.
        bool failed = false;
        // The request block as sent, for the traffic log and error lines.
        std::string requestLog;
        // Resends after server errors so far, and when the next one may go.
        int resends = 0;
        Poco::Timestamp notBefore;
    };
    using ContextList = std::deque<std::unique_ptr<RequestContext>>;

    // Performs one request on the calling worker; failures set `failed`.
    void PerformRequest(RequestContext& context, HttpSessionCache& sessions);

private:
    std::unique_ptr<RequestContext> takePending();
    void complete(std::unique_ptr<RequestContext> context);
    void exchange(RequestContext& context, HttpSessionCache& sessions);
    bool transfer(RequestContext& context, Poco::Net::HTTPClientSession& session);
    bool receive(RequestContext& context, Poco::Net::HTTPClientSession& session);
    static bool isPlainBody(const HttpRequest& request, const Poco::Net::HTTPResponse& received);
    void readBodyFromStream(RequestContext& context, std::istream& stream, Poco::Int64 announced);
    // False when the connection cannot serve another request.
    bool readBodyFromSocket(RequestContext& context, Poco::Net::HTTPClientSession& session, Poco::Int64 announced);
    // Reads up to the announced length (or past the size limit when unknown)
    // through `readSome`, which fills what it is asked for unless the body ends.
    void readBody(RequestContext& context, Poco::Int64 announced,
                  const std::function<uint32_t(char*, uint32_t)>& readSome);
    uint32_t awaitBudget(uint32_t bytes);
    [[noreturn]] void refuseOversized(const RequestContext& context, const std::string& size);
    // A server error, 429 or failed transfer while resends are left.
    static bool mayResend(const RequestContext& context);
    void scheduleResend(std::unique_ptr<RequestContext> context);
    static void noteProgress(RequestContext& context);
    void requeueDue();
    // Registers a duplicate of the connection's descriptor for Finish() to
    // cut; -1 when none could be made. untrackInFlight() closes it.
    int trackInFlight(int socket);
    void untrackInFlight(int tracked);

    Poco::Net::Context::Ptr m_tlsContext;
    std::atomic<bool> m_running{true};
    std::atomic<bool> m_reuseConnections{true};

    VantisMutex m_queueMutex;
    std::condition_variable_any m_workAvailable;
    ContextList m_pending;
    ContextList m_completed;
    std::function<void()> m_completionHook;
    OutcomeHook m_outcomeHook;
    // Resends waiting for their delay; touched by the delivering thread only.
    ContextList m_delayed;

    // Duplicates of the sockets of transfers in progress, shut down by Finish().
    VantisMutex m_inFlightMutex;
    std::set<int> m_inFlightSockets;

    SpeedBudget m_speedBudget;
};

}  // namespace Http
}  // namespace VantisClient
