// A binary record of fixed size as the key-value product database stores it:
// fields at fixed offsets in the machine's byte order, text fields zero-padded
// and ending in a zero byte. Writing starts from an all-zero record; a text that
// does not fit its field is refused, never cut, because a cut path would name a
// different file. Reading only ever looks inside the bytes it was given.
// Thread-safety: a plain value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include <Poco/Exception.h>

namespace VantisClient {

// Where a text lives in a record and how long it may be (without its zero byte).
struct TextField {
    const char* name;
    size_t offset;
    size_t size;
    size_t maxLength;
};

class FixedSizeRecord {
public:
    explicit FixedSizeRecord(size_t size) : m_bytes(size, '\0') {}

    // Refuses a text longer than the field's capacity or holding a zero byte;
    // the first refusal is kept in refusal().
    bool putText(const TextField& field, const std::string& text);
    template <typename T>
    void putValue(size_t offset, T value) {
        checkRange(offset, sizeof(T));
        std::memcpy(&m_bytes[offset], &value, sizeof(T));
    }

    // True while every text fitted.
    bool complete() const { return m_refusal.empty(); }
    // "full path has 300 bytes, at most 255 fit"; empty when complete.
    const std::string& refusal() const { return m_refusal; }

    const std::string& bytes() const { return m_bytes; }
    // The field's bytes, zero padding included: the key of some records.
    std::string fieldBytes(const TextField& field) const { return m_bytes.substr(field.offset, field.size); }

private:
    void checkRange(size_t offset, size_t length) const;

    std::string m_bytes;
    std::string m_refusal;
};

// Read access to stored bytes whose size the caller has already checked.
class FixedSizeRecordView {
public:
    FixedSizeRecordView(const char* data, size_t size) : m_data(data), m_size(size) {}

    // False when the field holds no terminating zero (a damaged record).
    bool getText(const TextField& field, std::string& text) const;
    template <typename T>
    T getValue(size_t offset) const {
        checkRange(offset, sizeof(T));
        T value;
        std::memcpy(&value, m_data + offset, sizeof(T));
        return value;
    }

private:
    void checkRange(size_t offset, size_t length) const;

    const char* m_data;
    size_t m_size;
};

}  // namespace VantisClient
