// The languages a product offers, in the order first seen, each once.
// Thread-safety: a plain value; guard it like the record that holds it.
#pragma once

#include <vector>

#include "model/LanguageInfo.h"

namespace VantisClient {

class LanguageList : public std::vector<LanguageInfo> {
public:
    // Appends `info` unless a language of the same name is already listed.
    void add_unique(const LanguageInfo& info);

    // Drops the entry named exactly "Neutral" so that a language selector offers
    // only real languages; the order of the rest is kept.
    static void CreateAvailableLanguagesList(LanguageList& list);
};

}  // namespace VantisClient
