// The login page of the auth host. It posts the user name and password back to
// "/auth" with the client's parameters in hidden fields; a good sign-in answers
// with a redirect to the client's redirect address carrying "?code=". The page
// also speaks the login page commands through the client's bridge object
// ("gameCard.sendMessage"): "ContinueOffline" and "LoadExternalUrl".
// Thread-safety: stateless.
#pragma once

#include <string>

namespace VantisClient {
namespace Backend {

class LoginPage {
public:
    static const char* const REDIRECT_URI;

    static std::string Render(const std::string& clientId, const std::string& redirectUri, const std::string& error);
    static std::string EscapeHtml(const std::string& text);
};

}  // namespace Backend
}  // namespace VantisClient
