// Answers one request of the service link and logs one line for it. Directory
// privileges are fixed for the service's own user; the library location is
// the application-support root; everything that would need elevation or hand
// out secrets is answered NOT_IMPLEMENTED, and no program is ever run.
// Thread-safety: handle() may run on several connection threads at once.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "service/ProtobufWriter.h"
#include "service/zorv_pb.pb.h"

namespace VantisClient {
namespace Service {

class RequestHandler {
public:
    // `owner` is the service's user; `libraryLocation` the application-support root.
    RequestHandler(uid_t owner, std::string libraryLocation);

    uid_t owner() const { return m_owner; }
    // Answers through `writer`; the request came from `peer`.
    void handle(const zorv::protocols::pb::Header& header, const std::vector<char>& content, ProtobufWriter& writer,
                uid_t peer) const;

private:
    // The answer's code; `subject` and `detail` complete the log line.
    zorv::protocols::pb::Response::Code fixPrivileges(const zorv::protocols::pb::Header& header,
                                                      const std::vector<char>& content, std::string& subject,
                                                      std::string& detail) const;

    uid_t m_owner;
    std::string m_libraryLocation;
};

}  // namespace Service
}  // namespace VantisClient
