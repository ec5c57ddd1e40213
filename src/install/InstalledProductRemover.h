// Removes what the install of one product placed, as its records say: the
// installed files (game and redistributable files below the game's directory,
// support files below its support directory), its symbolic links, the
// downloads it left unfinished, and then every directory of the product that
// is empty once they are gone, the game's directory last. Nothing else is
// removed: a file the install did not place, or one that something else has
// replaced by a directory or a link, stays, and so does every directory that
// still holds something. No path is reached through a symbolic link, and
// nothing outside the product's directories is touched. What stays in the
// game's directory is listed afterwards.
// Thread-safety: none; one remove() on one thread. The abort signal may be
// raised from any thread and is read between entries.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "common/AbortSignal.h"
#include "model/ProductInfo.h"

namespace VantisClient {

class InstalledProductRemover {
public:
    struct Outcome {
        // Below the game's directory, relative to it, in byte order.
        std::vector<std::string> kept;
        // Each "path: reason", for what the install placed and that could not go.
        std::vector<std::string> failed;
        bool aborted = false;
    };

    InstalledProductRemover(const ProductInfo& product, const AbortSignal::Ptr& abortSignal);

    // True when everything the install placed is gone.
    bool remove(Outcome& outcome);

private:
    enum class Placed { File, Link };

    void removeEntry(const std::string& root, const std::string& path, Placed placed, Outcome& outcome);
    void noteParents(const std::string& root, const std::string& path);
    void removeEmptyDirectories(Outcome& outcome);
    void listKept(Outcome& outcome) const;

    const ProductInfo& m_product;
    AbortSignal::Ptr m_abortSignal;
    const std::string m_gameRoot;
    // Each directory that may be empty now, with the root it lies below.
    std::set<std::pair<std::string, std::string>> m_directories;
};

}  // namespace VantisClient
