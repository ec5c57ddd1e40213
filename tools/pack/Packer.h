// Turns an input directory and its description into (part of) a catalogue: the
// product manifest, one depot manifest per game id and language (plus one for
// each game id's language-neutral and support files), the content objects, the
// info files of every game id and language, the redistributables with the
// shared repository, and the game's cover picture ("cover.png" or "cover.jpg"
// in the input root, a sane PNG or JPEG) for the game and its extra content. Packing the same input twice gives the same bytes.
// Thread-safety: none; one call at a time.
#pragma once

#include <cstdint>
#include <string>

#include "pack/PackDescription.h"

namespace VantisClient {
namespace Pack {

struct PackSummary {
    uint64_t files = 0;
    uint64_t bytes = 0;
    uint64_t depots = 0;
};

class Packer {
public:
    Packer(const PackDescription& description, const std::string& inputRoot, const std::string& catalogueRoot);

    // False with the reason in `error`; the catalogue may then hold a partial pack.
    bool pack(PackSummary& summary, std::string& error);

    static std::string InfoFileName(const std::string& gameId);

private:
    void packAll(PackSummary& summary);
    void writeRedistRepository();
    // The cover's bytes, empty without one; throws for one that is no sane picture.
    std::string readCover() const;
    void writeCover(const std::string& cover) const;

    const PackDescription m_description;
    const std::string m_inputRoot;
    const std::string m_catalogueRoot;
};

}  // namespace Pack
}  // namespace VantisClient
