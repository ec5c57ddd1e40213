#include "service/ProtobufReader.h"

#include <cstring>

#include <Poco/Net/NetException.h>
#include <Poco/Timespan.h>

#include "common/Logger.h"

namespace VantisClient {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

ProtobufReader::ProtobufReader(Poco::Net::StreamSocket& socket) : m_socket(socket) {
    try {
        m_socket.setNoDelay(true);
        m_socket.setKeepAlive(true);
    } catch (const Poco::Exception&) {
        // Only tuning; a socket that refuses it fails its first receive instead.
    }
}

ProtobufReader::EReadResult ProtobufReader::readWholePacket(pb::Header& header, std::vector<char>& content,
                                                            unsigned timeoutSeconds) {
    try {
        // A frame that arrived with the previous one is answered before the
        // socket is asked for more: no further bytes may ever come.
        EReadResult held = takeHeldFrame(header, content);
        if (held != READ_INCOMPLETE) return held;
        m_socket.setReceiveTimeout(Poco::Timespan(static_cast<long>(timeoutSeconds), 0));
        // An incomplete frame always leaves room: a longer one was refused.
        const int received = m_socket.receiveBytes(m_buffer + m_held, static_cast<int>(sizeof(m_buffer) - m_held));
        if (received == 0) {
            Logger::LogInfo("Connection closed by remote host");
            return READ_CLOSED;
        }
        // Only a non-blocking socket answers "nothing yet".
        if (received < 0) return READ_INCOMPLETE;
        m_held += static_cast<size_t>(received);
        return takeHeldFrame(header, content);
    } catch (const Poco::Net::NetException& e) {
        Logger::LogError("NetException during ProtobufReader::readWholePacket: %s", e.displayText().c_str());
        return READ_CLOSED;
    } catch (const Poco::Exception& e) {
        Logger::LogError("Exception during ProtobufReader::readWholePacket: %s", e.displayText().c_str());
        return READ_ERROR;
    }
}

ProtobufReader::EReadResult ProtobufReader::takeHeldFrame(pb::Header& header, std::vector<char>& content) {
    if (m_held < SERVICE_FRAME_LENGTH_BYTES) return READ_INCOMPLETE;
    const uint16_t headerSize =
        static_cast<uint16_t>((static_cast<unsigned char>(m_buffer[0]) << 8) | static_cast<unsigned char>(m_buffer[1]));
    const size_t headerEnd = SERVICE_FRAME_LENGTH_BYTES + headerSize;
    if (headerEnd > sizeof(m_buffer)) {
        Logger::LogWarning("Frame header of %hu bytes cannot fit in the receive buffer; dropping it", headerSize);
        return dropHeldBytes();
    }
    if (m_held < headerEnd) return READ_INCOMPLETE;

    pb::Header parsed;
    // Partial parsing and our own check of the required fields: the peer's bytes
    // are no reason for the protocol-buffer library to log.
    if (!parsed.ParsePartialFromArray(m_buffer + SERVICE_FRAME_LENGTH_BYTES, headerSize) || !parsed.IsInitialized()) {
        Logger::LogWarning("Parse error while reading message of size %hu", headerSize);
        return dropHeldBytes();
    }
    // 64-bit: the announced payload size is the peer's and may be anything.
    const uint64_t frameSize = static_cast<uint64_t>(headerEnd) + parsed.size();
    if (frameSize > sizeof(m_buffer)) {
        Logger::LogWarning("Frame of %llu bytes cannot fit in the receive buffer; dropping it",
                           static_cast<unsigned long long>(frameSize));
        return dropHeldBytes();
    }
    if (m_held < frameSize) return READ_INCOMPLETE;

    header.Swap(&parsed);
    content.assign(m_buffer + headerEnd, m_buffer + frameSize);
    m_held -= static_cast<size_t>(frameSize);
    std::memmove(m_buffer, m_buffer + frameSize, m_held);
    return READ_COMPLETE;
}

ProtobufReader::EReadResult ProtobufReader::dropHeldBytes() {
    // The frame boundary is lost: nothing held can be trusted to start a frame.
    m_held = 0;
    return READ_BAD_HEADER;
}

bool ProtobufReader::checkHeaderIntegrity(const char* messageName, const std::vector<char>& content,
                                          const pb::Header& header) {
    if (header.size() == 0) {
        Logger::LogWarning("Failed parsing %s because header.size()==0", messageName);
        return false;
    }
    if (content.size() < header.size()) {
        Logger::LogWarning("Failed parsing %s because header.size()==%u and contentBuffer.size()==%u", messageName,
                           static_cast<unsigned>(header.size()), static_cast<unsigned>(content.size()));
        return false;
    }
    return true;
}

bool ProtobufReader::parsePayload(const char* messageName, const std::vector<char>& content, const pb::Header& header,
                                  google::protobuf::MessageLite& message) {
    if (!checkHeaderIntegrity(messageName, content, header)) return false;
    if (!message.ParsePartialFromArray(content.data(), static_cast<int>(header.size())) || !message.IsInitialized()) {
        Logger::LogWarning("Failed parsing %s", messageName);
        return false;
    }
    return true;
}

bool ProtobufReader::ParseLaunchElevatedRequest(const std::vector<char>& content, const pb::Header& header,
                                                ds::LaunchElevatedRequest& message) {
    return parsePayload("LaunchElevatedRequest", content, header, message);
}

bool ProtobufReader::ParseLaunchElevatedResponse(const std::vector<char>& content, const pb::Header& header,
                                                 ds::LaunchElevatedResponse& message) {
    return parsePayload("LaunchElevatedResponse", content, header, message);
}

bool ProtobufReader::ParseFixDirectoryPrivilegesRequest(const std::vector<char>& content, const pb::Header& header,
                                                        ds::FixDirectoryPrivilegesRequest& message) {
    return parsePayload("FixDirectoryPrivilegesRequest", content, header, message);
}

bool ProtobufReader::ParseLibraryInfoResponse(const std::vector<char>& content, const pb::Header& header,
                                              ds::LibraryInfoResponse& message) {
    return parsePayload("LibraryInfoResponse", content, header, message);
}

}  // namespace VantisClient
