// Writes the frames of the service link on a connected socket: two bytes of
// header length (big-endian), the serialised zorv.protocols.pb.Header, then the
// payload message. Every frame carries the rseq extension, 0 when it answers
// nothing. The client sends requests with it, the service its answers.
//
// Thread-safety: none; one thread at a time per connection. The writers never
// throw: a failure is logged and returned as false.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <Poco/Net/StreamSocket.h>

#include "service/zorv_pb.pb.h"

namespace VantisClient {

class ProtobufWriter {
public:
    // The socket is not owned and must outlive the writer. Switches the
    // socket's no-delay and keep-alive options on.
    explicit ProtobufWriter(Poco::Net::StreamSocket& socket);

    bool sendLibraryInfoRequest(std::optional<uint32_t> oseq);
    bool sendLibraryInfoResponse(std::optional<uint32_t> rseq, const std::string& location);
    bool sendAuthInfoResponse(std::optional<uint32_t> rseq, const std::string& refreshToken);
    bool sendLaunchElevatedRequest(uint32_t oseq, const std::string& processPath, const std::string& commandLineArgs,
                                   const std::string& workingDir, bool elevated);
    bool sendLaunchElevatedResponse(std::optional<uint32_t> rseq, uint32_t pid);
    bool sendFixDirectoryPrivilegesRequest(uint32_t oseq, const std::string& directory);
    // The answer to a request without payload: its type is the request's + 1,
    // its rseq the request's oseq. False for a header that is not a request.
    bool sendGenericResponse(const zorv::protocols::pb::Header& requestHeader,
                             zorv::protocols::pb::Response::Code code);

private:
    // Writes one frame with `payload` serialised (none when null); a failure logs
    // "error sending <messageName>: <reason>" and gives false.
    bool trySend(const char* messageName, std::optional<uint32_t> oseq, std::optional<uint32_t> rseq, uint32_t type,
                 const google::protobuf::MessageLite* payload, std::optional<zorv::protocols::pb::Response::Code> code);
    // Throws Poco::Exception when the frame cannot be written whole.
    void sendContentImpl(std::optional<uint32_t> oseq, std::optional<uint32_t> rseq, uint32_t type,
                         const std::string& payload, std::optional<zorv::protocols::pb::Response::Code> code);
    void sendFrame(const zorv::protocols::pb::Header& header, const std::string& payload);

    Poco::Net::StreamSocket& m_socket;
};

}  // namespace VantisClient
