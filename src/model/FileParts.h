// A bitmap with one bit per part of a file: part i is bit (i mod 32) of word
// (i / 32), least significant bit first. Once set up it holds parts / 32 + 1
// words, so storage can keep the words as they are.
// Thread-safety: a plain value; guard it like the record that holds it.
#pragma once

#include <cstdint>
#include <vector>

namespace VantisClient {

class FileParts {
public:
    FileParts() = default;

    // Sizes the bitmap for `count` parts and clears every bit.
    void setPartInfo(uint16_t count);
    uint16_t getPartsCount() const { return m_partsCount; }
    uint16_t getMarkedPartsCount() const;

    // `index` must be below the parts count.
    bool getPartState(uint16_t index) const;
    void markPart(uint16_t index);
    void unmarkPart(uint16_t index);
    // Clears every bit; the counts stay.
    void clear();

    // The raw words, for storage: `words` points at `wordCount` words (null when
    // there are none) and stays valid until the bitmap is resized.
    void getElements(const uint32_t*& words, uint16_t& wordCount) const;
    // `index` must be below the word count.
    void setPartElement(uint16_t index, uint32_t word);

    // Equal word and parts counts, and equal bits below the parts count.
    bool operator==(const FileParts& other) const;
    bool operator!=(const FileParts& other) const { return !(*this == other); }

private:
    std::vector<uint32_t> m_words;
    uint16_t m_partsCount = 0;
};

}  // namespace VantisClient
