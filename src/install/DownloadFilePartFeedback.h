// The answer to one part request, as the install thread takes it from the
// downloader's result queue: what the part was, how the request ended and, on
// success, the part's bytes, moved here from the network layer.
// Thread-safety: made on the thread that delivers network answers, then handed
// over whole to the install thread.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "install/DownloadFilePartInfo.h"
#include "install/OperationFeedback.h"

namespace VantisClient {

class DownloadFilePartFeedback : public OperationFeedback {
public:
    enum PartError : int32_t {
        PART_RECEIVED = 0,
        // A failure that may be retried.
        PART_RETRY = 1,
        // The request did not complete.
        PART_NOT_COMPLETED = 2,
        // A failure not to be retried.
        PART_FAILED_FOR_GOOD = 3,
    };

    static const char* const TYPE_NAME;
    static uint64_t TypeId();

    // The status is 0 when the request did not complete.
    DownloadFilePartFeedback(const DownloadFilePartInfo& part, PartError error, int32_t statusCode);

    uint64_t getId() const override { return TypeId(); }

    const std::string& getPath() const { return m_path; }
    uint64_t getFileOffset() const { return m_fileOffset; }
    uint64_t getDestinationOffset() const { return m_destinationOffset; }
    uint16_t getPartIndex() const { return m_partIndex; }
    uint32_t getExpectedSize() const { return m_expectedSize; }
    uint32_t getRequestSize() const { return m_requestSize; }
    bool isCompressed() const { return m_compressed; }
    int32_t getStatusCode() const { return m_statusCode; }
    // The part's bytes: those received, also when their length was wrong.
    const std::string& getData() const { return m_data; }
    void takeData(std::string&& data) { m_data = std::move(data); }

private:
    std::string m_path;
    uint64_t m_fileOffset;
    uint64_t m_destinationOffset;
    uint16_t m_partIndex;
    uint32_t m_expectedSize;
    uint32_t m_requestSize;
    bool m_compressed;
    int32_t m_statusCode;
    std::string m_data;
};

}  // namespace VantisClient
