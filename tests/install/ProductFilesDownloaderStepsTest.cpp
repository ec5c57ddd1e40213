// The downloader's steps that need no network: cutting files into parts, the
// limit of parts in flight, retries, disk space and empty files.
#include <unistd.h>

#include <memory>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "DownloadFixture.h"
#include "common/EngineSettings.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/UserPreferences.h"
#include "install/FileSystem.h"
#include "install/ProductFilesDownloader.h"
#include "platform/Platform.h"
#include "support/Sandbox.h"

namespace VantisClient {
namespace {

const uint64_t MiB = 1048576;

class FixedFreeSpace : public IFileSystemSpace {
public:
    explicit FixedFreeSpace(uint64_t bytes) : m_bytes(bytes) {}
    bool freeBytes(const std::string&, uint64_t& bytes, std::string&) override {
        bytes = m_bytes;
        return true;
    }

private:
    uint64_t m_bytes;
};

class ProductFilesDownloaderStepsTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        // Nothing listens there: the reports of a failed part go nowhere.
        ProblemReporter::Instance().setEndpoint("http://127.0.0.1:1/problem.php");
        product->setGameId("1207658924");
        product->setDownloadsPath(sandbox.path("Downloads/1207658924"));
    }

    RemoteFileDefinition::Ptr addRemote(const std::string& path, uint64_t size, const std::string& url,
                                        const std::vector<uint32_t>& parts = {}, FileType type = FileType::Game,
                                        const std::string& hash = "") {
        RemoteFileDefinition::Ptr definition = new RemoteFileDefinition(
            FileInformation(type, path, hash, size), RemoteFileLocation(url, 100), 0, parts);
        product->getFiles().addRemoteFileInfo(definition);
        return definition;
    }

    DownloadingFileInfo::Ptr addDownloading(const RemoteFileDefinition::Ptr& definition) {
        DownloadingFileInfo::Ptr file =
            new DownloadingFileInfo(definition, product->getDownloadsPath(), DownloadingFileInfo::Queued);
        product->getFiles().addDownloadingFileInfo(file);
        return file;
    }

    ProductFilesDownloader& downloader() {
        if (!m_downloader) m_downloader.reset(new ProductFilesDownloader(product, callback, abort, EngineSettings()));
        return *m_downloader;
    }

    ProductInfo::Ptr product = new ProductInfo;
    VantisTest::RecordingCallback callback;
    AbortSignal::Ptr abort = new AbortSignal;

private:
    std::unique_ptr<ProductFilesDownloader> m_downloader;
};

TEST_F(ProductFilesDownloaderStepsTest, AFileIsCutIntoPartsByItsLayout) {
    struct Expected {
        uint64_t partOffset;
        uint64_t destinationOffset;
        uint32_t requestSize;
        uint32_t expectedSize;
    };
    const struct {
        const char* path;
        uint64_t size;
        const char* url;
        std::vector<uint32_t> parts;
        FileType type;
        SecureUrlQuery linkKeys;
        bool compressed;
        std::vector<Expected> expected;
    } cases[] = {
        {"data/big.pak", 13 * MiB, "1207658924/big.zip", {3000000, 2500000, 400000}, FileType::Game,
         {"1207658924", "big.zip"}, true,
         {{0, 0, 3000000, 6 * MiB}, {3000000, 6 * MiB, 2500000, 6 * MiB}, {5500000, 12 * MiB, 400000, MiB}}},
        // A URL of one component is asked for under the game id.
        {"data/plain.bin", 2 * MiB + MiB / 2, "plain.bin", {}, FileType::Redistributable, {"1207658924", "plain.bin"},
         false, {{0, 0, MiB, MiB}, {MiB, MiB, MiB, MiB}, {2 * MiB, 2 * MiB, MiB / 2, MiB / 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        DownloadingFileInfo::Ptr file = addDownloading(addRemote(c.path, c.size, c.url, c.parts, c.type));
        const size_t before = downloader().getPendingParts().size();
        downloader().startDownloadingFile(file);
        EXPECT_EQ(DownloadingFileInfo::Downloading, file->getState());
        EXPECT_EQ(c.expected.size(), file->getDownloadingParts().getMarkedPartsCount());
        ASSERT_EQ(before + c.expected.size(), downloader().getPendingParts().size());
        for (size_t index = 0; index < c.expected.size(); ++index) {
            const DownloadFilePartInfo& part = *downloader().getPendingParts()[before + index];
            const Expected& expected = c.expected[index];
            EXPECT_EQ(c.path, part.path);
            EXPECT_EQ(index, part.partIndex);
            EXPECT_EQ(100u, part.fileOffset);
            EXPECT_EQ(expected.partOffset, part.partOffset);
            EXPECT_EQ(expected.destinationOffset, part.destinationOffset);
            EXPECT_EQ(expected.requestSize, part.requestSize);
            EXPECT_EQ(expected.expectedSize, part.expectedSize);
            EXPECT_EQ(c.compressed, part.compressed);
            EXPECT_EQ(c.type == FileType::Redistributable, part.redistributable);
            EXPECT_EQ(c.linkKeys.product, part.linkKeys.product);
            EXPECT_EQ(c.linkKeys.file, part.linkKeys.file);
        }
    }
}

TEST_F(ProductFilesDownloaderStepsTest, PartsInFlightFollowTheUserPreferenceWithinBounds) {
    UserPreferences preferences;
    const struct {
        const char* config;  // null: settings not read from any preferences
        uint16_t limit;
    } cases[] = {
        {nullptr, 2},
        {"{}", 2},
        {R"({"partsInFlight": 1})", 1},
        {R"({"partsInFlight": 3})", 3},
        {R"({"partsInFlight": 0})", 1},
        {R"({"partsInFlight": 40})", 16},
        {R"({"partsInFlight": "six"})", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.config ? c.config : "no preferences");
        if (c.config) sandbox.writeFile("Config.json", c.config);
        const EngineSettings settings = c.config ? EngineSettings::Read(preferences) : EngineSettings();
        EXPECT_EQ(c.limit, ProductFilesDownloader(product, callback, abort, settings).getPartsInFlightLimit());
    }
}

TEST_F(ProductFilesDownloaderStepsTest, AFailedPartIsQueuedAgainLaterUntilItsHundredthFailure) {
    const struct {
        DownloadFilePartFeedback::PartError error;
        int failuresBeforeGivingUp;
    } cases[] = {
        {DownloadFilePartFeedback::PART_RETRY, 100},
        {DownloadFilePartFeedback::PART_NOT_COMPLETED, 100},
        {DownloadFilePartFeedback::PART_FAILED_FOR_GOOD, 1},
    };
    const Poco::Timestamp::TimeDiff delays[] = {150000, 300000, 600000, 1200000, 2400000, 2400000};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        abort = new AbortSignal;
        ProductFilesDownloader downloader(product, callback, abort, EngineSettings());
        DownloadingFileInfo::Ptr file = addDownloading(addRemote("data/plain.bin", 3 * MiB, "1/plain.bin"));
        DownloadFilePartInfo part;
        part.path = "data/plain.bin";
        part.partIndex = 1;
        for (int failure = 1; failure <= c.failuresBeforeGivingUp; ++failure) {
            ASSERT_FALSE(abort->isRaised()) << failure;
            const Poco::Timestamp before;
            downloader.handleFilePartDownloaded(DownloadFilePartFeedback(part, c.error, 503), file);
            const Poco::Timestamp after;
            if (failure == c.failuresBeforeGivingUp) break;
            ASSERT_EQ(static_cast<size_t>(failure), downloader.getPendingParts().size());
            const DownloadFilePartInfo& retry = *downloader.getPendingParts().back();
            EXPECT_EQ(1, retry.partIndex);
            const Poco::Timestamp::TimeDiff delay = delays[std::min(failure - 1, 5)];
            EXPECT_GE(retry.notBefore, before + delay);
            EXPECT_LE(retry.notBefore, after + delay);
        }
        EXPECT_TRUE(abort->isRaised());
        EXPECT_EQ(EInstallResult::ConnectionError, downloader.getInstallResult().value());
        EXPECT_EQ(c.failuresBeforeGivingUp, file->getDownloadErrorCount(1));
        EXPECT_EQ(static_cast<size_t>(c.failuresBeforeGivingUp - 1), downloader.getPendingParts().size());
        product->getFiles().getDownloadingFiles().clear();
    }
}

TEST_F(ProductFilesDownloaderStepsTest, AllocationNeedsMoreFreeSpaceThanEveryDownloadingFileTakes) {
    addRemote("data/a.bin", 1000, "1/a");
    addRemote("data/b.bin", 2000, "1/b");
    const struct {
        uint64_t free;
        bool allocated;
    } cases[] = {{3000, false}, {3001, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.free);
        Platform::SetFileSystemSpace(std::make_shared<FixedFreeSpace>(c.free));
        abort = new AbortSignal;
        product->getFiles().getDownloadingFiles().clear();
        ProductFilesDownloader downloader(product, callback, abort, EngineSettings());
        downloader.chooseFilesNeededForUpdate();
        EXPECT_EQ(c.allocated, downloader.allocateDiskSpace());
        EXPECT_EQ(!c.allocated, abort->isRaised());
        uint64_t size = 0;
        EXPECT_EQ(c.allocated, FileSystem::Default().getFileSize(product->getDownloadsPath() + "/data/b.bin", size));
        if (c.allocated) {
            EXPECT_EQ(2000u, size);
        } else {
            EXPECT_EQ(EInstallResult::OutOfDiskSpace, downloader.getInstallResult().value());
            EXPECT_TRUE(VantisTest::Logged(
                "There is not enought space for allocating files: required= 3000, free= 3000, aborting."));
        }
    }
}

TEST_F(ProductFilesDownloaderStepsTest, NothingOutsideTheDownloadsDirectoryIsTakenOverAllocatedOrDeleted) {
    sandbox.writeFile("outside/victim", "precious");
    sandbox.writeFile("outside/data/a.bin", "precious too");
    addRemote("data/a.bin", 12, "1/a");
    // A failed record as storage reads it back, naming a file elsewhere.
    product->getFiles().addDownloadingFileInfo(new DownloadingFileInfo(
        FileType::Game, "data/a.bin", DownloadingFileInfo::Failed, sandbox.path("outside/victim")));
    ProductFilesDownloader& steps = downloader();
    steps.scanDownloadedFiles();
    EXPECT_EQ("precious", sandbox.readFile("outside/victim"));
    EXPECT_TRUE(product->getFiles().getDownloadingFiles().empty());

    // A directory of the downloads replaced by a link.
    Poco::File(product->getDownloadsPath()).createDirectories();
    ASSERT_EQ(0, ::symlink(sandbox.path("outside/data").c_str(), (product->getDownloadsPath() + "/data").c_str()));
    steps.chooseFilesNeededForUpdate();
    EXPECT_FALSE(steps.allocateDiskSpace());
    EXPECT_EQ(EInstallResult::DiskAccessError, steps.getInstallResult().value(EInstallResult::Success));
    EXPECT_EQ("precious too", sandbox.readFile("outside/data/a.bin"));
    EXPECT_TRUE(VantisTest::Logged("is a symbolic link"));
}

TEST_F(ProductFilesDownloaderStepsTest, AnEmptyFileIsHashedWithoutARequestWhateverTheManifestSays) {
    addRemote("data/empty.dat", 0, "", {}, FileType::Game, "not the digest of nothing");
    ProductFilesDownloader& steps = downloader();
    steps.chooseFilesNeededForUpdate();
    ASSERT_TRUE(steps.allocateDiskSpace());
    ASSERT_TRUE(steps.downloadNeededFiles());
    const DownloadingFileInfo& file = *product->getFiles().getDownloadingFiles()["data/empty.dat"];
    EXPECT_EQ(DownloadingFileInfo::Verified, file.getState());
    EXPECT_EQ(VantisTest::Md5Hex(""), file.getFileInfo().getHash());
    EXPECT_TRUE(VantisTest::Logged("File data/empty.dat has size 0, nothing to download."));
    EXPECT_FALSE(VantisTest::Logged("Requesting file"));
}

}  // namespace
}  // namespace VantisClient
