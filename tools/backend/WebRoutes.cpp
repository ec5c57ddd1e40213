#include "backend/WebRoutes.h"

#include <sys/stat.h>

#include <fstream>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>
#include <Poco/String.h>

#include "catalogue/CatalogueLayout.h"
#include "catalogue/CoverPicture.h"

namespace VantisClient {
namespace Backend {

using Catalogue::CatalogueLayout;

const char* const WebRoutes::GAMECARD_PREFIX = "/gameview/dist/";
const char* const WebRoutes::CONTROL_TOKEN_HEADER = "X-Control-Token";
const char* const WebRoutes::COVER_NAME = "cover";

struct WebRoutes::Command {
    const char* method;
    const char* name;
    Reply (WebRoutes::*run)(const IncomingRequest&);
};

namespace {

Reply notFound() {
    return Reply::Error(404, "not_found", "no such resource");
}

Reply ok() {
    Poco::JSON::Object::Ptr object = new Poco::JSON::Object;
    object->set("ok", true);
    return Reply::Json(200, object);
}

bool isJson(const std::string& contentType) {
    std::string media = contentType.substr(0, contentType.find(';'));
    while (!media.empty() && media.back() == ' ') media.pop_back();
    return Poco::icompare(media, "application/json") == 0;
}

std::string contentTypeOf(const std::string& name) {
    const std::pair<const char*, const char*> types[] = {
        {".html", "text/html; charset=utf-8"}, {".js", "text/javascript"}, {".css", "text/css"},
        {".png", "image/png"}, {".svg", "image/svg+xml"}, {".json", "application/json"},
    };
    for (const auto& type : types) {
        const std::string suffix = type.first;
        if (name.size() >= suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            return type.second;
        }
    }
    return "application/octet-stream";
}

// A one-pixel grey picture, so that avatar addresses lead somewhere.
const unsigned char AVATAR_PNG[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00,
    0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x3a, 0x7e, 0x9b, 0x55, 0x00, 0x00, 0x00,
    0x0a, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x68, 0x00, 0x00, 0x00, 0x82, 0x00, 0x81, 0x77, 0xcd, 0x72,
    0xb6, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82,
};

}  // namespace

WebRoutes::WebRoutes(BackendContext& context) : m_context(context) {}

Reply WebRoutes::handle(const IncomingRequest& request) {
    const std::vector<std::string> segments = request.segments();
    if (segments.size() == 1 && segments[0] == "problem.php") {
        return request.method == "POST" ? problemReport(request) : Reply::MethodNotAllowed("POST");
    }
    if (segments.size() == 2 && segments[0] == "control") {
        if (!request.fromLoopback) return Reply::Error(403, "forbidden", "control is for loopback peers only");
        if (request.controlToken != m_context.controlToken) {
            return Reply::Error(403, "forbidden", std::string("control requests carry the control token printed at "
                                                              "start in ") + CONTROL_TOKEN_HEADER);
        }
        if (!isJson(request.contentType)) {
            return Reply::Error(415, "unsupported_media_type", "control requests are sent as application/json");
        }
        return control(request, segments[1]);
    }
    if (!request.isRead()) return Reply::MethodNotAllowed("GET, HEAD");
    if (segments.size() >= 3 && segments[0] == "gameview" && segments[1] == "dist") return gamecard(segments);
    if (segments.size() == 2 && segments[0] == "avatars") return avatar();
    return notFound();
}

bool WebRoutes::IsControlPath(const std::string& path) {
    const std::string prefix = "/control";
    return path.compare(0, prefix.size(), prefix) == 0 && (path.size() == prefix.size() || path[prefix.size()] == '/');
}

Reply WebRoutes::gamecard(const std::vector<std::string>& segments) {
    const std::string& gameId = segments[2];
    if (!m_context.catalogue.offersGame(gameId)) return notFound();
    std::string relative;
    for (size_t i = 3; i < segments.size(); ++i) relative += (relative.empty() ? "" : "/") + segments[i];
    if (relative == COVER_NAME) return cover(gameId);
    if (relative.empty()) relative = "index.html";
    if (!CatalogueLayout::IsSafeRelativePath(relative)) return notFound();
    const std::string file = m_context.options.gamecardDirectory + "/" + relative;
    struct stat info {};
    if (m_context.options.gamecardDirectory.empty() || stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return notFound();
    }
    Reply reply;
    reply.contentType = contentTypeOf(relative);
    reply.filePath = file;
    reply.length = static_cast<uint64_t>(info.st_size);
    return reply;
}

// Beside the card's page, so that the card reaches it from its own origin.
Reply WebRoutes::cover(const std::string& gameId) const {
    const std::string file = m_context.options.catalogue + "/" + CatalogueLayout::CoverPath(gameId);
    struct stat info {};
    if (stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return notFound();
    std::ifstream input(file, std::ios::binary);
    std::string head(8, '\0');
    input.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(input.gcount()));
    const std::string contentType = Catalogue::CoverPicture::ContentTypeOf(head);
    if (contentType.empty()) return notFound();
    Reply reply;
    reply.contentType = contentType;
    reply.filePath = file;
    reply.length = static_cast<uint64_t>(info.st_size);
    return reply;
}

Reply WebRoutes::problemReport(const IncomingRequest& request) {
    const std::string message = request.parameter("problem_message");
    if (message.empty()) return Reply::Error(400, "invalid_request", "problem_message is missing");
    if (!m_context.reports.add(message, request.parameter("log_snippet"))) {
        return Reply::Error(413, "too_large", "a problem report may hold " +
                                                  std::to_string(ProblemReportStore::REPORT_LIMIT) + " bytes");
    }
    return ok();
}

Reply WebRoutes::avatar() {
    Reply reply;
    reply.contentType = "image/png";
    reply.body.assign(reinterpret_cast<const char*>(AVATAR_PNG), sizeof(AVATAR_PNG));
    return reply;
}

Reply WebRoutes::control(const IncomingRequest& request, const std::string& name) {
    static const Command COMMANDS[] = {
        {"POST", "faults", &WebRoutes::addFaults},
        {"DELETE", "faults", &WebRoutes::clearFaults},
        {"GET", "served", &WebRoutes::listServed},
        {"DELETE", "served", &WebRoutes::clearServed},
        {"POST", "expire-tokens", &WebRoutes::expireTokens},
        {"POST", "revoke-tokens", &WebRoutes::revokeTokens},
        {"POST", "expire-links", &WebRoutes::expireLinks},
        {"POST", "status", &WebRoutes::setStatus},
        {"GET", "reports", &WebRoutes::listReports},
    };
    std::string allowed;
    for (const Command& command : COMMANDS) {
        if (name != command.name) continue;
        if (request.method == command.method) return (this->*command.run)(request);
        allowed += (allowed.empty() ? "" : ", ") + std::string(command.method);
    }
    return allowed.empty() ? notFound() : Reply::MethodNotAllowed(allowed);
}

Reply WebRoutes::addFaults(const IncomingRequest& request) {
    std::string error;
    if (!m_context.faults.addRules(request.body, error)) return Reply::Error(400, "invalid_rule", error);
    return ok();
}

Reply WebRoutes::clearFaults(const IncomingRequest&) {
    m_context.faults.clearRules();
    return ok();
}

Reply WebRoutes::listServed(const IncomingRequest&) {
    Poco::JSON::Object::Ptr served = new Poco::JSON::Object;
    served->set("served", m_context.faults.servedAsJson());
    return Reply::Json(200, served);
}

Reply WebRoutes::clearServed(const IncomingRequest&) {
    m_context.faults.clearServed();
    return ok();
}

Reply WebRoutes::expireTokens(const IncomingRequest&) {
    m_context.tokens.expireAccessTokens();
    return ok();
}

Reply WebRoutes::revokeTokens(const IncomingRequest&) {
    m_context.tokens.revokeAllTokens();
    return ok();
}

Reply WebRoutes::expireLinks(const IncomingRequest&) {
    m_context.links.rotate();
    return ok();
}

Reply WebRoutes::setStatus(const IncomingRequest& request) {
    const Reply invalid = Reply::Error(400, "invalid_request", "expected {\"status\": \"<text>\"}");
    try {
        Poco::JSON::Parser parser;
        const Poco::Dynamic::Var parsed = parser.parse(request.body);
        if (parsed.type() != typeid(Poco::JSON::Object::Ptr)) return invalid;
        const Poco::Dynamic::Var status = parsed.extract<Poco::JSON::Object::Ptr>()->get("status");
        if (!status.isString() || status.toString().empty()) return invalid;
        m_context.setStatus(status.toString());
        return ok();
    } catch (const Poco::Exception&) {
        return invalid;
    }
}

Reply WebRoutes::listReports(const IncomingRequest&) {
    Poco::JSON::Object::Ptr reports = new Poco::JSON::Object;
    reports->set("reports", m_context.reports.asJson());
    return Reply::Json(200, reports);
}

}  // namespace Backend
}  // namespace VantisClient
