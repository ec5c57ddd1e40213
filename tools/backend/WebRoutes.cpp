#include "backend/WebRoutes.h"

#include <sys/stat.h>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

#include "catalogue/CatalogueLayout.h"

namespace VantisClient {
namespace Backend {

using Catalogue::CatalogueLayout;

const char* const WebRoutes::GAMECARD_PREFIX = "/gameview/dist/";

namespace {

Reply notFound() {
    return Reply::Error(404, "not_found", "no such resource");
}

Reply ok() {
    Poco::JSON::Object::Ptr object = new Poco::JSON::Object;
    object->set("ok", true);
    return Reply::Json(200, object);
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
    if (segments.size() >= 3 && segments[0] == "gameview" && segments[1] == "dist") return gamecard(segments);
    if (segments.size() == 1 && segments[0] == "problem.php" && request.method == "POST") return problemReport(request);
    if (segments.size() == 2 && segments[0] == "avatars") return avatar();
    if (segments.size() == 2 && segments[0] == "control") {
        if (!request.fromLoopback) return Reply::Error(403, "forbidden", "control is for loopback peers only");
        return control(request, request.method + " " + segments[1]);
    }
    return notFound();
}

Reply WebRoutes::gamecard(const std::vector<std::string>& segments) {
    const std::string& gameId = segments[2];
    if (!m_context.catalogue.offersGame(gameId)) return notFound();
    std::string relative;
    for (size_t i = 3; i < segments.size(); ++i) relative += (relative.empty() ? "" : "/") + segments[i];
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

Reply WebRoutes::problemReport(const IncomingRequest& request) {
    const std::string message = request.parameter("problem_message");
    if (message.empty()) return Reply::Error(400, "invalid_request", "problem_message is missing");
    m_context.reports.add(message, request.parameter("log_snippet"));
    return ok();
}

Reply WebRoutes::avatar() {
    Reply reply;
    reply.contentType = "image/png";
    reply.body.assign(reinterpret_cast<const char*>(AVATAR_PNG), sizeof(AVATAR_PNG));
    return reply;
}

Reply WebRoutes::control(const IncomingRequest& request, const std::string& command) {
    if (command == "POST faults") {
        std::string error;
        if (!m_context.faults.addRules(request.body, error)) return Reply::Error(400, "invalid_rule", error);
        return ok();
    }
    if (command == "DELETE faults") {
        m_context.faults.clearRules();
        return ok();
    }
    if (command == "GET served") {
        Poco::JSON::Object::Ptr served = new Poco::JSON::Object;
        served->set("served", m_context.faults.servedAsJson());
        return Reply::Json(200, served);
    }
    if (command == "DELETE served") {
        m_context.faults.clearServed();
        return ok();
    }
    if (command == "POST expire-tokens") {
        m_context.tokens.expireAccessTokens();
        return ok();
    }
    if (command == "POST expire-links") {
        m_context.links.rotate();
        return ok();
    }
    if (command == "POST status") {
        try {
            Poco::JSON::Parser parser;
            m_context.setStatus(
                parser.parse(request.body).extract<Poco::JSON::Object::Ptr>()->getValue<std::string>("status"));
            return ok();
        } catch (const Poco::Exception& exception) {
            return Reply::Error(400, "invalid_request", exception.displayText());
        }
    }
    if (command == "GET reports") {
        Poco::JSON::Object::Ptr reports = new Poco::JSON::Object;
        reports->set("reports", m_context.reports.asJson());
        return Reply::Json(200, reports);
    }
    return notFound();
}

}  // namespace Backend
}  // namespace VantisClient
