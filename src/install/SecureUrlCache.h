// The secure links obtained during one download phase, so that the parts of a
// file, and files that share a binary, are fetched through one link. The first
// link stored for a pair of keys stays until it is removed.
// Thread-safety: every operation may be called from any thread; the install
// thread fills and reads the cache while the thread that delivers network
// answers removes links that failed. No operation calls out under the lock.
#pragma once

#include <string>
#include <vector>

#include <Poco/Optional.h>
#include <Poco/SharedPtr.h>

#include "common/VantisMutex.h"
#include "install/SecureUrlInfo.h"
#include "install/SecureUrlQuery.h"

namespace VantisClient {

class SecureUrlCache {
public:
    using Ptr = Poco::SharedPtr<SecureUrlCache>;

    // "a/b/c" gives product "a" and file "c"; a URL of one component sets only
    // the file; the empty URL gives the empty file key. Components are trimmed.
    static void tokenizeUrl(const std::string& url, std::string& product, std::string& file);

    // A pair already cached keeps its link.
    void addItem(const SecureUrlInfo& info);
    // Removes the entry of `info`'s pair only while it still holds `info`'s
    // link, so that a late answer about a dead link never drops a fresh one.
    // True when an entry was removed.
    bool removeLink(const SecureUrlInfo& info);
    Poco::Optional<SecureUrlInfo> findBinaryFileInCache(const SecureUrlQuery& query);
    void clear();
    // "{ (product, file)(r) -> link; ... }", "(r)" marking redistributables.
    std::string dumpContents();

private:
    // Needs the lock held.
    std::vector<SecureUrlInfo>::iterator findLocked(const SecureUrlQuery& query);

    VantisMutex m_mutex;
    std::vector<SecureUrlInfo> m_entries;
};

}  // namespace VantisClient
