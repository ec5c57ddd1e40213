#include "service/ProtobufWriter.h"

#include <Poco/Exception.h>

#include "common/Logger.h"
#include "service/ServiceLinkConstants.h"
#include "service/vantis_desktop_service.pb.h"

namespace VantisClient {
namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

int printable(std::optional<uint32_t> sequence) { return sequence ? static_cast<int>(*sequence) : -1; }

std::string serialize(const google::protobuf::MessageLite& message) {
    std::string bytes;
    if (!message.SerializeToString(&bytes)) throw Poco::DataFormatException("message is missing required fields");
    return bytes;
}

void enableSocketOptions(Poco::Net::StreamSocket& socket) {
    try {
        socket.setNoDelay(true);
        socket.setKeepAlive(true);
    } catch (const Poco::Exception&) {
        // Only tuning; a socket that refuses it fails its first send instead.
    }
}

}  // namespace

ProtobufWriter::ProtobufWriter(Poco::Net::StreamSocket& socket) : m_socket(socket) { enableSocketOptions(m_socket); }

bool ProtobufWriter::sendLibraryInfoRequest(std::optional<uint32_t> oseq) {
    return trySend("LibraryInfoRequest", oseq, std::nullopt, ds::LIBRARY_INFO_REQUEST, nullptr, std::nullopt);
}

bool ProtobufWriter::sendLibraryInfoResponse(std::optional<uint32_t> rseq, const std::string& location) {
    ds::LibraryInfoResponse message;
    message.set_location(location);
    return trySend("LibraryInfoResponse", std::nullopt, rseq, ds::LIBRARY_INFO_RESPONSE, &message, pb::Response::OK);
}

bool ProtobufWriter::sendAuthInfoResponse(std::optional<uint32_t> rseq, const std::string& refreshToken) {
    ds::AuthInfoResponse message;
    message.set_refresh_token(refreshToken);
    return trySend("AuthInfoResponse", std::nullopt, rseq, ds::AUTH_INFO_RESPONSE, &message, pb::Response::OK);
}

bool ProtobufWriter::sendLaunchElevatedRequest(uint32_t oseq, const std::string& processPath,
                                               const std::string& commandLineArgs, const std::string& workingDir,
                                               bool elevated) {
    ds::LaunchElevatedRequest message;
    message.set_process_path(processPath);
    message.set_command_line_args(commandLineArgs);
    message.set_working_dir(workingDir);
    message.set_elevated(elevated);
    return trySend("LaunchElevatedRequest", oseq, std::nullopt, ds::LAUNCH_ELEVATED_REQUEST, &message, std::nullopt);
}

bool ProtobufWriter::sendLaunchElevatedResponse(std::optional<uint32_t> rseq, uint32_t pid) {
    ds::LaunchElevatedResponse message;
    message.set_pid(pid);
    return trySend("LaunchElevatedResponse", std::nullopt, rseq, ds::LAUNCH_ELEVATED_RESPONSE, &message,
                   pb::Response::OK);
}

bool ProtobufWriter::sendFixDirectoryPrivilegesRequest(uint32_t oseq, const std::string& directory) {
    ds::FixDirectoryPrivilegesRequest message;
    message.set_directory(directory);
    return trySend("FixDirectoryPrivilegesRequest", oseq, std::nullopt, ds::FIX_DIRECTORY_PRIVILEGES_REQUEST, &message,
                   std::nullopt);
}

bool ProtobufWriter::sendGenericResponse(const pb::Header& requestHeader, pb::Response::Code code) {
    const uint32_t requestType = requestHeader.type();
    if (requestType != ds::LIBRARY_INFO_REQUEST && requestType != ds::AUTH_INFO_REQUEST &&
        requestType != ds::LAUNCH_ELEVATED_REQUEST && requestType != ds::FIX_DIRECTORY_PRIVILEGES_REQUEST) {
        Logger::LogWarning("Unknown header type during sendErrorReply: %hu", static_cast<unsigned short>(requestType));
        return false;
    }
    try {
        pb::Header header;
        header.set_sort(1);
        header.set_type(requestType + 1);
        const uint32_t rseq = requestHeader.has_oseq() ? requestHeader.oseq() : 0;
        header.SetExtension(pb::Response::rseq, rseq);
        header.SetExtension(pb::Response::code, code);
        sendFrame(header, std::string());
        Logger::LogInfo("Sending response of type %d [Sequence Number: %d], rseq %d completed OK",
                        static_cast<int>(header.type()),
                        requestHeader.has_oseq() ? static_cast<int>(requestHeader.oseq()) : -1, static_cast<int>(rseq));
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("error sending error reply: %s", e.displayText().c_str());
        return false;
    }
}

bool ProtobufWriter::trySend(const char* messageName, std::optional<uint32_t> oseq, std::optional<uint32_t> rseq,
                             uint32_t type, const google::protobuf::MessageLite* payload,
                             std::optional<pb::Response::Code> code) {
    try {
        sendContentImpl(oseq, rseq, type, payload != nullptr ? serialize(*payload) : std::string(), code);
        return true;
    } catch (const Poco::Exception& e) {
        Logger::LogError("error sending %s: %s", messageName, e.displayText().c_str());
        return false;
    }
}

void ProtobufWriter::sendContentImpl(std::optional<uint32_t> oseq, std::optional<uint32_t> rseq, uint32_t type,
                                     const std::string& payload, std::optional<pb::Response::Code> code) {
    pb::Header header;
    header.set_sort(1);
    header.set_type(type);
    header.set_size(static_cast<uint32_t>(payload.size()));
    if (oseq) header.set_oseq(*oseq);
    header.SetExtension(pb::Response::rseq, rseq.value_or(0));
    if (code) header.SetExtension(pb::Response::code, *code);
    sendFrame(header, payload);
    Logger::LogInfo("Sending message of type %d [Sequence Number: %d], rseq %d completed OK", static_cast<int>(type),
                    printable(oseq), static_cast<int>(rseq.value_or(0)));
}

void ProtobufWriter::sendFrame(const pb::Header& header, const std::string& payload) {
    const std::string headerBytes = serialize(header);
    const size_t frameSize = SERVICE_FRAME_LENGTH_BYTES + headerBytes.size() + payload.size();
    // A longer frame could never be received whole: refuse it here rather than
    // make the peer drop it.
    if (frameSize > SERVICE_MAX_FRAME_SIZE) {
        throw Poco::RangeException("frame of " + std::to_string(frameSize) + " bytes exceeds " +
                                   std::to_string(SERVICE_MAX_FRAME_SIZE));
    }
    std::string frame;
    frame.reserve(frameSize);
    frame.push_back(static_cast<char>((headerBytes.size() >> 8) & 0xFF));
    frame.push_back(static_cast<char>(headerBytes.size() & 0xFF));
    frame += headerBytes;
    frame += payload;
    // A send may take only part of the frame; the rest follows until it is whole.
    size_t sent = 0;
    while (sent < frame.size()) {
        const int written = m_socket.sendBytes(frame.data() + sent, static_cast<int>(frame.size() - sent));
        if (written <= 0) throw Poco::IOException("connection closed while sending");
        sent += static_cast<size_t>(written);
    }
}

}  // namespace VantisClient
