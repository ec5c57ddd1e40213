// The addresses a page of the client may be: web origins (scheme, host and
// port) that were allowed, and files below allowed directories. Everything
// else (another site, a file elsewhere, data: or javascript: addresses) is no
// page of the client's: the web view never shows it as its document and never
// takes bridge messages from it.
// Thread-safety: a plain value.
#pragma once

#include <set>
#include <string>

namespace VantisClient {

class PageDestinations {
public:
    // "scheme://host:port" of an http or https address, with the scheme's
    // port when none is given and the host in lower case; empty for any
    // other address or one that does not parse.
    static std::string OriginOf(const std::string& address);

    // Allows every address of `address`'s origin; nothing when it has none.
    void allowOrigin(const std::string& address);
    // Allows the file:// addresses of the files below `directory`.
    void allowFilesBelow(const std::string& directory);
    void clear();
    bool allows(const std::string& address) const;

private:
    bool allowsFile(const std::string& address) const;

    std::set<std::string> m_origins;
    std::set<std::string> m_directories;
};

}  // namespace VantisClient
