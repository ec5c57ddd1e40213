// What the downloader does with the files whose MD5 differed: the parts that
// two fetches agree on stay, the others are fetched again. A file whose parts
// all agree and whose MD5 still differs is fetched again whole, and given up
// after a few such rounds (the manifest is wrong), as is a file whose MD5
// differed too often however many of its parts still disagree.
// Thread-safety: none; used on the install thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "install/PartSettlement.h"
#include "model/DownloadingFileInfo.h"

namespace VantisClient {

class MismatchSettlement {
public:
    // A file is given up once its hash differed more often than this, however
    // many of its parts still disagree between fetches ...
    static constexpr int32_t MAX_HASH_MISMATCHES = 10;
    // ... or once all its parts agreed this often and its hash still differed.
    static constexpr int MAX_WHOLE_FILE_FAILURES = 3;

    enum class Verdict { FetchAgain, GiveUp };

    // After `file`'s MD5 differed: FetchAgain with the parts that agree marked
    // as written in `file`, so that only the others are requested, or GiveUp.
    Verdict afterMismatch(DownloadingFileInfo& file);
    // The bytes just written for part `index` count as another fetch of it
    // while `file` is being settled.
    void partWritten(const DownloadingFileInfo& file, uint16_t index);
    void verified(const std::string& path);

private:
    // Made at the first mismatch from what the file holds: the first fetch of every part.
    PartSettlement& settlementOf(const DownloadingFileInfo& file);
    static void recordFetch(const DownloadingFileInfo& file, uint16_t index, PartSettlement& settlement);

    // By path, until the file is verified.
    std::map<std::string, PartSettlement> m_settlements;
};

}  // namespace VantisClient
