// The scripts the shell runs in its page. A text from the client reaches the
// page only as a JavaScript string literal, never spliced into the script as
// it is, so no text (a product's name, a message) can end the call early and
// run as code of its own.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class PageScript {
public:
    // `text` as a double-quoted literal of plain ASCII: quotes, backslashes,
    // control and line-separator characters and everything beyond ASCII are
    // escaped; bytes that are not UTF-8 still give a literal.
    static std::string StringLiteral(const std::string& text);
    // Calls the page's receiveMessage with `text`, when the page has one.
    static std::string ReceiveMessageCall(const std::string& text);
    // Raises the DOM event `name` on the window with `detail` as its detail.
    static std::string WindowEvent(const std::string& name, const std::string& detail);
};

}  // namespace VantisClient
