#include "backend/BackendRequestHandler.h"

#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include <Poco/Exception.h>
#include <Poco/Net/HTMLForm.h>
#include <Poco/URI.h>

#include "backend/ReplyWriter.h"
#include "backend/WebRoutes.h"

namespace VantisClient {
namespace Backend {

namespace {

std::string foldSlashes(const std::string& path) {
    std::string folded;
    for (char c : path) {
        if (c == '/' && !folded.empty() && folded.back() == '/') continue;
        folded += c;
    }
    return folded.empty() ? "/" : folded;
}

std::string bearerToken(const Poco::Net::HTTPServerRequest& request) {
    const std::string prefix = "Bearer ";
    const std::string value = request.get("Authorization", "");
    return value.compare(0, prefix.size(), prefix) == 0 ? value.substr(prefix.size()) : std::string();
}

bool isForm(const Poco::Net::HTTPServerRequest& request) {
    return request.getContentType().find(Poco::Net::HTMLForm::ENCODING_URL) != std::string::npos;
}

// False once the body passes the limit. Never asks for more than the byte that
// passes it, so a peer that stops there is answered rather than waited for.
bool readBody(std::istream& stream, std::string& body) {
    const size_t limit = BackendRequestHandler::BODY_LIMIT;
    std::string chunk(64 * 1024, '\0');
    while (body.size() <= limit) {
        const size_t wanted = std::min(chunk.size(), limit + 1 - body.size());
        stream.read(&chunk[0], static_cast<std::streamsize>(wanted));
        if (stream.gcount() <= 0) return true;
        body.append(chunk.data(), static_cast<size_t>(stream.gcount()));
    }
    return false;
}

// A link answer whose link leads to plain HTTP, as a tampered answer would.
Reply WithPlainLink(Reply reply) {
    // Slashes may come escaped in the JSON text; the scheme's colon never does.
    const std::string secure = "\"https:";
    const size_t found = reply.body.find(secure);
    if (reply.status == 200 && found != std::string::npos) reply.body.replace(found, secure.size(), "\"http:");
    return reply;
}

}  // namespace

BackendRequestHandler::BackendRequestHandler(BackendContext& context, const std::string& listener, const Route& route)
    : m_context(context), m_listener(listener), m_route(route) {}

BackendRequestHandler::ReadResult BackendRequestHandler::Read(Poco::Net::HTTPServerRequest& request,
                                                              IncomingRequest& incoming) {
    try {
        Poco::URI uri(request.getURI());
        incoming.method = request.getMethod();
        incoming.path = foldSlashes(uri.getPath());
        incoming.bearerToken = bearerToken(request);
        incoming.range = request.get("Range", "");
        incoming.contentType = request.getContentType();
        incoming.controlToken = request.get(WebRoutes::CONTROL_TOKEN_HEADER, "");
        incoming.fromLoopback = request.clientAddress().host().isLoopback();
        std::string body;
        if ((request.hasContentLength() || request.getChunkedTransferEncoding()) && !readBody(request.stream(), body)) {
            return ReadResult::TooLarge;
        }
        Poco::Net::HTMLForm form;
        form.setValueLengthLimit(static_cast<int>(BODY_LIMIT));
        if (isForm(request)) {
            std::istringstream formBody(body);
            form.load(request, formBody);
        } else {
            form.load(request);
            incoming.body = std::move(body);
        }
        for (const auto& field : form) incoming.parameters[field.first] = field.second;
        return ReadResult::Complete;
    } catch (const Poco::Exception&) {
        return ReadResult::Malformed;
    }
}

void BackendRequestHandler::handleRequest(Poco::Net::HTTPServerRequest& request,
                                          Poco::Net::HTTPServerResponse& response,
                                          const std::function<void()>& requestRead) const {
    IncomingRequest incoming;
    const ReadResult read = Read(request, incoming);
    requestRead();
    ServedRequest served;
    served.listener = m_listener;
    served.method = request.getMethod();
    served.path = incoming.path.empty() ? request.getURI() : incoming.path;
    served.range = request.get("Range", "");

    // Control requests are how tests lift their faults, so no fault may stand in their way.
    const bool control = m_listener == "web" && WebRoutes::IsControlPath(served.path);
    const Fault fault = control ? Fault() : m_context.faults.match(m_listener, served.path);
    served.fault = fault.name();
    if (fault.action == Fault::Drop) {
        ReplyWriter::Drop(request, response);
        m_context.faults.record(served);
        return;
    }
    if (fault.action == Fault::Delay) std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));

    // Part of an unread body may still be on its way: nothing after it can be read as a request.
    if (read != ReadResult::Complete) response.setKeepAlive(false);
    Reply reply;
    if (fault.action == Fault::Status) {
        reply = Reply::Error(fault.status, "injected", "fault injected for tests");
    } else if (read == ReadResult::TooLarge) {
        reply = Reply::Error(413, "too_large", "request bodies are limited to " + std::to_string(BODY_LIMIT) + " bytes");
    } else if (read == ReadResult::Malformed) {
        reply = Reply::Error(400, "invalid_request", "the request could not be read");
    } else {
        // A server that does not serve ranges answers with the whole object.
        if (fault.action == Fault::IgnoreRange) incoming.range.clear();
        try {
            reply = m_route(incoming);
        } catch (const std::exception&) {
            reply = Reply::Error(500, "server_error", "the request could not be served");
        }
        if (fault.action == Fault::HttpLink) reply = WithPlainLink(reply);
    }
    served.status = reply.status;
    try {
        served.bodyBytes = ReplyWriter::Write(request, response, reply, fault);
    } catch (const Poco::Exception&) {
        // The peer went away while the body was sent; what was served is still recorded.
    }
    m_context.faults.record(served);
}

}  // namespace Backend
}  // namespace VantisClient
