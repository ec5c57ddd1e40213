// What --info tells of the game: its title, what is installed (version,
// language, extra content, size on disk, directory), its play tasks and what
// the backend offers (languages, content with its download size per
// language), or why the offer is not known. Built from the engine's data: the
// product's presentation data, the library's installed bytes and the
// controller's ON_PRODUCT_OFFER message. Written as text or as one JSON object.
// Thread-safety: a plain value.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "bridge/ShellMessage.h"
#include "cli/JsonLine.h"
#include "model/ProductPresentationData.h"

namespace VantisClient {

class GameReport {
public:
    GameReport(const ProductPresentationData& product, uint64_t installedBytes);

    // The offer as the controller reported it; one that failed says why.
    void addOffer(const ShellMessage& offer);
    void offerUnavailable(const std::string& why);

    std::string text() const;
    JsonLine json() const;

private:
    struct Content {
        std::string gameId;
        std::string name;
        // Bytes to download, per language.
        std::vector<std::pair<std::string, uint64_t>> sizes;
    };

    std::string title() const;
    std::string nameOf(const std::string& gameId) const;
    std::string installedText() const;
    std::string offerText() const;
    JsonLine installedJson() const;
    JsonLine offerJson() const;

    const ProductPresentationData m_product;
    const uint64_t m_installedBytes;
    bool m_offerKnown = false;
    std::string m_offerProblem;
    std::vector<std::string> m_languages;
    std::vector<Content> m_offered;
};

}  // namespace VantisClient
