#include "model/FileParts.h"

#include <algorithm>

#include <Poco/Exception.h>

namespace VantisClient {

namespace {

const unsigned BITS_PER_WORD = 32;

uint32_t bitOf(uint16_t index) { return 1u << (index % BITS_PER_WORD); }

}  // namespace

void FileParts::setPartInfo(uint16_t count) {
    m_words.assign(count / BITS_PER_WORD + 1, 0);
    m_partsCount = count;
}

uint16_t FileParts::getMarkedPartsCount() const {
    uint16_t marked = 0;
    for (uint16_t i = 0; i < m_partsCount; ++i) {
        if (getPartState(i)) ++marked;
    }
    return marked;
}

bool FileParts::getPartState(uint16_t index) const {
    poco_assert(index < m_partsCount);
    return (m_words[index / BITS_PER_WORD] & bitOf(index)) != 0;
}

void FileParts::markPart(uint16_t index) {
    poco_assert(index < m_partsCount);
    m_words[index / BITS_PER_WORD] |= bitOf(index);
}

void FileParts::unmarkPart(uint16_t index) {
    poco_assert(index < m_partsCount);
    m_words[index / BITS_PER_WORD] &= ~bitOf(index);
}

void FileParts::clear() { std::fill(m_words.begin(), m_words.end(), 0); }

void FileParts::getElements(const uint32_t*& words, uint16_t& wordCount) const {
    words = m_words.empty() ? nullptr : m_words.data();
    wordCount = static_cast<uint16_t>(m_words.size());
}

void FileParts::setPartElement(uint16_t index, uint32_t word) {
    poco_assert(index < m_words.size());
    m_words[index] = word;
}

bool FileParts::operator==(const FileParts& other) const {
    if (m_words.size() != other.m_words.size() || m_partsCount != other.m_partsCount) return false;
    for (uint16_t i = 0; i < m_partsCount; ++i) {
        if (getPartState(i) != other.getPartState(i)) return false;
    }
    return true;
}

}  // namespace VantisClient
