// Keeps one refresh token per local account in "Tokens.json" in the
// application-support root, under the MD5 of the account's login name, so the
// next start can sign in without asking. The file holds credentials: it is
// written owner-only, whole, through a temporary file.
// Thread-safety: every operation may be called from any thread; writers inside
// the process are serialised.
#pragma once

#include <string>

namespace VantisClient {

class RefreshTokenProvider {
public:
    static const char* const FILE_NAME;

    // False, with a warning, when there is no token for this account.
    static bool get(std::string& token);
    static bool set(const std::string& token);
    // Removes this account's token; other accounts' stay.
    static void remove();

private:
    static std::string path();
    static std::string accountKey();
};

}  // namespace VantisClient
