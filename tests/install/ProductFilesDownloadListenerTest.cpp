#include <gtest/gtest.h>

#include <Poco/AutoPtr.h>
#include <Poco/NotificationQueue.h>

#include "install/ProductFilesDownloadListener.h"
#include "install/ResultNotification.h"

namespace VantisClient {
namespace {

using Part = DownloadFilePartFeedback;

const uint32_t PART_SIZE = 10;

class ProductFilesDownloadListenerTest : public ::testing::Test {
protected:
    ProductFilesDownloadListenerTest() {
        part->path = "data/noise.bin";
        part->partIndex = 1;
        part->requestSize = PART_SIZE;
        link.url = "https://127.0.0.1/content/noise?signature=1";
    }

    ProductFilesDownloadListener makeListener() {
        cache->clear();
        cache->addItem(link);
        return ProductFilesDownloadListener(part, link, cache, queue);
    }

    // The feedback the listener queued; null when it queued none.
    Poco::AutoPtr<ResultNotification> queued() {
        Poco::AutoPtr<Poco::Notification> notification(queue->dequeueNotification());
        return notification.cast<ResultNotification>();
    }

    bool linkCached() { return cache->findBinaryFileInCache(link.query()).isSpecified(); }

    DownloadFilePartInfo::Ptr part = new DownloadFilePartInfo;
    SecureUrlInfo link{"1207658924", "noise", false};
    SecureUrlCache::Ptr cache = new SecureUrlCache;
    Poco::SharedPtr<Poco::NotificationQueue> queue = new Poco::NotificationQueue;
};

TEST_F(ProductFilesDownloadListenerTest, AnswersBecomeFeedbacksByStatusAndLength) {
    const struct {
        int status;
        size_t bodySize;
        Part::PartError error;
        bool linkKept;
    } cases[] = {
        {206, PART_SIZE, Part::PART_RECEIVED, true},
        {200, PART_SIZE, Part::PART_RECEIVED, true},
        {206, PART_SIZE - 1, Part::PART_RETRY, true},  // one byte short
        {404, 0, Part::PART_FAILED_FOR_GOOD, true},
        {503, 0, Part::PART_RETRY, true},
        {416, 0, Part::PART_RETRY, true},
        // The content server refuses the link itself: the retry needs a fresh one.
        {401, 0, Part::PART_RETRY, false},
        {403, 0, Part::PART_RETRY, false},
        {410, 0, Part::PART_RETRY, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        ProductFilesDownloadListener listener = makeListener();
        Http::HttpRequest request;
        Http::HttpResponse response;
        response.statusCode = c.status;
        response.body.assign(c.bodySize, 'x');
        listener.OnResponseHandover(request, response);

        Poco::AutoPtr<ResultNotification> result = queued();
        ASSERT_FALSE(result.isNull());
        const auto& feedback = static_cast<const Part&>(*result->getResult());
        EXPECT_EQ(c.error, feedback.getErrorCode());
        EXPECT_EQ(c.status, feedback.getStatusCode());
        EXPECT_EQ("data/noise.bin", feedback.getPath());
        EXPECT_EQ(1, feedback.getPartIndex());
        // An answer with a success status hands its bytes over, also one of the
        // wrong length, so that an answer wrong the same way each time shows.
        const bool withBytes = c.status / 100 == 2;
        EXPECT_EQ(withBytes ? std::string(c.bodySize, 'x') : std::string(), feedback.getData());
        // The bytes were moved to the feedback, not copied.
        EXPECT_EQ(withBytes ? 0u : c.bodySize, response.body.size());
        EXPECT_EQ(c.linkKept, linkCached());
    }
}

TEST_F(ProductFilesDownloadListenerTest, ATransportFailureDropsTheLinkAndACancelledPartIsNotHeard) {
    ProductFilesDownloadListener listener = makeListener();
    listener.OnError(Http::HttpRequest());
    Poco::AutoPtr<ResultNotification> result = queued();
    ASSERT_FALSE(result.isNull());
    EXPECT_EQ(Part::PART_NOT_COMPLETED, result->getResult()->getErrorCode());
    EXPECT_EQ(0, static_cast<const Part&>(*result->getResult()).getStatusCode());
    EXPECT_FALSE(linkCached());

    ProductFilesDownloadListener late = makeListener();
    part->cancelled = true;
    Http::HttpResponse response;
    response.statusCode = 403;
    late.OnResponse(Http::HttpRequest(), response);
    late.OnError(Http::HttpRequest());
    EXPECT_TRUE(queued().isNull());
    EXPECT_TRUE(linkCached());
}

TEST_F(ProductFilesDownloadListenerTest, AWholeObjectAnsweringARangedRequestYieldsOnlyTheAskedRange) {
    part->fileOffset = 5;
    part->partOffset = 10;
    std::string object;
    for (int i = 0; i < 40; ++i) object += static_cast<char>('a' + i % 26);
    const struct {
        const char* name;
        int status;
        std::string body;
        Part::PartError error;
        std::string data;
    } cases[] = {
        {"whole object", 200, object, Part::PART_RECEIVED, object.substr(15, PART_SIZE)},
        {"object ending inside the range", 200, object.substr(0, 24), Part::PART_RETRY, ""},
        {"the range itself", 206, object.substr(15, PART_SIZE), Part::PART_RECEIVED, object.substr(15, PART_SIZE)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ProductFilesDownloadListener listener = makeListener();
        Http::HttpResponse response;
        response.statusCode = c.status;
        response.body = c.body;
        listener.OnResponseHandover(Http::HttpRequest(), response);
        Poco::AutoPtr<ResultNotification> result = queued();
        ASSERT_FALSE(result.isNull());
        const auto& feedback = static_cast<const Part&>(*result->getResult());
        EXPECT_EQ(c.error, feedback.getErrorCode());
        EXPECT_EQ(c.data, feedback.getData());
    }
}

TEST(ProductFilesDownloadListenerClassifyTest, StatusesMapToTheirErrorCodes) {
    const struct {
        int first;
        int last;
        Part::PartError error;
    } ranges[] = {
        {100, 101, Part::PART_FAILED_FOR_GOOD}, {200, 202, Part::PART_RECEIVED}, {203, 203, Part::PART_RETRY},
        {204, 206, Part::PART_RECEIVED},        {300, 305, Part::PART_RETRY},    {306, 306, Part::PART_RETRY},
        {307, 307, Part::PART_RETRY},           {400, 403, Part::PART_RETRY},    {404, 404, Part::PART_FAILED_FOR_GOOD},
        {405, 417, Part::PART_RETRY},           {418, 418, Part::PART_RETRY},    {500, 505, Part::PART_RETRY},
        {506, 506, Part::PART_RETRY},           {0, 0, Part::PART_RETRY},
    };
    for (const auto& range : ranges) {
        for (int status = range.first; status <= range.last; ++status) {
            EXPECT_EQ(range.error, ProductFilesDownloadListener::classifyHttpResponse(status)) << status;
        }
    }
}

}  // namespace
}  // namespace VantisClient
