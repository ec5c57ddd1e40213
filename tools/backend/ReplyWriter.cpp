#include "backend/ReplyWriter.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>
#include <vector>

#include <Poco/Net/HTTPServerRequestImpl.h>
#include <Poco/Net/StreamSocket.h>

namespace VantisClient {
namespace Backend {

namespace {

const size_t CHUNK_SIZE = 256 * 1024;
// A trickled body goes out in this many slices a second.
const uint64_t TRICKLES_PER_SECOND = 10;

// Positions of the flipped bytes, spread over the body so that several parts of
// a ranged download each get hit when the whole object is corrupted.
std::vector<uint64_t> flipPositions(uint64_t size, uint64_t count) {
    std::vector<uint64_t> positions;
    if (size == 0) return positions;
    count = std::min<uint64_t>(std::max<uint64_t>(count, 1), size);
    for (uint64_t k = 0; k < count; ++k) positions.push_back((2 * k + 1) * size / (2 * count));
    return positions;
}

void flipWithin(std::string& chunk, uint64_t chunkStart, const std::vector<uint64_t>& positions) {
    for (uint64_t position : positions) {
        if (position >= chunkStart && position < chunkStart + chunk.size()) chunk[position - chunkStart] ^= 0xff;
    }
}

// Blocking sockets may still take less than they were given.
bool sendAll(Poco::Net::StreamSocket& socket, const char* data, size_t size) {
    while (size > 0) {
        const int sent = socket.sendBytes(data, static_cast<int>(std::min<size_t>(size, CHUNK_SIZE)));
        if (sent <= 0) return false;
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

}  // namespace

uint64_t ReplyWriter::Write(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response,
                            const Reply& reply, const Fault& fault) {
    const auto status = static_cast<Poco::Net::HTTPResponse::HTTPStatus>(reply.status);
    const std::string& reason = Poco::Net::HTTPResponse::getReasonForStatus(status);
    // Statuses without a standard phrase (some injected ones) still get a readable one.
    response.setStatusAndReason(status, reason == Poco::Net::HTTPResponse::HTTP_REASON_UNKNOWN ? "Unknown" : reason);
    response.setContentType(reply.contentType);
    for (const auto& header : reply.headers) response.set(header.first, header.second);
    response.setContentLength64(static_cast<Poco::Int64>(reply.bodySize()));
    const bool truncate = fault.action == Fault::Truncate || fault.action == Fault::Reset;
    if (truncate) response.setKeepAlive(false);
    std::ostream& output = response.send();
    output.flush();
    uint64_t written = 0;
    if (request.getMethod() != Poco::Net::HTTPRequest::HTTP_HEAD) {
        uint64_t limit = truncate ? std::min(fault.bytes, reply.bodySize()) : reply.bodySize();
        // The body goes to the socket in large writes: through the response
        // stream's small buffer every few kilobytes would become a TLS record
        // and a system call of its own.
        auto* served = dynamic_cast<Poco::Net::HTTPServerRequestImpl*>(&request);
        Sink sink = [&](const char* data, size_t size) {
            if (served) return sendAll(served->socket(), data, size);
            output.write(data, static_cast<std::streamsize>(size));
            return static_cast<bool>(output);
        };
        if (fault.action == Fault::Trickle) sink = trickling(sink, fault.bytes);
        written = writeBody(sink, reply, limit, fault);
    }
    output.flush();
    if (fault.action == Fault::Reset) resetOnClose(request);
    if (truncate) Drop(request, response);
    return written;
}

uint64_t ReplyWriter::writeBody(const Sink& sink, const Reply& reply, uint64_t limit, const Fault& fault) {
    std::vector<uint64_t> flips;
    if (fault.action == Fault::Corrupt) flips = flipPositions(reply.bodySize(), fault.bytes);
    if (reply.filePath.empty()) {
        std::string body = reply.body.substr(0, limit);
        flipWithin(body, 0, flips);
        return sink(body.data(), body.size()) ? body.size() : 0;
    }
    std::ifstream file(reply.filePath, std::ios::binary);
    file.seekg(static_cast<std::streamoff>(reply.offset));
    std::string chunk;
    uint64_t written = 0;
    while (written < limit && file) {
        chunk.resize(static_cast<size_t>(std::min<uint64_t>(CHUNK_SIZE, limit - written)));
        file.read(&chunk[0], static_cast<std::streamsize>(chunk.size()));
        chunk.resize(static_cast<size_t>(file.gcount()));
        if (chunk.empty()) break;
        flipWithin(chunk, written, flips);
        if (!sink(chunk.data(), chunk.size())) break;
        written += chunk.size();
    }
    return written;
}

ReplyWriter::Sink ReplyWriter::trickling(const Sink& sink, uint64_t bytesPerSecond) {
    const auto started = std::chrono::steady_clock::now();
    const size_t slice = static_cast<size_t>(std::max<uint64_t>(1, bytesPerSecond / TRICKLES_PER_SECOND));
    uint64_t sent = 0;
    return [=](const char* data, size_t size) mutable {
        while (size > 0) {
            const size_t now = std::min(size, slice);
            if (!sink(data, now)) return false;
            data += now;
            size -= now;
            sent += now;
            std::this_thread::sleep_until(started + std::chrono::microseconds(sent * 1000000 / bytesPerSecond));
        }
        return true;
    };
}

void ReplyWriter::resetOnClose(Poco::Net::HTTPServerRequest& request) {
    auto* impl = dynamic_cast<Poco::Net::HTTPServerRequestImpl*>(&request);
    if (!impl) return;
    try {
        // Without lingering, closing the socket resets the connection.
        impl->socket().setLinger(true, 0);
    } catch (const Poco::Exception&) {
        // The peer may already be gone.
    }
}

void ReplyWriter::Drop(Poco::Net::HTTPServerRequest& request, Poco::Net::HTTPServerResponse& response) {
    response.setKeepAlive(false);
    auto* impl = dynamic_cast<Poco::Net::HTTPServerRequestImpl*>(&request);
    if (!impl) return;
    try {
        impl->socket().shutdown();
    } catch (const Poco::Exception&) {
        // The peer may already be gone; the connection ends either way.
    }
}

}  // namespace Backend
}  // namespace VantisClient
