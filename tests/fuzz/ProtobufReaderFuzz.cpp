// The frame reader of the service link: the input arrives as a peer's bytes on
// a local socket, then the peer closes. Every read must end with a result and
// make progress, and every frame the reader returns must be whole: a parsed
// header, exactly the payload it announces, and no more than a frame may hold.
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <Poco/Net/StreamSocket.h>
#include <Poco/Net/StreamSocketImpl.h>

#include "service/ProtobufReader.h"

namespace {

namespace ds = vantis::protocols::desktop_service;

// A few frames' worth; the socket takes it in one write.
const size_t LARGEST_INPUT = 4 * VantisClient::SERVICE_MAX_FRAME_SIZE;

void fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

void checkFrame(const zorv::protocols::pb::Header& header, const std::vector<char>& content) {
    if (!header.IsInitialized()) fail("returned a header without its required fields");
    if (content.size() != header.size()) fail("returned a payload of another size than announced");
    if (2 + header.ByteSizeLong() + content.size() > VantisClient::SERVICE_MAX_FRAME_SIZE) {
        fail("returned a frame larger than a frame may be");
    }
    // The payload parsers see the peer's bytes too.
    ds::FixDirectoryPrivilegesRequest privileges;
    ds::LaunchElevatedRequest launch;
    ds::LaunchElevatedResponse launched;
    ds::LibraryInfoResponse library;
    VantisClient::ProtobufReader::ParseFixDirectoryPrivilegesRequest(content, header, privileges);
    VantisClient::ProtobufReader::ParseLaunchElevatedRequest(content, header, launch);
    VantisClient::ProtobufReader::ParseLaunchElevatedResponse(content, header, launched);
    VantisClient::ProtobufReader::ParseLibraryInfoResponse(content, header, library);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > LARGEST_INPUT) return 0;
    int ends[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) fail("socketpair failed");
    if (size > 0 && ::write(ends[1], data, size) != static_cast<ssize_t>(size)) fail("write failed");
    ::close(ends[1]);

    Poco::Net::StreamSocket socket(new Poco::Net::StreamSocketImpl(ends[0]));
    VantisClient::ProtobufReader reader(socket);
    // Each read takes at least one byte or ends the connection.
    for (size_t reads = 0; reads <= size + 1; ++reads) {
        zorv::protocols::pb::Header header;
        std::vector<char> content;
        switch (reader.readWholePacket(header, content, 1)) {
            case VantisClient::ProtobufReader::READ_COMPLETE:
                checkFrame(header, content);
                break;
            case VantisClient::ProtobufReader::READ_INCOMPLETE:
            case VantisClient::ProtobufReader::READ_BAD_HEADER:
                break;
            case VantisClient::ProtobufReader::READ_ERROR:
            case VantisClient::ProtobufReader::READ_CLOSED:
                return 0;
        }
    }
    fail("the reader stopped making progress");
    return 0;
}
