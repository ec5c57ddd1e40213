#include "bridge/WebCacheFiller.h"

#include <algorithm>

#include <Poco/Exception.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/URI.h>

#include "bridge/WebCacheLayout.h"
#include "bridge/WebCacheResource.h"
#include "bridge/WebCacheUsage.h"
#include "bridge/WebCacheWriter.h"
#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "net/HttpTrafficLog.h"

namespace VantisClient {

const char* const WebCacheFiller::THREAD_NAME = "Web Cache Fill Thread";

WebCacheFiller::WebCacheFiller(uint64_t maxResourceLength, uint64_t maxTotalBytes, uint64_t maxFiles)
    : m_maxResourceLength(static_cast<int64_t>(maxResourceLength)),
      m_maxTotalBytes(maxTotalBytes),
      m_maxFiles(maxFiles),
      m_thread(THREAD_NAME) {
    m_thread.start(*this);
}

WebCacheFiller::~WebCacheFiller() {
    {
        Lock lock(m_mutex);
        m_stopping = true;
        m_pending.clear();
    }
    m_wake.notify_all();
    m_thread.join();
}

bool WebCacheFiller::requestWillBeSent(const std::string& address, const std::string& gameCardEndpoint,
                                       const std::string& gameId) {
    if (!WebCacheLayout::IsPlainGameId(gameId)) return false;
    Download download{address, gameId,
                      WebCacheResource::RelativePath(address, WebCacheLayout::BaseAddress(gameCardEndpoint, gameId))};
    if (download.relativePath.empty()) return false;
    {
        Lock lock(m_mutex);
        if (m_stopping) return false;
        if (m_pending.size() >= MAX_PENDING) {
            Logger::LogWarning("Not caching %s: %zu downloads are waiting already.", address.c_str(), m_pending.size());
            return false;
        }
        m_pending.push_back(download);
    }
    m_wake.notify_one();
    return true;
}

bool WebCacheFiller::isIdle() const {
    Lock lock(m_mutex);
    return m_pending.empty() && !m_downloading;
}

void WebCacheFiller::run() {
    Download download;
    while (takeNext(download)) perform(download);
}

bool WebCacheFiller::takeNext(Download& download) {
    Lock lock(m_mutex);
    m_downloading = false;
    m_wake.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
    if (m_stopping) return false;
    download = m_pending.front();
    m_pending.pop_front();
    m_downloading = true;
    return true;
}

void WebCacheFiller::perform(const Download& download) const {
    if (fetchInto(download)) return;
    const std::string destination =
        Utilities::AppendPath(WebCacheLayout::GameDirectory(download.gameId), download.relativePath);
    Logger::LogChannelWarning(Http::HttpTrafficLog::CHANNEL, "Failed to download resource with download path %s",
                              destination.c_str());
}

bool WebCacheFiller::fetchInto(const Download& download) const {
    try {
        const Poco::URI uri(download.address);
        Poco::Net::HTTPClientSession session(uri.getHost(), uri.getPort());
        session.setTimeout(Poco::Timespan(TIMEOUT_SECONDS, 0));
        Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, uri.getPathAndQuery(),
                                       Poco::Net::HTTPMessage::HTTP_1_1);
        session.sendRequest(request);
        Poco::Net::HTTPResponse response;
        std::istream& body = session.receiveResponse(response);
        if (response.getStatus() != Poco::Net::HTTPResponse::HTTP_OK) return false;
        const int64_t length =
            response.hasContentLength() ? response.getContentLength64() : WebCacheWriter::UNKNOWN_LENGTH;
        if (length > m_maxResourceLength) {
            Logger::LogChannelWarning(Http::HttpTrafficLog::CHANNEL, "Not caching %s: %lld bytes exceed the bound of %lld",
                                      download.address.c_str(), static_cast<long long>(length),
                                      static_cast<long long>(m_maxResourceLength));
            return false;
        }
        const int64_t bound = room(download, length);
        if (bound < 0) return false;
        return WebCacheWriter::Write(ApplicationEnvironment::GetWebcachePath(),
                                     download.gameId + "/" + download.relativePath, body, length, bound);
    } catch (const Poco::Exception& exception) {
        Logger::LogChannelWarning(Http::HttpTrafficLog::CHANNEL, "Downloading %s failed: %s", download.address.c_str(),
                                  exception.displayText().c_str());
        return false;
    }
}

int64_t WebCacheFiller::room(const Download& download, int64_t length) const {
    const std::string root = ApplicationEnvironment::GetWebcachePath();
    const std::string destination = Utilities::AppendPath(root, download.gameId + "/" + download.relativePath);
    const WebCacheUsage usage = WebCacheUsage::Of(root, destination);
    if (usage.files >= m_maxFiles) {
        Logger::LogChannelWarning(Http::HttpTrafficLog::CHANNEL,
                                  "Not caching %s: the web cache holds %llu files, its bound", download.address.c_str(),
                                  static_cast<unsigned long long>(usage.files));
        return -1;
    }
    const uint64_t left = usage.bytes < m_maxTotalBytes ? m_maxTotalBytes - usage.bytes : 0;
    if (length != WebCacheWriter::UNKNOWN_LENGTH && static_cast<uint64_t>(length) > left) {
        Logger::LogChannelWarning(
            Http::HttpTrafficLog::CHANNEL, "Not caching %s: %lld bytes exceed the %llu bytes left of the web cache's bound of %llu",
            download.address.c_str(), static_cast<long long>(length), static_cast<unsigned long long>(left),
            static_cast<unsigned long long>(m_maxTotalBytes));
        return -1;
    }
    return std::min<int64_t>(m_maxResourceLength, static_cast<int64_t>(left));
}

}  // namespace VantisClient
