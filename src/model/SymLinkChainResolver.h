// Follows a link target through the other links of the same depot manifest,
// the way the file system will once they all exist, to tell where it ends. A
// target that looks harmless on its own may still leave the install directory:
// with "sub/up" -> "..", the target "sub/up/.." of another link names the
// directory above the install directory. The walk is lexical and knows only
// the manifest's links; the pipeline checks the real file system again.
// Thread-safety: immutable after construction; safe from any thread.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "model/RemoteSymLinkDefinition.h"

namespace VantisClient {

class SymLinkChainResolver {
public:
    enum class Outcome { Inside, Outside, TooDeep };

    // As many links as one lookup of the file system follows before it gives up.
    static const unsigned MAX_LINKS_FOLLOWED = 40;

    // Follows no links: only the target's own components count.
    SymLinkChainResolver() = default;
    // `links` holds no empty pointer. Of two links with the same path the first
    // counts, as the install keeps the first.
    explicit SymLinkChainResolver(const std::vector<RemoteSymLinkDefinition::Ptr>& links);

    // Where `target`, read from the directory of the link at `linkPath`, ends:
    // inside the install directory, outside it (also through an absolute target
    // of a link on the way), or nowhere within MAX_LINKS_FOLLOWED links (a cycle).
    Outcome resolve(const std::string& linkPath, const std::string& target) const;

private:
    static std::string key(const std::vector<std::string>& components);
    // Puts the target's components in front of what is still to walk; false
    // for an absolute target.
    static bool walkNext(const std::string& target, std::deque<std::string>& pending);

    // Link targets by the link's path, its components joined with '/'.
    std::map<std::string, std::string> m_targets;
};

}  // namespace VantisClient
