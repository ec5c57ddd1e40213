#include "backend/Reply.h"

#include <sstream>

namespace VantisClient {
namespace Backend {

Reply Reply::Json(int status, const Poco::JSON::Object::Ptr& object) {
    Reply reply;
    reply.status = status;
    std::ostringstream text;
    object->stringify(text, 0);
    reply.body = text.str();
    return reply;
}

Reply Reply::Error(int status, const std::string& code, const std::string& description) {
    Poco::JSON::Object::Ptr object = new Poco::JSON::Object;
    object->set("error", code);
    object->set("error_description", description);
    return Json(status, object);
}

Reply Reply::Link(const std::string& link) {
    Poco::JSON::Object::Ptr object = new Poco::JSON::Object;
    object->set("link", link);
    return Json(200, object);
}

Reply Reply::MethodNotAllowed(const std::string& allowed) {
    Reply reply = Error(405, "method_not_allowed", "this resource answers " + allowed);
    reply.headers.push_back({"Allow", allowed});
    return reply;
}

Reply Reply::Html(int status, const std::string& html) {
    Reply reply;
    reply.status = status;
    reply.contentType = "text/html; charset=utf-8";
    reply.body = html;
    return reply;
}

}  // namespace Backend
}  // namespace VantisClient
