// Reads the frames of the service link from a connected socket (the layout is
// described with ProtobufWriter) and checks and parses their payloads.
// A frame is at most SERVICE_MAX_FRAME_SIZE bytes; one that announces more is
// refused at once, since it could never be held whole.
//
// Thread-safety: none; one thread at a time per connection. The reader never
// throws: failures are logged and returned as results.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <Poco/Net/StreamSocket.h>

#include "service/ServiceLinkConstants.h"
#include "service/vantis_desktop_service.pb.h"
#include "service/zorv_pb.pb.h"

namespace VantisClient {

class ProtobufReader {
public:
    enum EReadResult : int {
        READ_COMPLETE = 0,    // a whole frame was read
        READ_INCOMPLETE = 1,  // more bytes are needed
        READ_ERROR = 2,       // receive failed or timed out
        READ_BAD_HEADER = 3,  // the frame cannot be read; every held byte was dropped
        READ_CLOSED = 4,      // the connection is closed or broken
    };

    // The socket is not owned and must outlive the reader. Switches the
    // socket's no-delay and keep-alive options on.
    explicit ProtobufReader(Poco::Net::StreamSocket& socket);

    // Returns a whole frame already held without receiving; otherwise receives
    // once, waiting at most `timeoutSeconds` (0: no limit), and returns the
    // first frame if it is now whole. `content` is replaced with the payload.
    EReadResult readWholePacket(zorv::protocols::pb::Header& header, std::vector<char>& content,
                                unsigned timeoutSeconds);
    // True while bytes of a next frame are held.
    bool hasData() const { return m_held > 0; }

    // False, with a warning naming `messageName`, when the header announces no
    // payload or `content` holds less than announced.
    static bool checkHeaderIntegrity(const char* messageName, const std::vector<char>& content,
                                     const zorv::protocols::pb::Header& header);
    static bool ParseLaunchElevatedRequest(const std::vector<char>& content, const zorv::protocols::pb::Header& header,
                                           vantis::protocols::desktop_service::LaunchElevatedRequest& message);
    static bool ParseLaunchElevatedResponse(const std::vector<char>& content, const zorv::protocols::pb::Header& header,
                                            vantis::protocols::desktop_service::LaunchElevatedResponse& message);
    static bool ParseFixDirectoryPrivilegesRequest(
        const std::vector<char>& content, const zorv::protocols::pb::Header& header,
        vantis::protocols::desktop_service::FixDirectoryPrivilegesRequest& message);
    static bool ParseLibraryInfoResponse(const std::vector<char>& content, const zorv::protocols::pb::Header& header,
                                         vantis::protocols::desktop_service::LibraryInfoResponse& message);

private:
    static bool parsePayload(const char* messageName, const std::vector<char>& content,
                             const zorv::protocols::pb::Header& header, google::protobuf::MessageLite& message);
    // Takes the first frame out of the buffer when it is whole.
    EReadResult takeHeldFrame(zorv::protocols::pb::Header& header, std::vector<char>& content);
    EReadResult dropHeldBytes();

    Poco::Net::StreamSocket& m_socket;
    char m_buffer[SERVICE_MAX_FRAME_SIZE];
    size_t m_held = 0;
};

}  // namespace VantisClient
