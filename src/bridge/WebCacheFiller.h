// Keeps the web cache of the game card up to date: each request the web view
// is about to send for a resource of the current game's card is fetched once
// more in the background and stored below the game's cache directory, so that
// the next offline start shows the card as it was last seen. A download counts
// only when the whole body arrived with status 200; anything else leaves the
// older copy in place, as does a resource longer than its bound
// (MAX_RESOURCE_BYTES) or one that would take the cache beyond its total
// (MAX_TOTAL_BYTES) or its file count (MAX_FILES): a card must not fill the
// disk through the cache. Only addresses below the card's own base address
// are stored at all. Downloads run one at a time on the filler's own thread,
// and at most MAX_PENDING wait for it; more are dropped (the next visit asks
// again).
// Thread-safety: requestWillBeSent() and isIdle() may be called from any
// thread (the shell calls the first on its main thread). The destructor drops
// the waiting downloads, waits for the running one (bounded by the HTTP
// time-out) and joins the thread; it must not run on that thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <string>

#include <Poco/Runnable.h>

#include "common/Thread.h"
#include "common/VantisMutex.h"

namespace VantisClient {

class WebCacheFiller : public Poco::Runnable {
public:
    static constexpr size_t MAX_PENDING = 64;
    static constexpr uint64_t MAX_RESOURCE_BYTES = 8ULL * 1024 * 1024;
    static constexpr uint64_t MAX_TOTAL_BYTES = 64ULL * 1024 * 1024;
    static constexpr uint64_t MAX_FILES = 4096;
    static constexpr int TIMEOUT_SECONDS = 10;
    static const char* const THREAD_NAME;

    // The bounds are smaller in tests.
    explicit WebCacheFiller(uint64_t maxResourceLength = MAX_RESOURCE_BYTES, uint64_t maxTotalBytes = MAX_TOTAL_BYTES,
                            uint64_t maxFiles = MAX_FILES);
    ~WebCacheFiller() override;
    WebCacheFiller(const WebCacheFiller&) = delete;
    WebCacheFiller& operator=(const WebCacheFiller&) = delete;

    // Queues a download of `address` when it names a resource below the base
    // address of `gameId`'s card on `gameCardEndpoint` (WebCacheResource).
    // True when a download was queued.
    bool requestWillBeSent(const std::string& address, const std::string& gameCardEndpoint,
                           const std::string& gameId);
    // Nothing queued and nothing downloading.
    bool isIdle() const;

    void run() override;

private:
    using Lock = std::unique_lock<VantisMutex>;

    struct Download {
        std::string address;
        std::string gameId;
        std::string relativePath;
    };

    bool takeNext(Download& download);
    void perform(const Download& download) const;
    bool fetchInto(const Download& download) const;
    // The bytes the download may still add to the cache; -1 (logged) when it
    // must not be stored at all.
    int64_t room(const Download& download, int64_t length) const;

    const int64_t m_maxResourceLength;
    const uint64_t m_maxTotalBytes;
    const uint64_t m_maxFiles;
    mutable VantisMutex m_mutex;
    std::condition_variable_any m_wake;
    std::deque<Download> m_pending;
    bool m_downloading = false;
    bool m_stopping = false;
    Thread m_thread;
};

}  // namespace VantisClient
