// The sign-in form of a login page, read as a browser reads it: the first form
// that asks for a password, where it posts to, and the hidden fields it
// carries (attribute values with their character references decoded). The
// form may only post back to the login page's own origin over HTTPS: the
// password is never sent anywhere else.
// Thread-safety: a plain value; Read is stateless.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include <Poco/URI.h>

namespace VantisClient {

class LoginForm {
public:
    using Field = std::pair<std::string, std::string>;

    // False with `error` when the page has no such form or it posts elsewhere.
    static bool Read(const std::string& html, const Poco::URI& pageAddress, LoginForm& form, std::string& error);

    // The form's action resolved against the page's address.
    const Poco::URI& action() const { return m_action; }
    // In document order.
    const std::vector<Field>& hiddenFields() const { return m_hiddenFields; }

private:
    Poco::URI m_action;
    std::vector<Field> m_hiddenFields;
};

}  // namespace VantisClient
