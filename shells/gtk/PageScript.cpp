#include "gtk/PageScript.h"

#include <Poco/UTF8String.h>

namespace VantisClient {

std::string PageScript::StringLiteral(const std::string& text) {
    // Strict JSON escaping leaves nothing but ASCII, so U+2028 and U+2029
    // (line ends inside an older engine's string literal) are escaped too.
    return "\"" + Poco::UTF8::escape(text, true) + "\"";
}

std::string PageScript::ReceiveMessageCall(const std::string& text) {
    return "if (typeof window.receiveMessage === \"function\") window.receiveMessage(" + StringLiteral(text) + ");";
}

std::string PageScript::WindowEvent(const std::string& name, const std::string& detail) {
    return "window.dispatchEvent(new CustomEvent(" + StringLiteral(name) + ", { detail: " + StringLiteral(detail) +
           " }));";
}

}  // namespace VantisClient
