#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <Poco/DigestEngine.h>
#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <Poco/MD5Engine.h>
#include <gtest/gtest.h>

#include "common/AbortSignal.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "install/InstalledFilesScanner.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteFileDefinition.h"
#include "support/FileProbes.h"
#include "support/Sandbox.h"
#include "support/WaitFor.h"

using namespace VantisClient;

namespace {

// The installed-file batches, as "state:hash:size" by relative path.
class BatchRecorder : public ProductFilesSynchronizerCallbackInterface {
public:
    bool serializeProductInfo() override { return true; }
    bool serializeProductInfoToIndex() override { return true; }
    bool serializeFileState(Poco::SharedPtr<InstalledFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>& files) override {
        batches.emplace_back();
        for (const auto& file : files) batches.back()[file->getFileInfo().getPath()] = describe(*file);
        return true;
    }
    bool serializeFileState(Poco::SharedPtr<DownloadingFileInfo>) override { return true; }
    bool serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>&) override { return true; }
    void postNotification_Progress() override {}
    void postNotification_StatusCode(EInstallStatusCode) override {}

    static std::string describe(const InstalledFileInfo& file) {
        return std::to_string(file.getState()) + ":" + file.getFileInfo().getHash() + ":" +
               std::to_string(file.getFileInfo().getSize());
    }

    std::vector<std::map<std::string, std::string>> batches;
};

std::string md5(const std::string& contents) {
    Poco::MD5Engine engine;
    engine.update(contents);
    return Poco::DigestEngine::digestToHex(engine.digest());
}


// Whether a descriptor of this process is open on `path`.
bool isOpenHere(const std::string& path) {
    for (Poco::DirectoryIterator it(std::string("/proc/self/fd")), end; it != end; ++it) {
        char target[4096];
        ssize_t length = ::readlink(it->path().c_str(), target, sizeof(target));
        if (length > 0 && std::string(target, static_cast<size_t>(length)) == path) return true;
    }
    return false;
}

class InstalledFilesScannerTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        product->setGameId("1207658924");
        product->setLocalPath(sandbox.path("Game"));
        product->setSupportPath(sandbox.path("Support"));
    }

    InstalledFileInfo::Ptr record(const std::string& path, InstalledFileInfo::InstalledFileState state,
                                  const std::string& hash, uint64_t size) {
        InstalledFileInfo::Ptr file = new InstalledFileInfo(FileType::Game, path, state, sandbox.path("Game/" + path));
        file->getFileInfo().setHash(hash);
        file->getFileInfo().setSize(size);
        product->getFiles().insertOrUpdateInstalledFileInfo(file);
        return file;
    }

    void manifestEntry(FileType type, const std::string& path) {
        product->getFiles().addRemoteFileInfo(
            new RemoteFileDefinition(FileInformation(type, path, md5(path), 1), RemoteFileLocation("u", 0),
                                     RemoteFileDefinition::DEFAULT_PART_SIZE));
    }

    std::string installed(const std::string& path) {
        const ProductFiles::InstalledFiles& files = product->getFiles().getInstalledFiles();
        auto found = files.find(path);
        return found == files.end() ? "absent" : BatchRecorder::describe(*found->second);
    }

    static bool logged(const std::string& text) {
        return RecentMemoryBufferChannel::Instance().getContents().find(text) != std::string::npos;
    }

    ProductInfo::Ptr product = new ProductInfo;
    BatchRecorder callback;
    AbortSignal::Ptr abortSignal = new AbortSignal;
};

}  // namespace

TEST_F(InstalledFilesScannerTest, BringsTheRecordsInLineWithTheDisk) {
    const std::string stale = md5("what the file held before");
    const std::string notTheFile = md5("recorded, and not what the file holds");
    sandbox.writeFile("Game/new.dat", "new");
    sandbox.writeFile("Support/new-support.dat", "support");
    sandbox.writeFile("Game/unchanged.dat", "unchanged");
    sandbox.writeFile("Game/changed.dat", "grown since");
    sandbox.writeFile("Game/unverified.dat", "unverified");
    sandbox.writeFile("Game/interrupted.dat", "interrupted");
    sandbox.writeFile("Game/hashed-without-hash.dat", "no hash");
    Poco::File(sandbox.path("Game/now-a-directory.dat")).createDirectories();
    VantisTest::MakeSocket(sandbox.path("Game/socket.dat"));
    // Opens, then fails its first read: nothing is mapped at address 0.
    ASSERT_EQ(0, ::symlink("/proc/self/mem", sandbox.path("Game/read-error.dat").c_str()));

    manifestEntry(FileType::Game, "new.dat");
    manifestEntry(FileType::Support, "new-support.dat");
    manifestEntry(FileType::Game, "not-on-disk.dat");
    manifestEntry(FileType::Game, "unchanged.dat");  // recorded: the record wins
    record("unchanged.dat", InstalledFileInfo::Hashed, notTheFile, 9);
    record("changed.dat", InstalledFileInfo::Hashed, stale, 4);
    record("unverified.dat", InstalledFileInfo::Unverified, "", 10);
    record("interrupted.dat", InstalledFileInfo::Hashing, stale, 11);
    record("hashed-without-hash.dat", InstalledFileInfo::Hashed, "", 7);
    record("deleted.dat", InstalledFileInfo::Hashed, stale, 3);
    record("now-a-directory.dat", InstalledFileInfo::Hashed, stale, 3);
    record("socket.dat", InstalledFileInfo::Unverified, "", 0);
    record("read-error.dat", InstalledFileInfo::Hashed, "", 0);
    product->getFiles().insertOrUpdateInstalledFileInfo(
        new InstalledFileInfo(FileType::Game, "no-path.dat", InstalledFileInfo::Hashed, ""));

    InstalledFilesScanner scanner(product, callback, abortSignal);
    scanner.scan();

    struct Row {
        const char* path;
        std::string expected;
        bool written;
    } rows[] = {
        {"new.dat", "1002:" + md5("new") + ":3", true},
        {"new-support.dat", "1002:" + md5("support") + ":7", true},
        {"not-on-disk.dat", "absent", false},
        {"unchanged.dat", "1002:" + notTheFile + ":9", false},  // not read again
        {"changed.dat", "1002:" + md5("grown since") + ":11", true},
        {"unverified.dat", "1002:" + md5("unverified") + ":10", true},
        {"interrupted.dat", "1002:" + md5("interrupted") + ":11", true},
        {"hashed-without-hash.dat", "1002:" + md5("no hash") + ":7", true},
        {"deleted.dat", "absent", false},
        {"now-a-directory.dat", "absent", false},
        {"no-path.dat", "absent", false},
        // Unreadable: left to be hashed again, never given the hash of nothing.
        {"socket.dat", "1001::0", false},
        {"read-error.dat", "1001::0", false},
    };
    ASSERT_EQ(1u, callback.batches.size());
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(row.expected, installed(row.path));
        EXPECT_EQ(row.written ? row.expected : "unwritten",
                  callback.batches[0].count(row.path) ? callback.batches[0][row.path] : "unwritten");
    }
    EXPECT_EQ(9u, product->getFiles().getInstalledFiles().size());
    EXPECT_TRUE(logged("Hashing product files starting for 1207658924"));
    EXPECT_TRUE(logged(", files left to hash: 0"));
    EXPECT_TRUE(logged("File deleted.dat missing or has invalid path stored: " + sandbox.path("Game/deleted.dat")));
    EXPECT_TRUE(logged("File no-path.dat missing or has invalid path stored: "));
}

TEST_F(InstalledFilesScannerTest, AFileWithoutReadPermissionFailsItsHashing) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root reads a file of mode 000; the socket and read-error rows above cover this as root";
    }
    sandbox.writeFile("Game/locked.dat", "locked");
    ASSERT_EQ(0, ::chmod(sandbox.path("Game/locked.dat").c_str(), 0));
    record("locked.dat", InstalledFileInfo::Unverified, "", 6);

    InstalledFilesScanner scanner(product, callback, abortSignal);
    scanner.scan();
    EXPECT_EQ("1001::6", installed("locked.dat"));
    EXPECT_TRUE(callback.batches.empty());
}

TEST_F(InstalledFilesScannerTest, AbortStopsTheRunningHashesAndWritesNothing) {
    // Sparse: no disk space, yet far more than the test's time to digest.
    const uint64_t hugeSize = 64ull << 30;
    for (const std::string name : {"huge-1.dat", "huge-2.dat", "huge-3.dat"}) {
        sandbox.writeFile("Game/" + name, "");
        ASSERT_EQ(0, ::truncate(sandbox.path("Game/" + name).c_str(), static_cast<off_t>(hugeSize)));
        // A changed size queues the record for writing; the abort must drop that batch.
        record(name, InstalledFileInfo::Unverified, "", name == "huge-3.dat" ? 1 : hugeSize);
    }
    InstalledFilesScanner scanner(product, callback, abortSignal);
    std::atomic<bool> scanned{false};
    std::thread install([&] {
        scanner.scan();
        scanned = true;
    });
    auto opened = [&] {
        int count = 0;
        for (const std::string name : {"huge-1.dat", "huge-2.dat", "huge-3.dat"}) {
            count += isOpenHere(sandbox.path("Game/" + name)) ? 1 : 0;
        }
        return count;
    };
    EXPECT_TRUE(VantisTest::WaitFor([&] { return opened() == 2; }));  // two at a time

    scanner.abort();
    EXPECT_EQ(0, opened());  // the running hashes have returned
    EXPECT_TRUE(VantisTest::WaitFor([&] { return scanned.load(); }, 5000));
    install.join();
    for (const std::string name : {"huge-1.dat", "huge-2.dat", "huge-3.dat"}) {
        EXPECT_EQ("1001::" + std::to_string(hugeSize), installed(name)) << name;
    }
    EXPECT_TRUE(callback.batches.empty());
}
