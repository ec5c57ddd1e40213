#include "net/HttpClient.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <chrono>
#include <mutex>
#include <ostream>
#include <thread>

#include <Poco/Buffer.h>
#include <Poco/Exception.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/NetException.h>
#include <Poco/Net/RejectCertificateHandler.h>
#include <Poco/Net/SSLManager.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Timestamp.h>

#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/ScopedLock.h"
#include "net/HttpTrafficLog.h"
#include "net/TlsClientContext.h"
#include "net/UrlPrinter.h"

namespace VantisClient {
namespace Http {
namespace {

const uint32_t READ_CHUNK_BYTES = 256 * 1024;
const std::chrono::milliseconds BUDGET_RETRY_PAUSE(5);
const char* const FORM_CONTENT_TYPE = "application/x-www-form-urlencoded";
const char* const JSON_CONTENT_TYPE = "application/json";
const char* const METHOD_VERBS[] = {"GET", "HEAD", "POST", "PUT", "DELETE"};
const int32_t TOO_MANY_REQUESTS = 429;
// Bytes a read from a response stream asks for at most, so that a slow
// answer still shows its progress often.
const uint32_t STREAM_READ_BYTES = 16 * 1024;
const Poco::Timestamp::TimeDiff RESEND_DELAY_MICROSECONDS = 200000;
const int MAX_DELAY_DOUBLINGS = 5;

Poco::Net::Context::Ptr createTlsContext(const std::string& certificateAuthorityFile) {
    Poco::Net::Context::Ptr context;
    try {
        context = TlsClientContext::Create(certificateAuthorityFile);
    } catch (const Poco::Exception& error) {
        // Without its authorities the client trusts nobody: every TLS request fails.
        Logger::LogError("Could not load the certificate authorities from %s: %s", certificateAuthorityFile.c_str(),
                         error.displayText().c_str());
        context = TlsClientContext::Create("");
    }
    Poco::Net::SSLManager::InvalidCertificateHandlerPtr rejecting = new Poco::Net::RejectCertificateHandler(false);
    Poco::Net::SSLManager::instance().initializeClient(nullptr, rejecting, context);
    return context;
}

bool carriesBody(const HttpRequest& request) {
    return request.method == HttpRequest::HTTP_METHOD_POST || request.method == HttpRequest::HTTP_METHOD_PUT;
}

bool isIdempotent(const HttpRequest& request) {
    return request.method == HttpRequest::HTTP_METHOD_GET || request.method == HttpRequest::HTTP_METHOD_HEAD;
}

bool isJson(const HttpMessage& message) {
    return std::any_of(message.headers.begin(), message.headers.end(),
                       [](const HeaderMap::value_type& header) { return header.second == JSON_CONTENT_TYPE; });
}

}  // namespace

HttpClient::HttpClient(const std::string& certificateAuthorityFile)
    : m_tlsContext(createTlsContext(certificateAuthorityFile)) {}

HttpClient::~HttpClient() { Finish(); }

std::string HttpClient::DefaultCertificateAuthorityFile() {
    return ApplicationEnvironment::GetExecutableDirectoryPath() + "/share/vantis/rootCA.pem";
}

// Queuing and delivery

void HttpClient::SendRequest(HttpRequest& request, Poco::SharedPtr<IResponseListener> listener) {
    request.addTimeStamp("X-Schedule-Time");
    // Only a link that did not parse leaves a request without a host; its
    // builder has said so.
    if (request.host.empty()) {
        if (listener) listener->OnError(request);
        return;
    }
    std::unique_ptr<RequestContext> context(new RequestContext());
    context->request = request;
    context->listener = listener;
    {
        ScopedLock lock(m_queueMutex);
        m_pending.push_back(std::move(context));
    }
    m_workAvailable.notify_one();
}

void HttpClient::ProcessData() {
    if (!m_running) return;
    requeueDue();
    ContextList finished;
    OutcomeHook outcomeHook;
    {
        ScopedLock lock(m_queueMutex);
        finished.swap(m_completed);
        outcomeHook = m_outcomeHook;
    }
    for (std::unique_ptr<RequestContext>& context : finished) {
        if (!context->listener) continue;
        if (mayResend(*context)) {
            --context->request.resendAttempts;
            Logger::LogWarning("Scheduling a request (requestId: %s) for resending due to %s",
                               context->request.requestId.c_str(),
                               context->failed ? "a failed transfer" : "server error");
            scheduleResend(std::move(context));
            continue;
        }
        if (outcomeHook) outcomeHook(context->request, !context->failed && context->response.statusCode < 500);
        if (context->failed) {
            context->listener->OnError(context->request);
        } else {
            context->listener->OnResponseHandover(context->request, context->response);
        }
        // A body may be large: it goes as soon as its listener has returned.
        context.reset();
    }
}

bool HttpClient::mayResend(const RequestContext& context) {
    if (context.request.resendAttempts <= 0) return false;
    // A request that may have reached the server goes again only when that is harmless.
    if (context.failed) return isIdempotent(context.request);
    const int32_t status = context.response.statusCode;
    return status >= 500 || status == TOO_MANY_REQUESTS;
}

void HttpClient::scheduleResend(std::unique_ptr<RequestContext> context) {
    // A failing server gets a moment to recover: 0.2 s, then 0.4 s, 0.8 s, ...
    const Poco::Timestamp::TimeDiff delay = RESEND_DELAY_MICROSECONDS << std::min(context->resends, MAX_DELAY_DOUBLINGS);
    ++context->resends;
    context->notBefore = Poco::Timestamp() + delay;
    context->failed = false;
    context->response = HttpResponse();
    m_delayed.push_back(std::move(context));
}

void HttpClient::requeueDue() {
    if (m_delayed.empty()) return;
    const Poco::Timestamp now;
    size_t moved = 0;
    {
        ScopedLock lock(m_queueMutex);
        for (auto it = m_delayed.begin(); it != m_delayed.end();) {
            if ((*it)->notBefore > now) {
                ++it;
                continue;
            }
            m_pending.push_back(std::move(*it));
            it = m_delayed.erase(it);
            ++moved;
        }
    }
    for (; moved > 0; --moved) m_workAvailable.notify_one();
}

void HttpClient::noteProgress(RequestContext& context) {
    if (context.listener) context.listener->OnProgress();
}

void HttpClient::setCompletionHook(std::function<void()> hook) {
    ScopedLock lock(m_queueMutex);
    m_completionHook = std::move(hook);
}

void HttpClient::setOutcomeHook(OutcomeHook hook) {
    ScopedLock lock(m_queueMutex);
    m_outcomeHook = std::move(hook);
}

void HttpClient::setConnectionReuse(bool reuse) { m_reuseConnections = reuse; }

// Workers

void HttpClient::Thread() {
    HttpSessionCache sessions(m_tlsContext);
    while (std::unique_ptr<RequestContext> context = takePending()) {
        noteProgress(*context);
        PerformRequest(*context, sessions);
        complete(std::move(context));
    }
}

std::unique_ptr<HttpClient::RequestContext> HttpClient::takePending() {
    std::unique_lock<VantisMutex> lock(m_queueMutex);
    m_workAvailable.wait(lock, [this] { return !m_running || !m_pending.empty(); });
    if (!m_running) return nullptr;
    std::unique_ptr<RequestContext> context = std::move(m_pending.front());
    m_pending.pop_front();
    return context;
}

void HttpClient::complete(std::unique_ptr<RequestContext> context) {
    std::function<void()> hook;
    {
        ScopedLock lock(m_queueMutex);
        m_completed.push_back(std::move(context));
        hook = m_completionHook;
    }
    if (hook) hook();
}

void HttpClient::Finish() {
    {
        ScopedLock lock(m_queueMutex);
        m_running = false;
    }
    m_workAvailable.notify_all();
    ScopedLock lock(m_inFlightMutex);
    for (int socket : m_inFlightSockets) ::shutdown(socket, SHUT_RDWR);
}

int HttpClient::trackInFlight(int socket) {
    // A descriptor of our own: the session's may be closed at any moment (a
    // failed TLS handshake closes it before its error arrives here) and its
    // number reused by another connection, which Finish() must never cut.
    const int tracked = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
    if (tracked < 0) return -1;
    ScopedLock lock(m_inFlightMutex);
    m_inFlightSockets.insert(tracked);
    if (!m_running) ::shutdown(tracked, SHUT_RDWR);
    return tracked;
}

void HttpClient::untrackInFlight(int tracked) {
    if (tracked < 0) return;
    {
        ScopedLock lock(m_inFlightMutex);
        m_inFlightSockets.erase(tracked);
    }
    ::close(tracked);
}

// Performing one request

void HttpClient::PerformRequest(RequestContext& context, HttpSessionCache& sessions) {
    const Poco::Timestamp started;
    std::string error;
    try {
        exchange(context, sessions);
        return;
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
    } catch (const std::exception& exception) {
        error = exception.what();
    }
    context.failed = true;
    if (!m_running) {
        // Cut short by Finish(): nobody waits for this answer any more.
        Logger::LogInfo("PerformRequest (requestId: %s) stopped with the HTTP client", context.request.requestId.c_str());
        return;
    }
    Logger::LogError("Error occurred during PerformRequest (requestId: %s) for url %s: %s after %dms",
                     context.request.requestId.c_str(), UrlPrinter::UrlToString(context.request).c_str(),
                     error.c_str(), static_cast<int>(started.elapsed() / 1000));
}

void HttpClient::exchange(RequestContext& context, HttpSessionCache& sessions) {
    bool reused = false;
    int tracked = -1;
    bool connectedNow = false;
    const auto connected = [this, &tracked, &connectedNow](int fd) {
        tracked = trackInFlight(fd);
        connectedNow = true;
    };
    bool keepOpen = false;
    try {
        Poco::Net::HTTPClientSession& session = sessions.acquire(context.request, reused, connected);
        if (!connectedNow) connected(session.socket().impl()->sockfd());
        keepOpen = transfer(context, session);
    } catch (const Poco::Exception& error) {
        untrackInFlight(tracked);
        sessions.release(context.request, false);
        // A kept-alive connection that the server closed meanwhile fails
        // before any answer; such a request gets one fresh connection.
        const bool answered = context.response.statusCode != HttpResponse::NO_STATUS;
        const bool timedOut = dynamic_cast<const Poco::TimeoutException*>(&error) != nullptr;
        if (!reused || answered || timedOut || !isIdempotent(context.request) || !m_running) throw;
        exchange(context, sessions);
        return;
    }
    untrackInFlight(tracked);
    sessions.release(context.request, keepOpen && m_reuseConnections);
}

bool HttpClient::transfer(RequestContext& context, Poco::Net::HTTPClientSession& session) {
    HttpRequest& request = context.request;
    Poco::Net::HTTPRequest sent(METHOD_VERBS[request.method], UrlPrinter::RequestTarget(request),
                                request.version == HttpRequest::HTTP_VERSION_1_0 ? Poco::Net::HTTPMessage::HTTP_1_0
                                                                                 : Poco::Net::HTTPMessage::HTTP_1_1);
    // Sessions are made from connected sockets, which know no host name.
    sent.setHost(request.host, HttpSessionCache::PortOf(request));
    if (carriesBody(request)) {
        sent.setContentType(FORM_CONTENT_TYPE);
        sent.setContentLength64(static_cast<Poco::Int64>(request.body.size()));
    }
    request.addTimeStamp("X-Send-Time");
    // Of several values under one name the last one wins: the newest send time.
    for (const auto& header : request.headers) sent.set(header.first, header.second);
    if (request.speedLimit > 0) setSpeedLimit(request.speedLimit);

    std::ostream& out = session.sendRequest(sent);
    if (carriesBody(request)) out.write(request.body.data(), static_cast<std::streamsize>(request.body.size()));
    context.requestLog = HttpTrafficLog::RequestBlock(request, sent);
    Logger::LogChannelInfo(HttpTrafficLog::CHANNEL, "%s", context.requestLog.c_str());
    return receive(context, session);
}

bool HttpClient::receive(RequestContext& context, Poco::Net::HTTPClientSession& session) {
    Poco::Net::HTTPResponse received;
    std::istream& stream = session.receiveResponse(received);
    const Poco::Int64 announced = received.getContentLength64();
    if (announced > static_cast<Poco::Int64>(MAX_RESPONSE_SIZE)) {
        refuseOversized(context, Poco::NumberFormatter::format(announced));
    }
    HttpResponse& response = context.response;
    for (const auto& header : received) response.headers.emplace(header.first, header.second);
    response.statusCode = static_cast<int32_t>(received.getStatus());
    response.requestId = context.request.requestId;
    bool reusable = received.getKeepAlive();
    if (isPlainBody(context.request, received)) {
        reusable = readBodyFromSocket(context, session, announced) && reusable;
    } else {
        readBodyFromStream(context, stream, announced);
    }
    if (!Logger::IsChannelEnabled(HttpTrafficLog::CHANNEL)) return reusable;
    Logger::LogChannelInfo(HttpTrafficLog::CHANNEL, "%s",
                           HttpTrafficLog::ResponseBlock(response.requestId, received).c_str());
    if (isJson(response)) {
        Logger::LogChannelInfo(HttpTrafficLog::CHANNEL, "%s",
                               HttpTrafficLog::ResponseBodyBlock(response.requestId, response.body).c_str());
    }
    return reusable;
}

bool HttpClient::isPlainBody(const HttpRequest& request, const Poco::Net::HTTPResponse& received) {
    const int status = received.getStatus();
    return request.method != HttpRequest::HTTP_METHOD_HEAD && status >= 200 && status < 300 && status != 204 &&
           !received.getChunkedTransferEncoding() && received.getContentLength64() > 0;
}

void HttpClient::readBodyFromStream(RequestContext& context, std::istream& stream, Poco::Int64 announced) {
    // A failing socket must surface as an error, not as an early end of body.
    stream.exceptions(std::ios::badbit);
    readBody(context, announced, [&](char* into, uint32_t wanted) {
        uint32_t got = 0;
        while (got < wanted) {
            stream.read(into + got, std::min(wanted - got, STREAM_READ_BYTES));
            const uint32_t read = static_cast<uint32_t>(stream.gcount());
            if (read == 0) break;
            got += read;
            noteProgress(context);
        }
        return got;
    });
}

bool HttpClient::readBodyFromSocket(RequestContext& context, Poco::Net::HTTPClientSession& session,
                                    Poco::Int64 announced) {
    // What the session read beyond the head comes first; the rest is read in
    // large pieces straight from the socket, not through the stream's small buffer.
    Poco::Buffer<char> buffered(0);
    session.drainBuffer(buffered);
    const uint64_t length = static_cast<uint64_t>(announced);
    const size_t head = static_cast<size_t>(std::min<uint64_t>(buffered.size(), length));
    Poco::Net::StreamSocket& socket = session.socket();
    socket.setReceiveTimeout(Poco::Timespan(context.request.timeout, 0));
    size_t offset = 0;
    readBody(context, announced, [&](char* into, uint32_t wanted) {
        uint32_t got = 0;
        const size_t fromBuffer = std::min<size_t>(head - offset, wanted);
        if (fromBuffer > 0) std::memcpy(into, buffered.begin() + offset, fromBuffer);
        offset += fromBuffer;
        got += static_cast<uint32_t>(fromBuffer);
        while (got < wanted) {
            const int received = socket.receiveBytes(into + got, static_cast<int>(wanted - got));
            if (received <= 0) break;
            got += static_cast<uint32_t>(received);
            noteProgress(context);
        }
        return got;
    });
    // Bytes beyond the body would be read as the next answer: such a connection is not reused.
    return buffered.size() <= length;
}

void HttpClient::readBody(RequestContext& context, Poco::Int64 announced,
                          const std::function<uint32_t(char*, uint32_t)>& readSome) {
    std::string& body = context.response.body;
    if (announced > 0) body.reserve(static_cast<std::string::size_type>(announced));
    const uint64_t expected = announced >= 0 ? static_cast<uint64_t>(announced) : MAX_RESPONSE_SIZE + 1;
    while (body.size() < expected) {
        uint32_t wanted = READ_CHUNK_BYTES;
        if (context.request.speedLimit > 0) wanted = awaitBudget(wanted);
        // One byte beyond the limit is enough to know the body is too large.
        wanted = static_cast<uint32_t>(std::min<uint64_t>(wanted, expected - body.size()));
        const std::string::size_type before = body.size();
        body.resize(before + wanted);
        const uint32_t got = readSome(&body[before], wanted);
        body.resize(before + got);
        if (body.size() > MAX_RESPONSE_SIZE) {
            refuseOversized(context, "over " + Poco::NumberFormatter::format(MAX_RESPONSE_SIZE));
        }
        if (got < wanted) break;
    }
    if (announced >= 0 && body.size() != static_cast<uint64_t>(announced)) {
        throw Poco::Net::MessageException("response body ended after " + Poco::NumberFormatter::format(body.size()) +
                                          " of " + Poco::NumberFormatter::format(announced) + " bytes");
    }
}

uint32_t HttpClient::awaitBudget(uint32_t bytes) {
    for (;;) {
        const uint32_t granted = probeSpeed(bytes);
        if (granted > 0) return granted;
        if (!m_running) throw Poco::Exception("the HTTP client is stopping");
        std::this_thread::sleep_for(BUDGET_RETRY_PAUSE);
    }
}

void HttpClient::refuseOversized(const RequestContext& context, const std::string& size) {
    Logger::LogError("PerformRequest (requestId: %s) received response of size %s for request %s.",
                     context.request.requestId.c_str(), size.c_str(), context.requestLog.c_str());
    throw Poco::Exception("response larger than " + Poco::NumberFormatter::format(MAX_RESPONSE_SIZE) + " bytes");
}

// Speed budget

void HttpClient::setSpeedLimit(uint32_t bytesPerSecond) { m_speedBudget.setLimit(bytesPerSecond); }

uint32_t HttpClient::probeSpeed(uint32_t bytes) { return m_speedBudget.probe(bytes); }

}  // namespace Http
}  // namespace VantisClient
