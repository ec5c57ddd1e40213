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
    enum class ERemoval { Forgotten, NoneStored, Failed };

    // Removes this account's token; other accounts' stay. A file that cannot
    // be read is removed whole, since it may still hold the token.
    static ERemoval remove();

private:
    // Removes the file when it exists but does not parse (nobody can use it):
    // false, logging `failure`, when it cannot be removed.
    static bool discardUnreadable(const char* failure);
    static std::string path();
    static std::string accountKey();
};

}  // namespace VantisClient
