#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <Poco/DateTime.h>
#include <Poco/File.h>
#include <Poco/MemoryStream.h>
#include <Poco/Path.h>
#include <Poco/Zip/Compress.h>
#include <gtest/gtest.h>

#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/Utilities.h"
#include "install/FilePartLayout.h"
#include "install/PosixFileSystem.h"
#include "install/ZipPartUnpacker.h"
#include "support/Sandbox.h"

using namespace VantisClient;

namespace {

constexpr FileSystem::UnpackResult Written = FileSystem::UnpackResult::Written;
constexpr FileSystem::UnpackResult DamagedData = FileSystem::UnpackResult::DamagedData;
constexpr FileSystem::UnpackResult WriteFailed = FileSystem::UnpackResult::WriteFailed;


// A zip stream with one entry per name, each holding `contents`.
std::string zipOf(const std::vector<std::string>& names, const std::string& contents) {
    std::ostringstream zip;
    Poco::Zip::Compress compressor(zip, true);
    for (const std::string& name : names) {
        Poco::MemoryInputStream input(contents.data(), contents.size());
        compressor.addFile(input, Poco::DateTime(1980, 1, 1), Poco::Path(name), Poco::Zip::ZipCommon::CM_DEFLATE,
                           Poco::Zip::ZipCommon::CL_NORMAL);
    }
    compressor.close();
    return zip.str();
}

// The writer will not name an entry with "..", so the name is patched in place;
// headers and checksums stay valid because the length does not change.
std::string withEntryName(std::string zip, const std::string& from, const std::string& to) {
    for (size_t at = zip.find(from); at != std::string::npos; at = zip.find(from, at + 1)) {
        zip.replace(at, to.size(), to);
    }
    return zip;
}

void writeFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

bool isLink(const std::string& path) {
    struct stat status {};
    return ::lstat(path.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

class FileSystemTest : public VantisTest::SandboxTest {
protected:
    void SetUp() override { Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log")); }
    std::string recent() { return RecentMemoryBufferChannel::Instance().getContents(); }
    PosixFileSystem files;
    FileSystem::UnpackResult unpack(const std::string& zip, const std::string& relative, uint64_t offset,
                                    uint32_t expected) {
        return ZipPartUnpacker::Unpack(files, zip, sandbox.path(relative), offset, expected, nullptr);
    }
};

}  // namespace

TEST_F(FileSystemTest, CreateNewFileReusesOnlyAFileOfTheRightSizeAndReservesTheRest) {
    struct Case {
        const char* name;
        void (*prepare)(const VantisTest::Sandbox&);
        uint64_t size;
        std::string expected;
    } cases[] = {
        {"same size is kept", [](const VantisTest::Sandbox& s) { s.writeFile("f", "abcd"); }, 4, "abcd"},
        {"other size is zero-filled", [](const VantisTest::Sandbox& s) { s.writeFile("f", "abcd"); }, 6,
         std::string(6, '\0')},
        {"size 0 is empty", [](const VantisTest::Sandbox&) {}, 0, ""},
        {"missing directories are made", [](const VantisTest::Sandbox&) {}, 3, std::string(3, '\0')},
        {"a directory in the way goes", [](const VantisTest::Sandbox& s) { s.writeFile("f/inner", "x"); }, 2,
         std::string(2, '\0')},
        {"a dangling link is replaced by a file",
         [](const VantisTest::Sandbox& s) { ASSERT_EQ(0, ::symlink("nowhere", s.path("f").c_str())); }, 2,
         std::string(2, '\0')},
        {"a link to a file of that size is not written through",
         [](const VantisTest::Sandbox& s) {
             s.writeFile("outside", "ab");
             ASSERT_EQ(0, ::symlink(s.path("outside").c_str(), s.path("f").c_str()));
         },
         2, std::string(2, '\0')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VantisTest::Sandbox local;
        c.prepare(local);
        std::string path = local.path(std::string(c.name) == "missing directories are made" ? "a/b/f" : "f");
        ASSERT_TRUE(files.createNewFile(path, c.size));
        EXPECT_FALSE(isLink(path));
        EXPECT_EQ(c.expected, VantisTest::ReadWholeFile(path));
        if (Poco::File(local.path("outside")).exists()) {
            EXPECT_EQ("ab", local.readFile("outside"));
        }
    }
}

TEST_F(FileSystemTest, PartWritesNeverTruncateAndExtendWithZeros) {
    sandbox.writeFile("f", "0123456789");
    ASSERT_TRUE(files.writeToFile(sandbox.path("f"), 2, "ab", 2));
    EXPECT_EQ("01ab456789", sandbox.readFile("f"));
    ASSERT_TRUE(files.writeToFile(sandbox.path("f"), 12, "z", 1));
    EXPECT_EQ(std::string("01ab456789\0\0z", 13), sandbox.readFile("f"));

    std::string zip = zipOf({"data"}, "XY");
    ASSERT_EQ(Written, unpack(zip, "f", 0, 2));
    EXPECT_EQ(std::string("XYab456789\0\0z", 13), sandbox.readFile("f"));
    ASSERT_EQ(Written, unpack(zip, "new", 4, 2));
    EXPECT_EQ(std::string("\0\0\0\0XY", 6), sandbox.readFile("new"));

    // Parts larger than the write buffer land whole at their offset, the bytes around them kept.
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>('a' + i % 23);
    sandbox.writeFile("big", std::string(big.size() + 8, '#'));
    ASSERT_TRUE(files.writeToFile(sandbox.path("big"), 4, big.data(), static_cast<uint32_t>(big.size())));
    ASSERT_EQ(Written, unpack(zipOf({"data"}, big), "big-unpacked", 4, static_cast<uint32_t>(big.size())));
    EXPECT_EQ("####" + big + "####", sandbox.readFile("big"));
    EXPECT_EQ(std::string(4, '\0') + big, sandbox.readFile("big-unpacked"));
}

TEST_F(FileSystemTest, UnpackingWritesEveryEntryInOrderUpToTheExpectedSize) {
    // Two entries end exactly at the limit: that is a whole part.
    ASSERT_EQ(Written, unpack(zipOf({"a", "b"}, "1234"), "two", 0, 8));
    EXPECT_EQ("12341234", sandbox.readFile("two"));

    // A part that inflates far beyond its size stops at it and fails.
    std::string bomb = zipOf({"data"}, std::string(4 * 1024 * 1024, '\0'));
    ASSERT_LT(bomb.size(), 16u * 1024);
    sandbox.writeFile("bomb", "");
    EXPECT_EQ(DamagedData, unpack(bomb, "bomb", 10, 1024 * 1024));
    EXPECT_EQ(10u + 1024 * 1024, Poco::File(sandbox.path("bomb")).getSize());
    EXPECT_NE(std::string::npos, recent().find("Could not uncompress buffer to file file '" + sandbox.path("bomb") +
                                               "'. The part inflates to more than 1048576 bytes."));
    // Across entries too.
    EXPECT_EQ(DamagedData, unpack(zipOf({"a", "b"}, "1234"), "over", 0, 7));
    EXPECT_EQ("1234123", sandbox.readFile("over"));
}

TEST_F(FileSystemTest, EntryNamesWithParentMarkersAreRefused) {
    for (const char* name : {"../evl", "a/../e", "evl..."}) {
        SCOPED_TRACE(name);
        std::string zip = withEntryName(zipOf({"xxxxxx", "good"}, "DATA"), "xxxxxx", name);
        sandbox.writeFile("f", "");
        // The refused entry writes nothing, and the part is damaged: it is fetched again.
        EXPECT_EQ(DamagedData, unpack(zip, "f", 0, 8));
        EXPECT_EQ("DATA", sandbox.readFile("f"));
    }
}

// A zip part carries its own CRC and sizes: a part that fails them is damaged
// data (fetched again at once), never a disk failure and never taken as sound.
TEST_F(FileSystemTest, AZipPartIsCheckedAgainstItsOwnCrcAndSize) {
    std::string content;
    for (int line = 0; content.size() < 20000; ++line) content += "line " + std::to_string(line * 7919 % 1000) + "\n";
    const std::string sound = zipOf({"data"}, content);
    const size_t dataStart = 30 + 4;  // the local header and the entry's name
    const size_t crcField = 14;
    auto flipped = [&sound](size_t at) {
        std::string zip = sound;
        zip[at] = static_cast<char>(zip[at] ^ 0x55);
        return zip;
    };
    const struct {
        const char* name;
        std::string zip;
        uint32_t expected;
    } cases[] = {
        {"not a zip stream", "this is not a zip stream", 100},
        {"a byte flipped early in the compressed data", flipped(dataStart + 10), 0},
        {"a byte flipped late in the compressed data", flipped(sound.size() / 2), 0},
        {"a wrong CRC in the header", flipped(crcField), 0},
        {"cut short", sound.substr(0, sound.size() / 2), 0},
        {"a damaged header", [&sound] {
             std::string zip = sound;
             for (size_t i = 4; i < 12; ++i) zip[i] = '\xff';
             return zip;
         }(),
         0},
        {"inflates to less than the part's size", sound, static_cast<uint32_t>(content.size() + 1)},
    };
    ASSERT_EQ(Written, unpack(sound, "sound", 0, static_cast<uint32_t>(content.size())));
    ASSERT_EQ(content, sandbox.readFile("sound"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sandbox.writeFile("damaged", "");
        const uint32_t expected = c.expected != 0 ? c.expected : static_cast<uint32_t>(content.size());
        EXPECT_EQ(DamagedData, unpack(c.zip, "damaged", 0, expected));
    }
}

TEST_F(FileSystemTest, WritesOnAFullFileSystemFail) {
    if (::geteuid() != 0) GTEST_SKIP() << "mounting a small tmpfs needs root";
    const std::string small = sandbox.path("small");
    Poco::File(small).createDirectories();
    if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "could not mount a small tmpfs: " << std::strerror(errno);
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{small};

    EXPECT_FALSE(files.createNewFile(small + "/reserved", 4 * 1024 * 1024));
    EXPECT_FALSE(Poco::File(small + "/reserved").exists());
    EXPECT_NE(std::string::npos, recent().find("Cannot resize file " + small + "/reserved."));

    const std::string data(2 * 1024 * 1024, 'w');
    EXPECT_FALSE(files.writeToFile(small + "/written", 0, data.data(), static_cast<uint32_t>(data.size())));
    EXPECT_NE(std::string::npos,
              recent().find("Could not write to file '" + small + "/written'. The data did not reach the file."));
    ASSERT_TRUE(files.deleteFile(small + "/written"));

    EXPECT_EQ(WriteFailed, ZipPartUnpacker::Unpack(files, zipOf({"data"}, data), small + "/unpacked", 0,
                                                   static_cast<uint32_t>(data.size()), nullptr));
    ASSERT_TRUE(files.deleteFile(small + "/unpacked"));

    EXPECT_TRUE(files.createNewFile(small + "/fits", 64 * 1024));
}

TEST_F(FileSystemTest, MoveReplacesTheTargetOrLeavesItAlone) {
    sandbox.writeFile("new", "new");
    sandbox.writeFile("dir/old", "old");
    ASSERT_TRUE(files.moveFile(sandbox.path("new"), sandbox.path("dir/old")));
    EXPECT_EQ("new", sandbox.readFile("dir/old"));
    EXPECT_FALSE(Poco::File(sandbox.path("new")).exists());

    sandbox.writeFile("new", "file");
    sandbox.writeFile("target/inside", "x");
    ASSERT_TRUE(files.moveFile(sandbox.path("new"), sandbox.path("target")));
    EXPECT_EQ("file", sandbox.readFile("target"));

    ASSERT_TRUE(files.moveFile(sandbox.path("target"), sandbox.path("deeper/still/target")));
    EXPECT_EQ("file", sandbox.readFile("deeper/still/target"));

    ASSERT_EQ(0, ::symlink("nowhere", sandbox.path("link").c_str()));
    sandbox.writeFile("new", "over a link");
    ASSERT_TRUE(files.moveFile(sandbox.path("new"), sandbox.path("link")));
    EXPECT_FALSE(isLink(sandbox.path("link")));
    EXPECT_EQ("over a link", sandbox.readFile("link"));

    // A failed move leaves the old file, and a directory, where they were.
    EXPECT_FALSE(files.moveFile(sandbox.path("missing"), sandbox.path("dir/old")));
    EXPECT_EQ("new", sandbox.readFile("dir/old"));
    EXPECT_NE(std::string::npos, recent().find("Could not move file '" + sandbox.path("missing") + "' to '" +
                                               sandbox.path("dir/old") + "'"));
    sandbox.writeFile("kept/inside", "x");
    EXPECT_FALSE(files.moveFile(sandbox.path("missing"), sandbox.path("kept")));
    EXPECT_EQ("x", sandbox.readFile("kept/inside"));
}

TEST_F(FileSystemTest, MoveAcrossFileSystemsCopiesThenReplaces) {
    struct stat here {}, there {};
    std::string elsewhere = "/dev/shm/vantis-move-" + std::to_string(::getpid());
    if (::stat(sandbox.root().c_str(), &here) != 0 || ::stat("/dev/shm", &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system next to the sandbox";
    }
    writeFile(elsewhere, std::string(700 * 1024, 'm'));
    ASSERT_EQ(0, ::chmod(elsewhere.c_str(), 0750));
    sandbox.writeFile("target", "old");
    ASSERT_TRUE(files.moveFile(elsewhere, sandbox.path("target")));
    EXPECT_EQ(std::string(700 * 1024, 'm'), sandbox.readFile("target"));
    EXPECT_FALSE(Poco::File(elsewhere).exists());
    EXPECT_FALSE(Poco::File(sandbox.path("target.vantis-moving")).exists());
    struct stat moved {};
    ASSERT_EQ(0, ::stat(sandbox.path("target").c_str(), &moved));
    EXPECT_EQ(0750u, moved.st_mode & 07777);
}

TEST_F(FileSystemTest, DeletionAndDirectories) {
    sandbox.writeFile("full/file", "x");
    Poco::File(sandbox.path("empty")).createDirectories();
    EXPECT_TRUE(files.deleteDir(sandbox.path("full"), true));
    EXPECT_EQ("x", sandbox.readFile("full/file"));
    EXPECT_TRUE(files.deleteDir(sandbox.path("empty"), true));
    EXPECT_FALSE(Poco::File(sandbox.path("empty")).exists());
    EXPECT_TRUE(files.deleteDir(sandbox.path("full"), false));
    EXPECT_FALSE(Poco::File(sandbox.path("full")).exists());
    EXPECT_FALSE(files.deleteDir(sandbox.path("missing"), true));
    EXPECT_NE(std::string::npos, recent().find("Could not delete directory'" + sandbox.path("missing") + "'. "));

    EXPECT_FALSE(files.deleteFile(sandbox.path("missing")));
    EXPECT_NE(std::string::npos, recent().find("Could not delete file '" + sandbox.path("missing") + "'. "));

    EXPECT_TRUE(files.createDir(sandbox.path("a/b/c")));
    EXPECT_TRUE(files.createDir(sandbox.path("a/b/c")));
    sandbox.writeFile("plain", "x");
    EXPECT_FALSE(files.createDir(sandbox.path("plain")));
    EXPECT_NE(std::string::npos, recent().find("Could not create directory'" + sandbox.path("plain") + "'. "));

    uint64_t size = 99;
    EXPECT_TRUE(files.getFileSize(sandbox.path("plain"), size));
    EXPECT_EQ(1u, size);
    EXPECT_FALSE(files.getFileSize(sandbox.path("a"), size));
    EXPECT_FALSE(files.getFileSize(sandbox.path("missing"), size));
}

TEST_F(FileSystemTest, EmptyAndRelativePathsAreRefused) {
    // Run where a refusal matters: the working directory holds a file.
    sandbox.writeFile("cwd/precious", "keep");
    std::string previous = Poco::Path::current();
    ASSERT_EQ(0, ::chdir(sandbox.path("cwd").c_str()));
    const std::string zip = zipOf({"data"}, "x");
    uint64_t size = 0;
    for (const std::string path : {"", "precious", "./", "."}) {
        SCOPED_TRACE("'" + path + "'");
        EXPECT_FALSE(Utilities::DeleteFileOrDirectory(path));
        EXPECT_FALSE(files.deleteDir(path, false));
        EXPECT_FALSE(files.deleteFile(path));
        EXPECT_FALSE(files.createNewFile(path, 1));
        EXPECT_FALSE(files.writeToFile(path, 0, "x", 1));
        EXPECT_EQ(WriteFailed, ZipPartUnpacker::Unpack(files, zip, path, 0, 1, nullptr));
        EXPECT_FALSE(files.moveFile(path, sandbox.path("x")));
        EXPECT_FALSE(files.moveFile(sandbox.path("cwd/precious"), path));
        EXPECT_FALSE(files.createDir(path));
        EXPECT_FALSE(files.getFileSize(path, size));
    }
    ASSERT_EQ(0, ::chdir(previous.c_str()));
    EXPECT_EQ("keep", sandbox.readFile("cwd/precious"));
    EXPECT_NE(std::string::npos, recent().find("Refusing to remove the empty or relative path ''."));
    EXPECT_NE(std::string::npos, recent().find("moveFile refused the empty or relative path 'precious'."));
}

TEST_F(FileSystemTest, RemovingALinkLeavesWhatItPointsTo) {
    sandbox.writeFile("real/file", "stays");
    ASSERT_EQ(0, ::symlink(sandbox.path("real").c_str(), sandbox.path("dirlink").c_str()));
    ASSERT_EQ(0, ::symlink("nowhere", sandbox.path("dangling").c_str()));
    EXPECT_TRUE(Utilities::DeleteFileOrDirectory(sandbox.path("dirlink")));
    EXPECT_TRUE(Utilities::DeleteFileOrDirectory(sandbox.path("dangling")));
    ASSERT_EQ(0, ::symlink(sandbox.path("real").c_str(), sandbox.path("again").c_str()));
    EXPECT_TRUE(files.deleteDir(sandbox.path("again"), false));
    EXPECT_FALSE(isLink(sandbox.path("again")));
    EXPECT_FALSE(isLink(sandbox.path("dirlink")));
    EXPECT_FALSE(isLink(sandbox.path("dangling")));
    EXPECT_EQ("stays", sandbox.readFile("real/file"));
}

TEST(FilePartLayout, PartsOfZipAndPlainFiles) {
    const uint64_t MiB = 1024 * 1024;
    struct Case {
        const char* name;
        uint64_t remoteSize;
        std::vector<uint32_t> parts;
        bool zip;
        uint16_t index;
        bool valid;
        uint64_t partOffset, destinationOffset;
        uint32_t expectedSize;
    } cases[] = {
        {"zip, first", 13 * MiB, {100, 200, 50}, true, 0, true, 0, 0, 6 * MiB},
        {"zip, middle", 13 * MiB, {100, 200, 50}, true, 1, true, 100, 6 * MiB, 6 * MiB},
        {"zip, last", 13 * MiB, {100, 200, 50}, true, 2, true, 300, 12 * MiB, 1 * MiB},
        {"zip, last would wrap", 11 * MiB, {100, 200, 50}, true, 2, false, 0, 0, 0},
        {"zip, last beyond 32 bits", 1ull << 33, {100, 200}, true, 1, false, 0, 0, 0},
        {"plain, first", 2 * MiB + MiB / 2, {1 * MiB, 1 * MiB, MiB / 2}, false, 0, true, 0, 0, 1 * MiB},
        {"plain, last", 2 * MiB + MiB / 2, {1 * MiB, 1 * MiB, MiB / 2}, false, 2, true, 2 * MiB, 2 * MiB, MiB / 2},
        {"plain, part smaller than it yields", 2 * MiB, {MiB / 2, MiB + MiB / 2}, false, 0, false, 0, 0, 0},
        {"index beyond the parts", 2 * MiB, {1 * MiB, 1 * MiB}, false, 2, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilePartLayout::Part part;
        ASSERT_EQ(c.valid, FilePartLayout::describePart(c.remoteSize, c.parts, c.zip, c.index, part));
        if (!c.valid) continue;
        EXPECT_EQ(c.partOffset, part.partOffset);
        EXPECT_EQ(c.destinationOffset, part.destinationOffset);
        EXPECT_EQ(c.parts[c.index], part.requestSize);
        EXPECT_EQ(c.expectedSize, part.expectedSize);
        EXPECT_EQ(c.zip, part.compressed);
    }
}
