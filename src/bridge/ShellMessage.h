// One named request from the controller or a page bridge to the shell: show a
// page, deliver a text to the page, update the status indicator, notify the
// user. The values are keyed by name; integers stay integers.
// Thread-safety: a plain value.
#pragma once

#include <string>

#include <Poco/Dynamic/Struct.h>

namespace VantisClient {

struct ShellMessage {
    static const char* const LOAD_LOGIN_PAGE;
    static const char* const LOAD_GAME_CARD;
    static const char* const API_STATUS_CODE_CHANGED;
    static const char* const ON_PRODUCT_INSTALL_RESULT;
    static const char* const WEB_VIEW_UPDATE;

    explicit ShellMessage(std::string name_) : name(std::move(name_)) {}
    // A text for the page's receiveMessage, under "webViewUpdate".
    static ShellMessage WebViewUpdate(const std::string& text);

    // The string under `key`; empty when the key is missing.
    std::string text(const std::string& key) const;
    // The integer under `key`; `fallback` when the key is missing or not a number.
    int64_t integer(const std::string& key, int64_t fallback = 0) const;

    std::string name;
    Poco::DynamicStruct values;
};

}  // namespace VantisClient
