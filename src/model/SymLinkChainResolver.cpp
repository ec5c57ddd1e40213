#include "model/SymLinkChainResolver.h"

#include "model/InstallPathRules.h"

namespace VantisClient {

SymLinkChainResolver::SymLinkChainResolver(const std::vector<RemoteSymLinkDefinition::Ptr>& links) {
    for (const RemoteSymLinkDefinition::Ptr& link : links) {
        m_targets.emplace(key(InstallPathRules::Components(link->getPath())), link->getTarget());
    }
}

SymLinkChainResolver::Outcome SymLinkChainResolver::resolve(const std::string& linkPath,
                                                            const std::string& target) const {
    std::vector<std::string> directory = InstallPathRules::Components(linkPath);
    if (!directory.empty()) directory.pop_back();
    std::deque<std::string> pending;
    if (!walkNext(target, pending)) return Outcome::Outside;
    // The link's own directory may lie behind links as well, so it is walked first.
    pending.insert(pending.begin(), directory.begin(), directory.end());
    std::vector<std::string> resolved;
    unsigned followed = 0;
    while (!pending.empty()) {
        std::string part = pending.front();
        pending.pop_front();
        if (part == "..") {
            if (resolved.empty()) return Outcome::Outside;
            resolved.pop_back();
            continue;
        }
        resolved.push_back(part);
        std::map<std::string, std::string>::const_iterator link = m_targets.find(key(resolved));
        if (link == m_targets.end()) continue;
        if (++followed > MAX_LINKS_FOLLOWED) return Outcome::TooDeep;
        resolved.pop_back();  // a link's target is read from the directory holding it
        if (!walkNext(link->second, pending)) return Outcome::Outside;
    }
    return Outcome::Inside;
}

std::string SymLinkChainResolver::key(const std::vector<std::string>& components) {
    std::string joined;
    for (const std::string& component : components) {
        if (!joined.empty()) joined += '/';
        joined += component;
    }
    return joined;
}

bool SymLinkChainResolver::walkNext(const std::string& target, std::deque<std::string>& pending) {
    if (InstallPathRules::IsAbsolute(target)) return false;
    std::vector<std::string> components = InstallPathRules::Components(target);
    pending.insert(pending.begin(), components.begin(), components.end());
    return true;
}

}  // namespace VantisClient
