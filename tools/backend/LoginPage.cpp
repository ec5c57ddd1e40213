#include "backend/LoginPage.h"

namespace VantisClient {
namespace Backend {

const char* const LoginPage::REDIRECT_URI = "vantisclient://login_success";

namespace {

const char* const PAGE_HEAD = R"(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Sign in</title>
<style>
body { font-family: sans-serif; background: #1d1f24; color: #e8e8e8; display: flex; justify-content: center; }
form { margin-top: 10vh; width: 20em; display: flex; flex-direction: column; gap: 0.6em; }
input, button { padding: 0.5em; font-size: 1em; }
.error { color: #ff7b72; }
a { color: #8ab4f8; cursor: pointer; }
</style></head><body>
<form id="login" method="post" action="/auth">
<h1>Sign in</h1>
)";

const char* const PAGE_TAIL = R"(<input name="username" placeholder="User name" autocomplete="username" required>
<input name="password" type="password" placeholder="Password" autocomplete="current-password" required>
<button type="submit">Sign in</button>
<button type="button" id="offline">Continue offline</button>
<a id="register" data-url="http://127.0.0.1/register">Create an account</a>
</form>
<script>
function sendToClient(command, args) {
  var message = { Command: command };
  if (args) message.Arguments = args;
  if (window.gameCard && window.gameCard.sendMessage) { window.gameCard.sendMessage(JSON.stringify(message)); return true; }
  return false;
}
document.getElementById("offline").onclick = function () { sendToClient("ContinueOffline"); };
document.getElementById("register").onclick = function () {
  var url = this.getAttribute("data-url");
  if (!sendToClient("LoadExternalUrl", { URL: url })) window.open(url);
};
</script></body></html>
)";

std::string hidden(const std::string& name, const std::string& value) {
    return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + LoginPage::EscapeHtml(value) + "\">\n";
}

}  // namespace

std::string LoginPage::EscapeHtml(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        switch (c) {
            case '&': escaped += "&amp;"; break;
            case '<': escaped += "&lt;"; break;
            case '>': escaped += "&gt;"; break;
            case '"': escaped += "&quot;"; break;
            case '\'': escaped += "&#39;"; break;
            default: escaped += c;
        }
    }
    return escaped;
}

std::string LoginPage::Render(const std::string& clientId, const std::string& redirectUri, const std::string& error) {
    std::string page = PAGE_HEAD;
    if (!error.empty()) page += "<p class=\"error\">" + EscapeHtml(error) + "</p>\n";
    page += hidden("client_id", clientId) + hidden("redirect_uri", redirectUri) + hidden("response_type", "code");
    return page + PAGE_TAIL;
}

}  // namespace Backend
}  // namespace VantisClient
