#include "backend/BackendRequestHandler.h"

#include <chrono>
#include <thread>

#include <Poco/Exception.h>
#include <Poco/Net/HTMLForm.h>
#include <Poco/Net/HTTPServerRequest.h>
#include <Poco/Net/HTTPServerResponse.h>
#include <Poco/URI.h>

#include "backend/ReplyWriter.h"

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

}  // namespace

BackendRequestHandler::BackendRequestHandler(BackendContext& context, const std::string& listener, const Route& route)
    : m_context(context), m_listener(listener), m_route(route) {}

bool BackendRequestHandler::Read(Poco::Net::HTTPServerRequest& request, IncomingRequest& incoming) {
    try {
        Poco::URI uri(request.getURI());
        incoming.method = request.getMethod();
        incoming.path = foldSlashes(uri.getPath());
        incoming.bearerToken = bearerToken(request);
        incoming.range = request.get("Range", "");
        incoming.fromLoopback = request.clientAddress().host().isLoopback();
        Poco::Net::HTMLForm form;
        form.setValueLengthLimit(static_cast<int>(BODY_LIMIT));
        if (isForm(request)) {
            form.load(request, request.stream());
        } else {
            form.load(request);
        }
        if (!isForm(request) && (request.hasContentLength() || request.getChunkedTransferEncoding())) {
            std::string chunk(64 * 1024, '\0');
            while (request.stream().read(&chunk[0], static_cast<std::streamsize>(chunk.size())) ||
                   request.stream().gcount() > 0) {
                incoming.body.append(chunk.data(), static_cast<size_t>(request.stream().gcount()));
                if (incoming.body.size() > BODY_LIMIT) return false;
            }
        }
        for (const auto& field : form) incoming.parameters[field.first] = field.second;
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

void BackendRequestHandler::handleRequest(Poco::Net::HTTPServerRequest& request,
                                          Poco::Net::HTTPServerResponse& response) {
    IncomingRequest incoming;
    const bool readable = Read(request, incoming);
    ServedRequest served;
    served.listener = m_listener;
    served.method = request.getMethod();
    served.path = incoming.path.empty() ? request.getURI() : incoming.path;
    served.range = request.get("Range", "");

    Fault fault = m_context.faults.match(m_listener, served.path);
    served.fault = fault.name();
    if (fault.action == Fault::Drop) {
        ReplyWriter::Drop(request, response);
        m_context.faults.record(served);
        return;
    }
    if (fault.action == Fault::Delay) std::this_thread::sleep_for(std::chrono::milliseconds(fault.delayMs));

    Reply reply;
    if (fault.action == Fault::Status) {
        reply = Reply::Error(fault.status, "injected", "fault injected for tests");
    } else if (!readable) {
        reply = Reply::Error(400, "invalid_request", "the request could not be read");
    } else {
        try {
            reply = m_route(incoming);
        } catch (const Poco::Exception& exception) {
            reply = Reply::Error(500, "server_error", exception.displayText());
        } catch (const std::exception& exception) {
            reply = Reply::Error(500, "server_error", exception.what());
        }
    }
    served.status = reply.status;
    try {
        served.bodyBytes = ReplyWriter::Write(request, response, reply, fault);
    } catch (const Poco::Exception&) {
        // The peer went away while the body was sent; what was served is still recorded.
    }
    m_context.faults.record(served);
}

BackendRequestHandlerFactory::BackendRequestHandlerFactory(BackendContext& context, const std::string& listener,
                                                           const Route& route)
    : m_context(context), m_listener(listener), m_route(route) {}

Poco::Net::HTTPRequestHandler* BackendRequestHandlerFactory::createRequestHandler(
    const Poco::Net::HTTPServerRequest&) {
    return new BackendRequestHandler(m_context, m_listener, m_route);
}

}  // namespace Backend
}  // namespace VantisClient
