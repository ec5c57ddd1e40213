// A file's MD5 grows as its parts are written; parts that reach the file out
// of order, earlier runs' parts and failed writes are read back when their
// turn comes, so every order gives the file's own MD5.
#include <fcntl.h>
#include <unistd.h>

#include <random>
#include <string>
#include <vector>

#include <Poco/DigestEngine.h>
#include <Poco/MD5Engine.h>
#include <gtest/gtest.h>

#include "install/WrittenFileHasher.h"
#include "model/RemoteFileDefinition.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

const uint32_t PART = RemoteFileDefinition::DEFAULT_PART_SIZE;

std::string md5Of(const std::string& bytes) {
    Poco::MD5Engine md5;
    md5.update(bytes.data(), bytes.size());
    return Poco::DigestEngine::digestToHex(md5.digest());
}

class WrittenFileHasherTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override {
        std::mt19937 random(11);
        contents.resize(3 * PART + PART / 2);
        for (char& c : contents) c = static_cast<char>(random());
        RemoteFileDefinition::Ptr remote = new RemoteFileDefinition(
            FileInformation(FileType::Game, "data/file.bin", md5Of(contents), contents.size()),
            RemoteFileLocation("/product/file.bin", 0), 0);
        file = new DownloadingFileInfo(remote, sandbox.path("Downloads"), DownloadingFileInfo::Downloading);
        sandbox.writeFile("Downloads/data/file.bin", std::string(contents.size(), '\0'));
    }

    std::string bytesOf(uint16_t index) const { return contents.substr(index * PART, PART); }

    void putInFile(uint16_t index) {
        const std::string bytes = bytesOf(index);
        const int fd = ::open(file->getFullPath().c_str(), O_WRONLY);
        ASSERT_EQ(static_cast<ssize_t>(bytes.size()), ::pwrite(fd, bytes.data(), bytes.size(), index * PART));
        ::close(fd);
    }

    // As the downloader writes a part; true when the part fed the digest from memory.
    bool write(uint16_t index) {
        Md5Digest* digest = hasher.digestFor(*file, index);
        putInFile(index);
        if (digest != nullptr) digest->update(bytesOf(index).data(), bytesOf(index).size());
        file->getParts().markPart(index);
        hasher.partWritten(*file, index);
        return digest != nullptr;
    }

    std::string contents;
    DownloadingFileInfo::Ptr file;
    WrittenFileHasher hasher;
};

}  // namespace

TEST_F(WrittenFileHasherTest, EveryOrderOfWritingGivesTheFilesMd5) {
    const struct {
        const char* name;
        std::vector<uint16_t> earlierRun;  // in the file before this run wrote anything
        std::vector<uint16_t> order;
        std::vector<bool> fromMemory;
    } cases[] = {
        {"in order", {}, {0, 1, 2, 3}, {true, true, true, true}},
        {"one part overtakes another", {}, {1, 0, 2, 3}, {false, true, true, true}},
        {"reversed", {}, {3, 2, 1, 0}, {false, false, false, true}},
        {"resumed", {0, 1}, {2, 3}, {true, true}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        for (uint16_t index : c.earlierRun) {
            putInFile(index);
            file->getParts().markPart(index);
        }
        std::vector<bool> fromMemory;
        for (uint16_t index : c.order) fromMemory.push_back(write(index));
        EXPECT_EQ(c.fromMemory, fromMemory);
        const Poco::Optional<std::string> hash = hasher.finish(*file);
        ASSERT_TRUE(hash.isSpecified());
        EXPECT_EQ(md5Of(contents), hash.value());
    }
}

TEST_F(WrittenFileHasherTest, AFailedWriteStartsTheFileAgainAndAFileNeverBegunHasNoHash) {
    EXPECT_FALSE(hasher.finish(*file).isSpecified());

    Md5Digest* digest = hasher.digestFor(*file, 0);
    ASSERT_NE(nullptr, digest);
    // The digest was fed damaged bytes before the part failed.
    digest->update("damaged", 7);
    // A part that did not feed the digest leaves it alone; the one that did starts the file again.
    hasher.partFailed(*file, 2);
    hasher.partFailed(*file, 0);
    for (uint16_t index = 0; index < 4; ++index) write(index);
    const Poco::Optional<std::string> hash = hasher.finish(*file);
    ASSERT_TRUE(hash.isSpecified());
    EXPECT_EQ(md5Of(contents), hash.value());
}
