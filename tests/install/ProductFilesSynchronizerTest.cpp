#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <Poco/File.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "DownloadFixture.h"
#include "FaultyFileSystem.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/json/Serializer.h"
#include "model/ProductInfo.h"
#include "install/ProductFilesSynchronizer.h"
#include "net/HttpManager.h"
#include "support/WaitFor.h"

namespace VantisClient {
namespace {

using VantisTest::Md5Hex;
using VantisTest::ReadFileBytes;

class ProductFilesSynchronizerTest : public VantisTest::DownloadTest {
protected:
    // One whole run as the install task makes it: the first failing phase's
    // result, or Success.
    EInstallResult synchronize(FileSystem& fileSystem = FileSystem::Default()) {
        ProductFilesSynchronizer synchronizer(product, callback, abort, settings, fileSystem);
        synchronizer.integrateProductWithRemoteDefinition(*definition);
        synchronizer.scanInstalledFiles();
        ProductFilesSynchronizer::Result result = synchronizer.download();
        if (!result.isSpecified()) result = synchronizer.performUpdate();
        return result.value(EInstallResult::Success);
    }

    // Every file of the selection lies where it belongs with the manifest's digest.
    void expectInstalledAsTheManifestSays() {
        for (const RemoteFileDefinition::Ptr& file : definition->getRemoteFiles()) {
            const std::string path = product->getPathForInstallation(*file);
            SCOPED_TRACE(path);
            ASSERT_TRUE(Poco::File(path).exists());
            if (file->getSize() > 0) {
                EXPECT_EQ(file->getHash(), Md5Hex(ReadFileBytes(path)));
            }
        }
    }

    std::string installed(const std::string& relative) const {
        return product->getLocalPath() + "/" + relative;
    }

    // Files share objects: the content requests whose range starts inside `path`'s bytes.
    size_t requestsWithin(const std::string& path) {
        const RemoteFileDefinition::Ptr file = remote(path);
        uint64_t stored = 0;
        for (uint32_t part : file->getParts()) stored += part;
        if (file->getParts().empty()) stored = file->getSize();
        const uint64_t first = file->getLocation().offset;
        size_t count = 0;
        for (const VantisTest::Served& request : contentRequests(path)) {
            const uint64_t start = std::stoull(request.range.substr(request.range.find('=') + 1));
            count += start >= first && start < first + stored;
        }
        return count;
    }

    // A first install again: nothing on disk, no records.
    void startOver() {
        for (const std::string& path : {downloadsPath(), product->getLocalPath(), product->getSupportPath()}) {
            Poco::File directory(path);
            if (directory.exists()) directory.remove(true);
        }
        ProductInfo::Ptr fresh = new ProductInfo;
        fresh->setGameId(product->getGameId());
        fresh->setTargetIdentification(product->getTargetIdentification());
        fresh->setDownloadsPath(product->getDownloadsPath());
        fresh->setLocalPath(product->getLocalPath());
        fresh->setSupportPath(product->getSupportPath());
        product = fresh;
        abort = new AbortSignal;
        callback = VantisTest::RecordingCallback();
        RecentMemoryBufferChannel::Instance().Clear();
    }

    size_t contentRequestCount() {
        size_t count = 0;
        for (const VantisTest::Served& request : served()) count += request.path.rfind("/content/", 0) == 0;
        return count;
    }
};

TEST_F(ProductFilesSynchronizerTest, InstallsTheGameAndASecondRunFetchesNothing) {
    ASSERT_EQ(EInstallResult::Success, synchronize());
    expectInstalledAsTheManifestSays();
    EXPECT_EQ("#!/bin/sh\necho runtime\n", ReadFileBytes(installed("__redist/runtime/install.sh")));
    EXPECT_EQ(ReadFileBytes(sandbox.path("input/base/support/setup.sh")),
              ReadFileBytes(product->getSupportPath() + "/1207658924/setup.sh"));

    struct stat status {};
    ASSERT_EQ(0, ::stat(installed("bin/game").c_str(), &status));
    EXPECT_EQ(0111, status.st_mode & 0111);
    EXPECT_EQ(0, status.st_mode & 0002) << "a game file must not be writable by everybody";
    char target[64] = {};
    ASSERT_GT(::readlink(installed("lib/libgame.so").c_str(), target, sizeof(target) - 1), 0);
    EXPECT_EQ(std::string("libgame.so.1"), target);
    EXPECT_TRUE(Poco::File(installed("saves")).isDirectory());
    EXPECT_FALSE(Poco::File(downloadsPath()).exists());
    EXPECT_GT(contentRequestCount(), 0u);

    ASSERT_EQ(200, control("DELETE", "served").status);
    ASSERT_EQ(EInstallResult::Success, synchronize());
    EXPECT_EQ(0u, contentRequestCount());
    expectInstalledAsTheManifestSays();
}

TEST_F(ProductFilesSynchronizerTest, DamagedBytesAreFetchedAgainForPlainAndZipParts) {
    const std::vector<std::string> damaged = {"data/level.txt", "data/noise.bin"};
    ASSERT_TRUE(remote(damaged[0])->isZip());
    ASSERT_FALSE(remote(damaged[1])->isZip());
    for (const std::string& path : damaged) {
        const std::string& url = remote(path)->getLocation().url;
        addFault(R"({"listener": "api", "action": "corrupt", "bytes": 64, "first": 1, "path": "^/content/.*)" +
                 url.substr(url.rfind('/') + 1) + "\"}");
    }
    ASSERT_EQ(EInstallResult::Success, synchronize());
    expectInstalledAsTheManifestSays();
    for (const std::string& path : damaged) {
        SCOPED_TRACE(path);
        EXPECT_GT(requestsWithin(path), remote(path)->getNeededPartsCount());
    }
}

TEST_F(ProductFilesSynchronizerTest, TheBackendStoppingFailsTheRunAndTheNextOneKeepsWhatWasVerified) {
    std::vector<std::string> verified;
    std::unique_ptr<std::thread> stopper;
    callback.onProgress = [&] {
        if (stopper) return;
        for (const auto& entry : product->getFiles().getDownloadingFiles()) {
            if (entry.second->getState() == DownloadingFileInfo::Verified) verified.push_back(entry.first);
        }
        if (!verified.empty()) stopper.reset(new std::thread([this] { server->stop(); }));
    };
    EXPECT_EQ(EInstallResult::ConnectionError, synchronize());
    ASSERT_TRUE(stopper);
    stopper->join();
    callback.onProgress = nullptr;

    // A backend started anew knows none of the tokens it gave out before.
    startBackend();
    HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
    HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
    HttpManager::Instance()->signInWithPassword("player", "secret");
    ASSERT_TRUE(VantisTest::WaitFor(
        [] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
    abort = new AbortSignal;
    ASSERT_EQ(EInstallResult::Success, synchronize());
    expectInstalledAsTheManifestSays();
    for (const std::string& path : verified) {
        SCOPED_TRACE(path);
        EXPECT_EQ(0u, requestsWithin(path));
    }
}

TEST_F(ProductFilesSynchronizerTest, AnAbortEndsTheRunWithAbortedAndWritesTheFilesInProgress) {
    ProductFilesSynchronizer synchronizer(product, callback, abort, settings);
    synchronizer.integrateProductWithRemoteDefinition(*definition);
    synchronizer.scanInstalledFiles();
    std::unique_ptr<std::thread> aborter;
    size_t batchesBeforeAbort = 0;
    callback.onProgress = [&] {
        if (aborter) return;
        batchesBeforeAbort = callback.batches.size();
        aborter.reset(new std::thread([&] { synchronizer.abort(); }));
    };
    EXPECT_EQ(EInstallResult::Aborted, synchronizer.download().value(EInstallResult::Success));
    ASSERT_TRUE(aborter);
    aborter->join();
    EXPECT_GT(callback.batches.size(), batchesBeforeAbort);

    // A pipeline already aborted returns at once and posts nothing.
    const size_t posted = callback.statusCodes.size();
    EXPECT_EQ(EInstallResult::Aborted, synchronizer.download().value(EInstallResult::Success));
    EXPECT_EQ(posted, callback.statusCodes.size());
}

TEST_F(ProductFilesSynchronizerTest, AnAbortWhileTheEarlierDownloadsAreTakenOverEndsAborted) {
    // What an earlier run left, as storage reads it back: no definition yet.
    for (const char* path : {"data/noise.bin", "data/level.txt"}) {
        DownloadingFileInfo::Ptr file = new DownloadingFileInfo(FileType::Game, path, DownloadingFileInfo::Downloading,
                                                                downloadsPath() + "/" + path);
        file->getFileInfo().setSize(remote(path)->getSize());
        product->getFiles().addDownloadingFileInfo(file);
        VantisTest::WriteFileBytes(file->getFullPath(), std::string(remote(path)->getSize(), '\0'));
    }
    ProductFilesSynchronizer synchronizer(product, callback, abort, settings);
    synchronizer.integrateProductWithRemoteDefinition(*definition);
    callback.onStatus = [&](EInstallStatusCode status) {
        if (status == EInstallStatusCode::ScanningDownloads) abort->raise();
    };
    EXPECT_EQ(EInstallResult::Aborted, synchronizer.download().value(EInstallResult::Success));
    EXPECT_EQ(2u, product->getFiles().getDownloadingFiles().size());
}

// Each way the disk can fail, at each step of the pipeline: the run ends with
// the step's result, keeps what was installed and verified, and the next run
// on a sound disk completes.
TEST_F(ProductFilesSynchronizerTest, AFailingDiskEndsTheRunAndTheNextRunCompletes) {
    using Fault = VantisTest::FaultyFileSystem::Fault;
    using Operation = VantisTest::FaultyFileSystem::Operation;
    using Failure = VantisTest::FaultyFileSystem::Failure;
    struct Case {
        const char* name;
        Fault fault;
        EInstallResult result;
        const char* message;
    } cases[] = {
        {"posix_fallocate fails", {Operation::CreateNewFile, "", 2, Failure::Errno, ENOSPC},
         EInstallResult::OutOfDiskSpace, "Failed to allocated disk space for file"},
        {"a part write finds the disk full", {Operation::WriteToFile, "", 2, Failure::Errno, ENOSPC},
         EInstallResult::DiskAccessError, "Writing to file"},
        {"a part write is cut short", {Operation::WriteToFile, "", 1, Failure::ShortWrite, ENOSPC},
         EInstallResult::DiskAccessError, "Writing to file"},
        {"an unpacked part meets an I/O error", {Operation::WriteToFile, "level.txt", 1, Failure::Errno, EIO},
         EInstallResult::DiskAccessError, "Extracting or writing to file"},
        {"a rename into place fails", {Operation::MoveFile, "", 2, Failure::Errno, EIO},
         EInstallResult::DiskAccessError, "Keeping the downloads directory"},
        {"a directory cannot be made", {Operation::CreateDir, "saves", 1, Failure::Errno, EACCES},
         EInstallResult::DiskAccessError, "Failed to create directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        startOver();
        VantisTest::FaultyFileSystem disk;
        disk.inject(c.fault);
        EXPECT_EQ(c.result, synchronize(disk));
        EXPECT_GT(disk.failures(), 0);
        EXPECT_TRUE(VantisTest::Logged(c.message));
        // Kept: every verified download and every installed file holds its manifest's bytes.
        std::vector<std::pair<std::string, std::string>> kept;
        for (const auto& entry : product->getFiles().getDownloadingFiles()) {
            if (entry.second->getState() == DownloadingFileInfo::Verified) {
                kept.emplace_back(entry.first, entry.second->getFullPath());
            }
        }
        for (const auto& entry : product->getFiles().getInstalledFiles()) {
            kept.emplace_back(entry.first, entry.second->getFullPath());
        }
        for (const auto& file : kept) {
            if (remote(file.first)->getSize() == 0) continue;
            EXPECT_EQ(remote(file.first)->getHash(), Md5Hex(ReadFileBytes(file.second))) << file.first;
        }
        abort = new AbortSignal;
        EXPECT_EQ(EInstallResult::Success, synchronize());
        expectInstalledAsTheManifestSays();
    }
}

TEST(ProductFilesSynchronizerIntegrationTest, DirectoriesKeepTheirStateAndRedistributablesAreAddedOnce) {
    struct NoCallback : VantisTest::RecordingCallback {} callback;
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId("1");
    product->setLocalPath("/games/one");
    product->getDirectories().emplace_back(new RemoteDirDefinition(false, "saves"), DirInfo::Created);
    product->getDirectories().emplace_back(new RemoteDirDefinition(false, "old"), DirInfo::Created);
    product->getRedistributables().emplace_back("setup.sh", "--quiet", false);

    RemoteProductDefinition remote;
    ASSERT_TRUE(Serializer::DeserializeFromBuffer(remote, R"({"product": {
        "installDirectory": "One", "rootGameID": "1", "timestamp": 1, "depots": [
            {"redist": "r1", "executable": "setup.sh", "argument": "--quiet"},
            {"redist": "r2", "executable": "setup.sh", "argument": "--full"}]}})",
                                                  Serializer::JSON));
    remote.getRemoteDirectories().push_back(new RemoteDirDefinition(false, "saves"));
    remote.getRemoteDirectories().push_back(new RemoteDirDefinition(false, "mods"));
    Poco::SharedPtr<ProductFilesSynchronizer> synchronizer =
        new ProductFilesSynchronizer(product, callback, new AbortSignal, EngineSettings());
    synchronizer->integrateProductWithRemoteDefinition(remote);

    std::vector<DirInfo>& directories = product->getDirectories();
    ASSERT_EQ(3u, directories.size());
    EXPECT_EQ(DirInfo::Created, directories[0].state);
    EXPECT_FALSE(directories[0].deleteFlag);
    EXPECT_TRUE(directories[1].deleteFlag);
    EXPECT_EQ(DirInfo::Pending, directories[2].state);
    EXPECT_EQ("/games/one/mods", directories[2].fullPath);

    ASSERT_EQ(2u, product->getRedistributables().size());
    EXPECT_EQ("--full", product->getRedistributables()[1].argument);
    EXPECT_FALSE(product->getRedistributables()[1].executed);

    RemoteProductDefinition empty;
    synchronizer->integrateProductWithRemoteDefinition(empty);
    for (const DirInfo& directory : directories) EXPECT_TRUE(directory.deleteFlag);
}

}  // namespace
}  // namespace VantisClient
