#include "backend/ApiRoutes.h"

#include <cstdint>

#include <Poco/File.h>

#include "backend/LoginPage.h"
#include "catalogue/CatalogueLayout.h"

namespace VantisClient {
namespace Backend {

using Catalogue::CatalogueLayout;

namespace {

const char* const CONTENT_PREFIX = "/content/";
const char* const OPERATING_SYSTEM = "linux";

Reply notFound() {
    return Reply::Error(404, "not_found", "no such resource");
}

}  // namespace

ApiRoutes::ApiRoutes(BackendContext& context) : m_context(context) {}

Reply ApiRoutes::handle(const IncomingRequest& request) {
    const std::vector<std::string> segments = request.segments();
    if (segments.empty()) return notFound();
    const std::string& first = segments[0];
    if (segments.size() == 1 && first == "auth") {
        if (request.isRead()) return loginPage(request);
        return request.method == "POST" ? login(request) : Reply::MethodNotAllowed("GET, HEAD, POST");
    }
    if (segments.size() == 1 && first == "token") {
        return request.method == "GET" || request.method == "POST" ? token(request) : Reply::MethodNotAllowed("GET, POST");
    }
    // Everything else only reads.
    if (!request.isRead()) return Reply::MethodNotAllowed("GET, HEAD");
    if (segments.size() == 1 && first == "vantis-client-config.json") return configuration();
    if (first == "content") return content(request);

    std::string userId;
    if (!m_context.tokens.userOfAccessToken(request.bearerToken, userId)) {
        Reply reply = Reply::Error(401, "invalid_token", "missing, unknown or expired access token");
        reply.headers.push_back({"WWW-Authenticate", "Bearer error=\"invalid_token\""});
        return reply;
    }
    if (segments.size() == 2 && first == "users") return user(userId, segments[1]);
    if (segments.size() == 1 && first == "licences") return licence(userId, request);
    if (first == "games") return game(userId, segments);
    if (first == "redists") return redist(segments);
    return notFound();
}

Reply ApiRoutes::configuration() {
    Poco::JSON::Object::Ptr endpoints = new Poco::JSON::Object;
    endpoints->set("auth", m_context.apiAuthority());
    endpoints->set("users", m_context.apiAuthority());
    endpoints->set("products", m_context.apiAuthority());
    endpoints->set("gamecards", m_context.webAuthority() + "/gameview/dist");
    Poco::JSON::Object::Ptr config = new Poco::JSON::Object;
    config->set("status", m_context.status());
    config->set("channel", m_context.options.channel);
    config->set("end_points", endpoints);
    config->set("talkInterval", m_context.options.talkInterval);
    config->set("complainInterval", m_context.options.complainInterval);
    return Reply::Json(200, config);
}

Reply ApiRoutes::loginPage(const IncomingRequest& request) {
    const std::string clientId = request.parameter("client_id");
    const std::string redirectUri = request.parameter("redirect_uri");
    if (clientId != m_context.options.clientId || redirectUri != LoginPage::REDIRECT_URI ||
        request.parameter("response_type") != "code") {
        return Reply::Html(400, "<!DOCTYPE html><p>Unknown client or redirect address.</p>");
    }
    return Reply::Html(200, LoginPage::Render(clientId, redirectUri, ""));
}

Reply ApiRoutes::login(const IncomingRequest& request) {
    const std::string clientId = request.parameter("client_id");
    const std::string redirectUri = request.parameter("redirect_uri");
    // Only the client's own redirect address is ever sent a code.
    if (clientId != m_context.options.clientId || redirectUri != LoginPage::REDIRECT_URI) {
        return Reply::Html(400, "<!DOCTYPE html><p>Unknown client or redirect address.</p>");
    }
    const Account* account = m_context.accounts.findByName(request.parameter("username"));
    if (!account || account->password != request.parameter("password")) {
        return Reply::Html(401, LoginPage::Render(clientId, redirectUri, "Wrong user name or password."));
    }
    Reply reply = Reply::Html(302, "");
    reply.headers.push_back(
        {"Location", redirectUri + "?code=" + m_context.tokens.issueCode(account->userId, redirectUri)});
    return reply;
}

Reply ApiRoutes::token(const IncomingRequest& request) {
    if (request.parameter("client_id") != m_context.options.clientId ||
        request.parameter("client_secret") != m_context.options.clientSecret) {
        return Reply::Error(401, "invalid_client", "unknown client or wrong secret");
    }
    const std::string grantType = request.parameter("grant_type");
    std::string userId;
    if (grantType == "password") {
        const Account* account = m_context.accounts.findByName(request.parameter("username"));
        if (!account || account->password != request.parameter("password")) {
            return Reply::Error(400, "invalid_grant", "wrong user name or password");
        }
        return grant(account->userId);
    }
    if (grantType == "authorization_code") {
        if (!m_context.tokens.redeemCode(request.parameter("code"), request.parameter("redirect_uri"), userId)) {
            return Reply::Error(400, "invalid_grant", "unknown, used or expired authorization code");
        }
        return grant(userId);
    }
    if (grantType == "refresh_token") {
        const std::string refreshToken = request.parameter("refresh_token");
        if (!m_context.tokens.userOfRefreshToken(refreshToken, userId)) {
            return Reply::Error(400, "invalid_grant", "unknown refresh token");
        }
        return grant(userId, refreshToken);
    }
    return Reply::Error(400, "unsupported_grant_type", "grant_type " + grantType + " is not supported");
}

Reply ApiRoutes::grant(const std::string& userId, const std::string& refreshToken) {
    TokenGrant issued = m_context.tokens.issue(userId, refreshToken);
    Poco::JSON::Object::Ptr reply = new Poco::JSON::Object;
    reply->set("access_token", issued.accessToken);
    reply->set("refresh_token", issued.refreshToken);
    reply->set("expires_in", static_cast<Poco::Int64>(issued.expiresIn));
    reply->set("token_type", "bearer");
    reply->set("user_id", userId);
    return Reply::Json(200, reply);
}

Reply ApiRoutes::user(const std::string& userId, const std::string& requested) {
    if (requested != userId) return Reply::Error(403, "forbidden", "details of another user");
    const Account* account = m_context.accounts.findById(userId);
    if (!account) return notFound();
    Poco::JSON::Object::Ptr details = new Poco::JSON::Object;
    details->set("id", account->userId);
    details->set("username", account->username);
    details->set("avatar", account->avatar.empty()
                               ? "http://" + m_context.webAuthority() + "/avatars/" + account->userId + ".png"
                               : account->avatar);
    return Reply::Json(200, details);
}

Reply ApiRoutes::licence(const std::string& userId, const IncomingRequest& request) {
    const std::string gameId = request.parameter("gameId");
    if (!m_context.accounts.owns(userId, gameId)) return Reply::Error(404, "not_owned", "no licence for " + gameId);
    Poco::JSON::Object::Ptr owned = new Poco::JSON::Object;
    owned->set("gameId", gameId);
    owned->set("owned", true);
    return Reply::Json(200, owned);
}

// games/<gid>/os/<os>/rootManifests
// games/<gid>/os/<os>/manifests/<manifest>
// games/<gid>/os/<os>/depots/<depot>/<file>
Reply ApiRoutes::game(const std::string& userId, const std::vector<std::string>& segments) {
    if (segments.size() < 5 || segments[2] != "os" || segments[3] != OPERATING_SYSTEM) return notFound();
    const std::string& gameId = segments[1];
    if (!CatalogueLayout::IsSafeComponent(gameId)) return notFound();
    std::string path;
    if (segments.size() == 5 && segments[4] == "rootManifests") {
        if (!m_context.catalogue.hasProduct(gameId)) return notFound();
        path = CatalogueLayout::ProductManifestPath(gameId);
    } else if (segments.size() == 6 && segments[4] == "manifests") {
        path = CatalogueLayout::DepotManifestPath(gameId, segments[5]);
    } else if (segments.size() == 7 && segments[4] == "depots") {
        path = CatalogueLayout::ObjectPath(gameId, segments[6]);
    } else {
        return notFound();
    }
    if (m_context.catalogue.resolve(path).empty()) return notFound();
    // Manifests tell what a game is made of, so they are as much the owner's as its content.
    if (!m_context.accounts.owns(userId, gameId)) {
        return Reply::Error(403, "forbidden", "the user does not own game " + gameId);
    }
    return linkTo(path);
}

// redists/packages/manifests/files/<manifest or repository.json>
// redists/packages/<redistributable>/files/<object>
Reply ApiRoutes::redist(const std::vector<std::string>& segments) {
    if (segments.size() != 5 || segments[1] != "packages" || segments[3] != "files") return notFound();
    const std::string& key = segments[2];
    const std::string& file = segments[4];
    if (key != CatalogueLayout::REDIST_MANIFESTS_KEY) return linkTo(CatalogueLayout::RedistObjectPath(key, file));
    if (file == CatalogueLayout::REDIST_REPOSITORY_NAME) return linkTo(CatalogueLayout::RedistRepositoryPath());
    return linkTo(CatalogueLayout::RedistManifestPath(file));
}

Reply ApiRoutes::linkTo(const std::string& cataloguePath) {
    if (m_context.catalogue.resolve(cataloguePath).empty()) return notFound();
    return Reply::Link("https://" + m_context.apiAuthority() + CONTENT_PREFIX + cataloguePath + "?" +
                       m_context.links.sign(cataloguePath));
}

Reply ApiRoutes::content(const IncomingRequest& request) {
    const std::string prefix = CONTENT_PREFIX;
    if (request.path.size() <= prefix.size()) return notFound();
    const std::string cataloguePath = request.path.substr(prefix.size());
    if (!m_context.links.verify(cataloguePath, request.parameter("expires"), request.parameter("signature"))) {
        return Reply::Error(403, "invalid_link", "the link is expired or not signed by this backend");
    }
    const std::string file = m_context.catalogue.resolve(cataloguePath);
    if (file.empty()) return notFound();
    const uint64_t size = Poco::File(file).getSize();
    Reply reply;
    reply.contentType = "application/octet-stream";
    reply.headers.push_back({"Accept-Ranges", "bytes"});
    reply.filePath = file;
    reply.length = size;
    uint64_t start = 0, length = 0;
    switch (ParseRange(request.range, size, start, length)) {
        case RangeResult::Whole:
            break;
        case RangeResult::Part:
            reply.status = 206;
            reply.offset = start;
            reply.length = length;
            reply.headers.push_back({"Content-Range", "bytes " + std::to_string(start) + "-" +
                                                          std::to_string(start + length - 1) + "/" +
                                                          std::to_string(size)});
            break;
        case RangeResult::Unsatisfiable:
            reply = Reply::Error(416, "range_not_satisfiable", "the range lies outside the content");
            reply.headers.push_back({"Content-Range", "bytes */" + std::to_string(size)});
            break;
    }
    return reply;
}

ApiRoutes::RangeResult ApiRoutes::ParseRange(const std::string& header, uint64_t size, uint64_t& start,
                                             uint64_t& length) {
    const std::string prefix = "bytes=";
    // Anything but one simple byte range is answered with the whole content, as
    // a server may ignore a Range header it does not serve.
    if (header.compare(0, prefix.size(), prefix) != 0 || header.find(',') != std::string::npos) {
        return RangeResult::Whole;
    }
    const std::string bounds = header.substr(prefix.size());
    const size_t dash = bounds.find('-');
    if (dash == std::string::npos) return RangeResult::Whole;
    const std::string first = bounds.substr(0, dash);
    const std::string last = bounds.substr(dash + 1);
    uint64_t a = 0, b = 0;
    const Number from = first.empty() ? Number::Absent : ParseNumber(first, a);
    const Number to = last.empty() ? Number::Absent : ParseNumber(last, b);
    if (from == Number::Malformed || to == Number::Malformed || (from == Number::Absent && to == Number::Absent)) {
        return RangeResult::Whole;
    }
    // A position that does not fit in 64 bits names no byte of any content.
    if (from == Number::TooLarge || to == Number::TooLarge) return RangeResult::Unsatisfiable;
    if (from == Number::Absent) {
        if (b == 0 || size == 0) return RangeResult::Unsatisfiable;
        length = b < size ? b : size;
        start = size - length;
        return RangeResult::Part;
    }
    if (to == Number::Valid && b < a) return RangeResult::Whole;
    if (a >= size) return RangeResult::Unsatisfiable;
    const uint64_t end = (to == Number::Absent || b >= size) ? size - 1 : b;
    start = a;
    length = end - a + 1;
    return RangeResult::Part;
}

ApiRoutes::Number ApiRoutes::ParseNumber(const std::string& digits, uint64_t& value) {
    value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return Number::Malformed;
    }
    for (char c : digits) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (value > (UINT64_MAX - digit) / 10) return Number::TooLarge;
        value = value * 10 + digit;
    }
    return Number::Valid;
}

}  // namespace Backend
}  // namespace VantisClient
