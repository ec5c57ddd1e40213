// The downloader against the real backend serving the sample game: whole
// downloads, part faults, resumed downloads, expiring links and aborts.
#include <atomic>
#include <map>
#include <string>
#include <thread>

#include <sys/stat.h>

#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "DownloadFixture.h"
#include "install/ProductFilesDownloader.h"
#include "net/HttpManager.h"
#include "platform/Platform.h"
#include "support/WaitFor.h"

namespace VantisClient {
namespace {

using VantisTest::Logged;
using VantisTest::Served;

const uint64_t MiB = 1048576;

// The bytes the disk holds for everything below `path`.
uint64_t allocatedBelow(const std::string& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) return 0;
    uint64_t bytes = static_cast<uint64_t>(status.st_blocks) * 512;
    if (!S_ISDIR(status.st_mode)) return bytes;
    for (Poco::DirectoryIterator it(path), end; it != end; ++it) bytes += allocatedBelow(it->path());
    return bytes;
}

// A volume of `capacity` bytes that holds nothing but the files below `root`.
class Volume : public IFileSystemSpace {
public:
    Volume(std::string root, uint64_t capacity) : m_root(std::move(root)), m_capacity(capacity) {}
    bool freeBytes(const std::string&, uint64_t& bytes, std::string&) override {
        const uint64_t used = allocatedBelow(m_root);
        bytes = used < m_capacity ? m_capacity - used : 0;
        return true;
    }

private:
    std::string m_root;
    uint64_t m_capacity;
};

class ProductFilesDownloaderTest : public VantisTest::DownloadTest {
protected:
    // A fault rule for the content requests of `path`'s binary; `fields` completes the rule.
    std::string contentFault(const std::string& path, const std::string& fields) {
        const std::string& url = remote(path)->getLocation().url;
        return R"({"listener": "api", "path": "^/content/.*)" + url.substr(url.rfind('/') + 1) + R"(", )" + fields +
               "}";
    }

    // Back to an empty downloads directory, no faults and no record of served requests.
    void startOver() {
        ASSERT_EQ(200, control("DELETE", "faults").status);
        ASSERT_EQ(200, control("DELETE", "served").status);
        product->getFiles().getDownloadingFiles().clear();
        Poco::File downloads(downloadsPath());
        if (downloads.exists()) downloads.remove(true);
        abort = new AbortSignal;
        callback = VantisTest::RecordingCallback();
    }

    DownloadingFileInfo::Ptr downloading(const std::string& path) {
        return product->getFiles().getDownloadingFiles()[path];
    }

    std::string downloaded(const std::string& path) { return VantisTest::ReadFileBytes(downloadsPath() + "/" + path); }

    // True when exactly one report arrived after the `before` there were, and it is of `kind`.
    bool reportedOnce(size_t before, const std::string& kind) {
        const std::vector<std::string> sent = reportsOnceArrived(before + 1);
        return sent.size() == before + 1 && sent.back().find(kind) != std::string::npos;
    }

    // What the callback last wrote of each file.
    std::map<std::string, VantisTest::RecordingCallback::Written> lastWritten() const {
        std::map<std::string, VantisTest::RecordingCallback::Written> last;
        for (const auto& batch : callback.batches) {
            for (const auto& record : batch) last[record.path] = record;
        }
        return last;
    }
};

TEST_F(ProductFilesDownloaderTest, FetchesEveryPartOnceThroughOneLinkPerBinaryAndVerifiesEveryFile) {
    editRemote("data/empty.dat", [](const RemoteFileDefinition& empty) {
        const FileInformation otherDigest(empty.getType(), empty.getPath(), "not the digest of nothing", 0);
        return new RemoteFileDefinition(otherDigest, empty.getLocation(), empty.getPartSize(), empty.getParts());
    });
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    ASSERT_TRUE(download(*downloader));
    EXPECT_FALSE(downloader->getInstallResult().isSpecified());

    size_t parts = 0;
    std::map<std::string, size_t> binaries;
    const auto written = lastWritten();
    for (const auto& entry : product->getFiles().getRemoteFiles()) {
        SCOPED_TRACE(entry.first);
        const DownloadingFileInfo::Ptr file = downloading(entry.first);
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(DownloadingFileInfo::Verified, file->getState());
        ASSERT_TRUE(written.count(entry.first));
        EXPECT_EQ(DownloadingFileInfo::Verified, written.at(entry.first).state);
        parts += file->getPartSizes().size();
        if (!entry.second->getLocation().url.empty()) binaries[entry.second->getLocation().url] = 1;
    }
    for (const char* path : {"data/noise.bin", "data/level.txt", "readme.txt", "data/empty.dat"}) {
        EXPECT_EQ(sourceBytes(path), downloaded(path)) << path;
    }
    EXPECT_EQ(VantisTest::Md5Hex(""), downloading("data/empty.dat")->getFileInfo().getHash());

    size_t contentServed = 0, linksServed = 0;
    for (const Served& request : served()) {
        contentServed += request.path.rfind("/content/", 0) == 0 ? 1 : 0;
        linksServed += request.path.rfind("/games/", 0) == 0 || request.path.rfind("/redists/", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(parts, contentServed);
    EXPECT_EQ(binaries.size(), linksServed);
    EXPECT_EQ(3u, contentRequests("data/noise.bin").size());
    EXPECT_EQ(2u, contentRequests("data/level.txt").size());
    EXPECT_FALSE(Logged("Requesting file data/empty.dat"));
}

TEST_F(ProductFilesDownloaderTest, AQueuePassRequestsNoMorePartsThanAreAllowedInFlight) {
    keepOnly({"data/noise.bin", "data/level.txt"});
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    downloader->scanDownloadedFiles();
    downloader->chooseFilesNeededForUpdate();
    ASSERT_TRUE(downloader->allocateDiskSpace());
    downloader->startDownloadingFile(downloading("data/noise.bin"));
    downloader->startDownloadingFile(downloading("data/level.txt"));
    ASSERT_EQ(5u, downloader->getPendingParts().size());

    for (int pass = 0; pass < 2; ++pass) {
        downloader->processDownloadQueue();
        EXPECT_EQ(2u, downloader->getInProgressPartsCount());
        EXPECT_EQ(3u, downloader->getPendingParts().size());
    }
    ASSERT_TRUE(VantisTest::WaitFor([this] {
        return contentRequests("data/noise.bin").size() + contentRequests("data/level.txt").size() == 2;
    }));
    // The rest of the download neither asks again for the parts in flight nor for those written.
    ASSERT_TRUE(downloader->downloadNeededFiles());
    EXPECT_EQ(3u, contentRequests("data/noise.bin").size());
    EXPECT_EQ(2u, contentRequests("data/level.txt").size());
}

TEST_F(ProductFilesDownloaderTest, FilesWrittenInOrderAreVerifiedWithoutBeingReadBack) {
    keepOnly({"data/noise.bin", "data/level.txt"});
    // One part at a time: every part arrives in order.
    settings.partsInFlight = 1;
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    ASSERT_TRUE(download(*downloader));
    for (const char* path : {"data/noise.bin", "data/level.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(DownloadingFileInfo::Verified, downloading(path)->getState());
        EXPECT_EQ(sourceBytes(path), downloaded(path));
        EXPECT_FALSE(Logged("File " + std::string(path) + " hashing started"));
    }
}

TEST_F(ProductFilesDownloaderTest, PartAnswersAreRetriedOrFailTheInstallByTheirKind) {
    keepOnly({"data/noise.bin"});
    // One part at a time, so that the requests follow each other in a known order.
    settings.partsInFlight = 1;
    // A connection of its own for every request: the network layer would send a
    // request that failed on a kept-alive connection once more by itself.
    HttpManager::Instance()->setConnectionReuse(false);
    const std::string noiseBinary = remote("data/noise.bin")->getLocation().url;
    const struct {
        const char* name;
        std::string fields;
        bool urlOfOneComponent;
        bool succeeds;
        size_t contentRequests;
        size_t linkRequests;
    } cases[] = {
        {"not found", R"("action": "status", "status": 404, "first": 1)", false, false, 1, 1},
        // A server error is waited out like a dropped connection, with the same link.
        {"unavailable", R"("action": "status", "status": 503, "first": 3)", false, true, 6, 1},
        // Each refusal drops the link: parts 0 and 1 are refused, part 2 comes with a third link.
        {"link refused", R"("action": "status", "status": 403, "first": 2)", false, true, 5, 3},
        {"range refused", R"("action": "status", "status": 416, "first": 2)", false, true, 5, 1},
        {"dropped connection", R"("action": "drop", "first": 1)", false, true, 4, 2},
        {"truncated body", R"("action": "truncate", "bytes": 1000, "first": 1)", false, true, 4, 2},
        // The link is asked for under the game id, and dropped under it too.
        {"dropped connection, URL of one component", R"("action": "drop", "first": 1)", true, true, 4, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startOver();
        if (c.urlOfOneComponent) {
            editRemote("data/noise.bin", [&noiseBinary](const RemoteFileDefinition& noise) {
                return new RemoteFileDefinition(noise.getFileInfo(),
                                                RemoteFileLocation(noiseBinary.substr(noiseBinary.rfind('/') + 1),
                                                                   noise.getLocation().offset),
                                                noise.getPartSize(), noise.getParts());
            });
        }
        addFault(contentFault("data/noise.bin", c.fields));
        const size_t reportsBefore = reportsOnceArrived(0).size();
        std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
        EXPECT_EQ(c.succeeds, download(*downloader));
        EXPECT_EQ(c.contentRequests, contentRequests("data/noise.bin").size());
        EXPECT_EQ(c.linkRequests, linkRequests("data/noise.bin"));
        if (c.succeeds) {
            EXPECT_EQ(sourceBytes("data/noise.bin"), downloaded("data/noise.bin"));
        } else {
            EXPECT_EQ(EInstallResult::ConnectionError, downloader->getInstallResult().value());
            EXPECT_TRUE(reportedOnce(reportsBefore, "Permanent-Download-Failure"));
        }
    }
}

TEST_F(ProductFilesDownloaderTest, AFailedLinkRequestEndsTheInstallWithItsResult) {
    keepOnly({"data/noise.bin"});
    const struct {
        int status;
        EInstallResult result;
        const char* line;
        const char* report;  // null when none is sent
        size_t linkRequests;
    } cases[] = {
        // An answer without a link, twice the same: the part could never be fetched.
        {200, EInstallResult::ConnectionError, "Parsing link for file data/noise.bin from url ", nullptr, 2},
        {403, EInstallResult::NotAuthorized, "forbidden", nullptr, 1},
        {400, EInstallResult::ConnectionError, "Server error while trying to get access to binary file ",
         "Failed-Getting-File-Url", 1},
    };
    const std::string& url = remote("data/noise.bin")->getLocation().url;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        startOver();
        addFault(R"({"listener": "api", "path": "^/games/.*)" + url.substr(url.rfind('/') + 1) +
                 R"(", "action": "status", "status": )" + std::to_string(c.status) + "}");
        const size_t reportsBefore = reportsOnceArrived(0).size();
        std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
        EXPECT_FALSE(download(*downloader));
        EXPECT_EQ(c.result, downloader->getInstallResult().value());
        EXPECT_TRUE(Logged(c.line));
        EXPECT_EQ(c.linkRequests, linkRequests("data/noise.bin"));
        EXPECT_TRUE(contentRequests("data/noise.bin").empty());
        if (c.report) {
            EXPECT_TRUE(reportedOnce(reportsBefore, c.report));
        } else {
            EXPECT_EQ(reportsBefore, reportsOnceArrived(reportsBefore).size());
        }
    }
}

// Parts damaged the same way on every fetch agree with each other: like a wrong
// manifest, the file is fetched whole four times and then given up.
TEST_F(ProductFilesDownloaderTest, AFileWhoseHashKeepsDifferingIsGivenUpAtTheFourthMismatch) {
    keepOnly({"data/noise.bin"});
    addFault(contentFault("data/noise.bin", R"("action": "corrupt", "bytes": 1)"));
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    EXPECT_FALSE(download(*downloader));
    EXPECT_EQ(EInstallResult::ServerError, downloader->getInstallResult().value());
    const DownloadingFileInfo::Ptr noise = downloading("data/noise.bin");
    EXPECT_EQ(DownloadingFileInfo::Failed, noise->getState());
    EXPECT_EQ(4, noise->getHashMismatchCount());
    EXPECT_EQ(4u * 3u, contentRequests("data/noise.bin").size());
    const std::vector<std::string> sent = reportsOnceArrived(1);
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("Hash-Mismatch"));
    // The secure link the data came through, not the manifest's URL.
    EXPECT_NE(std::string::npos, sent[0].find("/content/"));
    EXPECT_TRUE(Logged("Hashing error - should be " + remote("data/noise.bin")->getHash()));
}

TEST_F(ProductFilesDownloaderTest, AfterAHashMismatchOnlyThePartsWhoseFetchesDisagreeAreFetchedAgain) {
    keepOnly({"data/noise.bin"});
    // One part at a time, so that the requests follow each other in a known order.
    settings.partsInFlight = 1;
    // Part 0 comes damaged the first time, part 1 the second time: after the
    // second round only part 2 agrees with its first fetch, and parts 0 and 1
    // are fetched a third time.
    addFault(contentFault("data/noise.bin", R"("action": "corrupt", "bytes": 1, "first": 1)"));
    addFault(contentFault("data/noise.bin", R"("action": "corrupt", "bytes": 1, "every": 5)"));
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    ASSERT_TRUE(download(*downloader));
    EXPECT_EQ(sourceBytes("data/noise.bin"), downloaded("data/noise.bin"));
    const std::vector<Served> requests = contentRequests("data/noise.bin");
    ASSERT_EQ(3u + 3u + 2u, requests.size());
    EXPECT_EQ(requests[0].range, requests[6].range);
    EXPECT_EQ(requests[1].range, requests[7].range);
    EXPECT_EQ(2, downloading("data/noise.bin")->getHashMismatchCount());
    EXPECT_TRUE(Logged("File data/noise.bin: 2 of 3 parts are fetched again"));
}

TEST_F(ProductFilesDownloaderTest, AZipPartDamagedTheSameWayThreeTimesEndsTheInstallAsAServerProblem) {
    keepOnly({"data/level.txt"});
    ASSERT_TRUE(remote("data/level.txt")->isZip());
    addFault(contentFault("data/level.txt", R"("action": "corrupt", "bytes": 3)"));
    const size_t reportsBefore = reportsOnceArrived(0).size();
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    EXPECT_FALSE(download(*downloader));
    EXPECT_EQ(EInstallResult::ServerError, downloader->getInstallResult().value());
    // Each damaged part was found as it was unpacked, before any hash.
    EXPECT_FALSE(Logged("Hashing error"));
    EXPECT_TRUE(Logged("came 3 times in a row as the same damaged part"));
    EXPECT_LE(contentRequests("data/level.txt").size(), 3 * downloading("data/level.txt")->getPartSizes().size());
    EXPECT_TRUE(reportedOnce(reportsBefore, "Permanent-Download-Failure"));
}

TEST_F(ProductFilesDownloaderTest, AnInterruptedDownloadResumesWithWhatItHadWritten) {
    keepOnly({"data/noise.bin", "data/level.txt", "readme.txt", "data/copy.txt"});
    // The records as storage reads them back: state, size, hash and the bitmap's words.
    auto stored = [this](const std::string& path, DownloadingFileInfo::DownloadingFileState state,
                         std::initializer_list<uint16_t> written, const std::string& hash, const std::string& bytes) {
        DownloadingFileInfo::Ptr file =
            new DownloadingFileInfo(FileType::Game, path, state, downloadsPath() + "/" + path);
        file->getFileInfo().setSize(bytes.size());
        file->getFileInfo().setHash(hash);
        file->getParts().setPartInfo(31);
        for (uint16_t index : written) file->getParts().markPart(index);
        product->getFiles().addDownloadingFileInfo(file);
        VantisTest::WriteFileBytes(file->getFullPath(), bytes);
    };
    std::string noise = sourceBytes("data/noise.bin");
    std::fill(noise.begin() + MiB, noise.begin() + 2 * MiB, '\0');
    stored("data/noise.bin", DownloadingFileInfo::Downloading, {0, 2}, "", noise);
    stored("data/copy.txt", DownloadingFileInfo::Downloading, {0}, "", sourceBytes("data/copy.txt"));
    stored("data/level.txt", DownloadingFileInfo::Hashing, {0, 1}, "", sourceBytes("data/level.txt"));
    // Verified, but the manifest has changed the file since.
    stored("readme.txt", DownloadingFileInfo::Verified, {0}, VantisTest::Md5Hex("Read me before.\n"),
           sourceBytes("readme.txt"));

    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    ASSERT_TRUE(download(*downloader));

    const std::vector<Served> noiseRequests = contentRequests("data/noise.bin");
    ASSERT_EQ(1u, noiseRequests.size());
    const uint64_t offset = remote("data/noise.bin")->getLocation().offset;
    EXPECT_EQ("bytes=" + std::to_string(offset + MiB) + "-" + std::to_string(offset + 2 * MiB - 1),
              noiseRequests[0].range);
    EXPECT_TRUE(contentRequests("data/level.txt").empty());
    EXPECT_TRUE(Logged("File data/level.txt hashing started"));
    EXPECT_TRUE(Logged("File data/copy.txt all parts downloaded."));
    EXPECT_TRUE(Logged("Deleting unusable failed file readme.txt"));
    // readme.txt and copy.txt share their bytes in the catalogue: only the first was fetched.
    EXPECT_EQ(1u, contentRequests("readme.txt").size());
    for (const char* path : {"data/noise.bin", "data/level.txt", "readme.txt", "data/copy.txt"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(DownloadingFileInfo::Verified, downloading(path)->getState());
        EXPECT_EQ(sourceBytes(path), downloaded(path));
    }
}

TEST_F(ProductFilesDownloaderTest, AResumedDownloadNeedsNoSpaceForWhatItHadReserved) {
    keepOnly({"data/noise.bin"});
    const uint64_t size = remote("data/noise.bin")->getSize();
    // Room for the game once and a half: the first run takes the game's size.
    Platform::SetFileSystemSpace(std::make_shared<Volume>(downloadsPath(), size + size / 2));
    {
        std::unique_ptr<ProductFilesDownloader> interrupted = makeDownloader();
        interrupted->scanDownloadedFiles();
        interrupted->chooseFilesNeededForUpdate();
        ASSERT_TRUE(interrupted->allocateDiskSpace());
    }
    std::unique_ptr<ProductFilesDownloader> resumed = makeDownloader();
    ASSERT_TRUE(download(*resumed));
    EXPECT_EQ(DownloadingFileInfo::Verified, downloading("data/noise.bin")->getState());
    EXPECT_EQ(sourceBytes("data/noise.bin"), downloaded("data/noise.bin"));
}

TEST_F(ProductFilesDownloaderTest, ALinkThatExpiresDuringTheDownloadIsReplacedByAFreshOne) {
    keepOnly({"data/noise.bin"});
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    downloader->scanDownloadedFiles();
    downloader->chooseFilesNeededForUpdate();
    ASSERT_TRUE(downloader->allocateDiskSpace());
    downloader->startDownloadingFile(downloading("data/noise.bin"));
    // Two parts go through the first link; the third is still to come when it expires.
    downloader->processDownloadQueue();
    ASSERT_TRUE(VantisTest::WaitFor([this] { return contentRequests("data/noise.bin").size() == 2; }));
    ASSERT_EQ(200, control("POST", "expire-links").status);

    EXPECT_TRUE(downloader->downloadNeededFiles());
    size_t refused = 0;
    for (const Served& request : contentRequests("data/noise.bin")) refused += request.status == 403 ? 1 : 0;
    EXPECT_EQ(1u, refused);
    EXPECT_EQ(2u, linkRequests("data/noise.bin"));
    EXPECT_TRUE(Logged("refused with response code 403; a new one will be requested"));
    EXPECT_EQ(sourceBytes("data/noise.bin"), downloaded("data/noise.bin"));
}

TEST_F(ProductFilesDownloaderTest, AnAbortEndsTheWaitAndWritesTheStateOfTheFilesInProgress) {
    keepOnly({"data/noise.bin"});
    // The first part comes at once, the others long after the abort.
    addFault(contentFault("data/noise.bin", R"("action": "delay", "delayMs": 0, "first": 1)"));
    addFault(contentFault("data/noise.bin", R"("action": "delay", "delayMs": 1000)"));
    std::atomic<bool> partWritten{false};
    callback.onProgress = [this, &partWritten] {
        if (downloading("data/noise.bin")->getParts().getMarkedPartsCount() > 0) partWritten = true;
    };
    std::unique_ptr<ProductFilesDownloader> downloader = makeDownloader();
    std::thread aborter([&downloader, &partWritten] {
        VantisTest::WaitFor([&partWritten] { return partWritten.load(); });
        downloader->abort();
    });
    const bool downloadedAll = download(*downloader);
    aborter.join();

    EXPECT_FALSE(downloadedAll);
    EXPECT_EQ(EInstallResult::Aborted, downloader->getInstallResult().value());
    // Ended before the held-back parts arrived.
    EXPECT_EQ(1, downloading("data/noise.bin")->getParts().getMarkedPartsCount());
    ASSERT_FALSE(callback.batches.empty());
    const auto written = lastWritten();
    EXPECT_EQ(DownloadingFileInfo::Downloading, written.at("data/noise.bin").state);
    EXPECT_EQ(1, written.at("data/noise.bin").writtenParts);
    EXPECT_TRUE(Logged("Writing the state of 1 downloading files of product 1207658924 after the abort"));
}

}  // namespace
}  // namespace VantisClient
