#include "service/RequestHandler.h"

#include "service/DirectoryPrivilegeFixer.h"
#include "service/ProtobufReader.h"
#include "service/ServiceLog.h"
#include "service/vantis_desktop_service.pb.h"

namespace VantisClient {
namespace Service {
namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

std::string typeName(uint32_t type) {
    const std::string name = ds::MessageType_IsValid(static_cast<int>(type))
                                 ? ds::MessageType_Name(static_cast<ds::MessageType>(type))
                                 : std::string();
    return name.empty() ? "message type " + std::to_string(type) : name;
}

// The path is the peer's text: one request stays one line.
std::string printable(const std::string& text) {
    std::string shown = text;
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    }
    return shown;
}

}  // namespace

RequestHandler::RequestHandler(uid_t owner, std::string libraryLocation)
    : m_owner(owner), m_libraryLocation(std::move(libraryLocation)) {}

void RequestHandler::handle(const pb::Header& header, const std::vector<char>& content, ProtobufWriter& writer,
                            uid_t peer) const {
    const uint32_t oseq = header.has_oseq() ? header.oseq() : 0;
    std::string subject;
    std::string detail;
    bool answered = false;
    pb::Response::Code code = pb::Response::NOT_IMPLEMENTED;
    switch (header.type()) {
        case ds::FIX_DIRECTORY_PRIVILEGES_REQUEST:
            code = fixPrivileges(header, content, subject, detail);
            answered = writer.sendGenericResponse(header, code);
            break;
        case ds::LIBRARY_INFO_REQUEST:
            code = pb::Response::OK;
            subject = m_libraryLocation;
            answered = writer.sendLibraryInfoResponse(oseq, m_libraryLocation);
            break;
        case ds::AUTH_INFO_REQUEST:
        case ds::LAUNCH_ELEVATED_REQUEST:
            // No elevation through the service on this platform, and it never runs a program.
            answered = writer.sendGenericResponse(header, code);
            break;
        default:
            // Not a request: nothing to answer.
            code = pb::Response::BAD_REQUEST;
            break;
    }
    std::string line = "uid " + std::to_string(peer) + " " + typeName(header.type()) + " oseq " + std::to_string(oseq);
    if (!subject.empty()) line += " " + subject;
    line += ": " + pb::Response::Code_Name(code);
    if (!detail.empty()) line += " (" + detail + ")";
    if (!answered) line += ", not answered";
    ServiceLog::Line("%s", line.c_str());
}

pb::Response::Code RequestHandler::fixPrivileges(const pb::Header& header, const std::vector<char>& content,
                                                 std::string& subject, std::string& detail) const {
    ds::FixDirectoryPrivilegesRequest request;
    if (!ProtobufReader::ParseFixDirectoryPrivilegesRequest(content, header, request)) {
        detail = "unreadable request";
        return pb::Response::BAD_REQUEST;
    }
    subject = "'" + printable(request.directory()) + "'";
    return DirectoryPrivilegeFixer(m_owner).fix(request.directory(), detail);
}

}  // namespace Service
}  // namespace VantisClient
