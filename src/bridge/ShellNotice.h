// What the window's message bar says about a shell message that reports an
// outcome outside the page's own flow: a play task that was not launched, a
// verification's findings, an uninstall's end. The card may say it too; the
// bar makes sure it is seen even when the card does not.
// Thread-safety: stateless.
#pragma once

#include <string>

#include "bridge/ShellMessage.h"

namespace VantisClient {

struct ShellNotice {
    std::string text;
    bool error = false;

    // False for a message the bar has nothing to say about.
    static bool Of(const ShellMessage& message, ShellNotice& notice);
    // The title of an install result's desktop notification: the product's
    // name, or the game id when the product has no name yet (a first install
    // that failed before the product was known).
    static std::string InstallResultTitle(const std::string& productName, const std::string& gameId);
};

}  // namespace VantisClient
