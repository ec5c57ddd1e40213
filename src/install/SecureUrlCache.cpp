#include "install/SecureUrlCache.h"

#include <algorithm>

#include <Poco/StringTokenizer.h>

#include "common/ScopedLock.h"

namespace VantisClient {

void SecureUrlCache::tokenizeUrl(const std::string& url, std::string& product, std::string& file) {
    Poco::StringTokenizer tokens(url, "/", Poco::StringTokenizer::TOK_TRIM);
    if (tokens.count() == 0) {
        file.clear();
        return;
    }
    if (tokens.count() > 1) product = tokens[0];
    file = tokens[tokens.count() - 1];
}

void SecureUrlCache::addItem(const SecureUrlInfo& info) {
    ScopedLock lock(m_mutex);
    if (findLocked(info.query()) == m_entries.end()) m_entries.push_back(info);
}

bool SecureUrlCache::removeLink(const SecureUrlInfo& info) {
    ScopedLock lock(m_mutex);
    auto found = findLocked(info.query());
    if (found == m_entries.end() || found->url != info.url) return false;
    m_entries.erase(found);
    return true;
}

Poco::Optional<SecureUrlInfo> SecureUrlCache::findBinaryFileInCache(const SecureUrlQuery& query) {
    ScopedLock lock(m_mutex);
    auto found = findLocked(query);
    if (found == m_entries.end()) return Poco::Optional<SecureUrlInfo>();
    return Poco::Optional<SecureUrlInfo>(*found);
}

void SecureUrlCache::clear() {
    ScopedLock lock(m_mutex);
    m_entries.clear();
}

std::string SecureUrlCache::dumpContents() {
    ScopedLock lock(m_mutex);
    std::string text = "{ ";
    for (const SecureUrlInfo& entry : m_entries) {
        text += "(" + entry.product + ", " + entry.file + ")";
        if (entry.redist) text += "(r)";
        text += " -> " + entry.url + "; ";
    }
    return text + " }";
}

std::vector<SecureUrlInfo>::iterator SecureUrlCache::findLocked(const SecureUrlQuery& query) {
    return std::find_if(m_entries.begin(), m_entries.end(),
                        [&query](const SecureUrlInfo& entry) { return entry == query; });
}

}  // namespace VantisClient
