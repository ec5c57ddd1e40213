// A download rate as people write it for download tools: bytes per second,
// with an optional K, M or G (1024-based, either case), and an optional
// fraction ("500K", "1.5M", "20000"). 0 means no limit.
// Thread-safety: stateless.
#pragma once

#include <cstdint>
#include <string>

namespace VantisClient {

class TransferRate {
public:
    // False, with `error`, for text that is no rate or a rate the downloader
    // cannot hold (from 1 byte per second to just under 4 GiB per second).
    static bool Parse(const std::string& text, uint32_t& bytesPerSecond, std::string& error);
};

}  // namespace VantisClient
