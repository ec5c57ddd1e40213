#include "storage/FixedSizeRecord.h"

namespace VantisClient {

namespace {

void checkFieldRange(size_t offset, size_t length, size_t recordSize) {
    if (offset > recordSize || length > recordSize - offset) {
        throw Poco::RangeException("field outside the record");
    }
}

}  // namespace

bool FixedSizeRecord::putText(const TextField& field, const std::string& text) {
    checkRange(field.offset, field.size);
    std::string problem;
    if (text.size() > field.maxLength || text.size() >= field.size) {
        problem = std::string(field.name) + " has " + std::to_string(text.size()) + " bytes, at most " +
                  std::to_string(field.maxLength) + " fit";
    } else if (text.find('\0') != std::string::npos) {
        problem = std::string(field.name) + " holds a zero byte";
    }
    if (!problem.empty()) {
        if (m_refusal.empty()) m_refusal = problem;
        return false;
    }
    std::memcpy(&m_bytes[field.offset], text.data(), text.size());
    return true;
}

void FixedSizeRecord::checkRange(size_t offset, size_t length) const { checkFieldRange(offset, length, m_bytes.size()); }

bool FixedSizeRecordView::getText(const TextField& field, std::string& text) const {
    checkRange(field.offset, field.size);
    const char* start = m_data + field.offset;
    const void* end = std::memchr(start, '\0', field.size);
    if (end == nullptr) return false;
    text.assign(start, static_cast<const char*>(end));
    return true;
}

void FixedSizeRecordView::checkRange(size_t offset, size_t length) const { checkFieldRange(offset, length, m_size); }

}  // namespace VantisClient
