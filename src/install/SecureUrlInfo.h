// The short-lived link through which the data of one binary file is fetched,
// with the keys it was asked for. Files that share a binary share its link.
// Thread-safety: a plain value.
#pragma once

#include <string>

#include "install/SecureUrlQuery.h"

namespace VantisClient {

struct SecureUrlInfo {
    SecureUrlInfo() = default;
    SecureUrlInfo(const std::string& product_, const std::string& file_, bool redist_);

    // Both keys equal, byte for byte; the link and the flag are not compared.
    bool operator==(const SecureUrlQuery& query) const;
    SecureUrlQuery query() const;

    std::string product;
    std::string file;
    // Empty until the backend has handed the link out.
    std::string url;
    // The binary belongs to a redistributable, whose links are asked for elsewhere.
    bool redist = false;
};

}  // namespace VantisClient
