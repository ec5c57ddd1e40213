#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "common/Utilities.h"
#include "model/ModelTestSupport.h"
#include "model/RemoteFileDeserializer.h"

namespace VantisClient {
namespace {

using VantisTest::Json;
using VantisTest::LinkEntry;

class RemoteFileDeserializerTest : public VantisTest::LoggingTest {};

struct FileCase {
    const char* entry;
    FileType type;
    uint64_t size;
    uint64_t offset;
    bool hidden;
    bool executable;
    uint32_t partSize;
    size_t partsListed;
    bool isZip;
};

TEST_F(RemoteFileDeserializerTest, ReadsUsableFileEntries) {
    const FileCase cases[] = {
        // A zero-size file needs neither data nor digest.
        {R"({"path": "a", "size": 0, "url": "", "hash": "", "offset": 0})", FileType::Game, 0, 0, false, false,
         1048576, 0, false},
        {R"({"path": "bin/game", "size": 3000000, "url": "main.zip", "hash": "0123456789abcdef0123456789abcdef",
             "offset": 0, "executable": true, "parts": [1048576, 1048576, 902848]})",
         FileType::Game, 3000000, 0, false, true, 1048576, 3, true},
        {R"({"path": "a", "size": 10, "url": "u", "hash": "h", "offset": 0, "support": true})", FileType::Support, 10,
         0, false, false, 1048576, 0, false},
        {R"({"path": "a", "size": 1, "url": "u", "hash": "h", "offset": 7, "": true, "partSize": 4096,
             "support": false, "directory": false})",
         FileType::Game, 1, 7, true, false, 4096, 0, false},
        // The zip test is case-sensitive and looks anywhere in the url.
        {R"({"path": "a", "size": 1, "url": "data.ZIP", "hash": "h", "offset": 0})", FileType::Game, 1, 0, false,
         false, 1048576, 0, false},
        {R"({"path": "a", "size": 1, "url": "x.zip?token", "hash": "h", "offset": 0})", FileType::Game, 1, 0, false,
         false, 1048576, 0, true},
    };
    for (const FileCase& c : cases) {
        SCOPED_TRACE(c.entry);
        RemoteFileDefinition::Ptr file = RemoteFileDeserializer::DeserializeFile(Json(c.entry));
        ASSERT_FALSE(file.isNull());
        EXPECT_EQ(c.type, file->getType());
        EXPECT_EQ(c.size, file->getSize());
        EXPECT_EQ(c.offset, file->getLocation().offset);
        EXPECT_EQ(c.hidden, file->isHidden());
        EXPECT_EQ(c.executable, file->isExecutable());
        EXPECT_EQ(c.partSize, file->getPartSize());
        EXPECT_EQ(c.partsListed, file->getParts().size());
        EXPECT_EQ(c.isZip, file->isZip());
    }
    EXPECT_TRUE(logged().empty());
}

TEST_F(RemoteFileDeserializerTest, FileEntryKeepsItsPathHashAndParts) {
    RemoteFileDefinition::Ptr file = RemoteFileDeserializer::DeserializeFile(
        Json(R"({"path": "bin/game", "size": 3, "url": "u.zip", "hash": "h", "offset": 0, "parts": [1, 4294967298]})"));
    ASSERT_FALSE(file.isNull());
    EXPECT_EQ("bin/game", file->getPath());
    EXPECT_EQ("h", file->getHash());
    EXPECT_EQ(Utilities::Hash64bit("bin/game"), file->getPathHash());
    // Each listed size keeps its low 32 bits.
    EXPECT_EQ((std::vector<uint32_t>{1, 2}), file->getParts());
}

TEST_F(RemoteFileDeserializerTest, NonEmptyFileWithoutUrlOrHashIsUnusableWithoutLogLine) {
    EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(
                    Json(R"({"path": "a", "size": 10, "url": "", "hash": "x", "offset": 0})"))
                    .isNull());
    EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(
                    Json(R"({"path": "a", "size": 10, "url": "u", "hash": "", "offset": 0})"))
                    .isNull());
    EXPECT_TRUE(logged().empty());
}

TEST_F(RemoteFileDeserializerTest, EntriesMissingTheirIdentityAreLoggedAsCompactJson) {
    EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(Json(R"({"path": "a", "url": "u"})")).isNull());
    EXPECT_TRUE(loggedError("Cannot deserialize file from game manifest, file object was not in correct format "
                            "(missing fields):\n{\"path\":\"a\",\"url\":\"u\"}"));

    EXPECT_TRUE(RemoteFileDeserializer::DeserializeDir(Json(R"({"directory": true})")).isNull());
    EXPECT_TRUE(loggedError("Cannot deserialize directory information from depot manifest. Directory object was "
                            "missing some fields: \n{\"directory\":true}"));

    EXPECT_TRUE(RemoteFileDeserializer::DeserializeSymLink(Json(R"({"path": "l", "target": "t"})")).isNull());
    EXPECT_TRUE(loggedError("Cannot deserialize symlink information from depot manifest. Symlink object was missing "
                            "some fields: \n{\"path\":\"l\",\"target\":\"t\"}"));
}

TEST_F(RemoteFileDeserializerTest, MissingOrMistypedKeysReachTheCaller) {
    try {
        RemoteFileDeserializer::DeserializeFile(Json(R"({"path": "a", "size": 1, "url": "u", "hash": "h"})"));
        FAIL() << "an entry without \"offset\" must throw";
    } catch (const Poco::InvalidAccessException& e) {
        EXPECT_EQ("Can not convert empty value.", e.message());
    }
    EXPECT_THROW(RemoteFileDeserializer::DeserializeFile(Json(R"({"path": "a", "size": 1, "hash": "h", "offset": 0})")),
                 Poco::InvalidAccessException);
    EXPECT_THROW(RemoteFileDeserializer::DeserializeFile(
                     Json(R"({"path": "a", "size": "many", "url": "u", "hash": "h", "offset": 0})")),
                 Poco::Exception);
    EXPECT_THROW(RemoteFileDeserializer::DeserializeFile(
                     Json(R"({"path": "a", "size": 1, "url": "u", "hash": "h", "offset": 0, "parts": 3})")),
                 Poco::NullPointerException);
    EXPECT_THROW(RemoteFileDeserializer::DeserializeFile(nullptr), Poco::NullPointerException);
    EXPECT_THROW(RemoteFileDeserializer::DeserializeDir(nullptr), Poco::NullPointerException);
    EXPECT_THROW(RemoteFileDeserializer::DeserializeSymLink(nullptr), Poco::NullPointerException);
}

TEST_F(RemoteFileDeserializerTest, ReadsDirectoryAndLinkEntries) {
    RemoteDirDefinition::Ptr directory =
        RemoteFileDeserializer::DeserializeDir(Json(R"({"directory": true, "path": "data/maps", "support": true})"));
    ASSERT_FALSE(directory.isNull());
    EXPECT_EQ("data/maps", directory->getPath());
    EXPECT_TRUE(directory->isSupport());

    RemoteSymLinkDefinition::Ptr link = RemoteFileDeserializer::DeserializeSymLink(
        Json(R"({"path": "bin/libx.so", "target": "libx.so.1", "symlinkType": "file"})"));
    ASSERT_FALSE(link.isNull());
    EXPECT_EQ("bin/libx.so", link->getPath());
    EXPECT_EQ("libx.so.1", link->getTarget());
    EXPECT_EQ("file", link->getSymlinkType());
}

std::string fileEntry(const std::string& path) {
    return R"({"path": ")" + path + R"(", "size": 1, "url": "u", "hash": "h", "offset": 0})";
}
std::string dirEntry(const std::string& path) { return R"({"directory": true, "path": ")" + path + R"("})"; }

TEST_F(RemoteFileDeserializerTest, EntryPathsMustStayInsideTheInstallDirectory) {
    struct PathCase {
        const char* path;
        bool safe;
    };
    const PathCase cases[] = {
        {"a/b", true},          {"a/./b", true},       {"./a", true},           {"a b/c..d", true},
        {"/etc/passwd", false}, {"../x", false},       {"a/../../b", false},    {"a/../b", false},
        {"", false},            {".", false},          {"a/..", false},         {"..\\\\x", false},
        {"\\\\abs", false},
    };
    for (const PathCase& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.safe, !RemoteFileDeserializer::DeserializeFile(Json(fileEntry(c.path))).isNull());
        EXPECT_EQ(c.safe, !RemoteFileDeserializer::DeserializeDir(Json(dirEntry(c.path))).isNull());
        EXPECT_EQ(c.safe, !RemoteFileDeserializer::DeserializeSymLink(Json(LinkEntry(c.path, "t"))).isNull());
    }
    EXPECT_TRUE(loggedError("Rejected depot manifest entry with unsafe path '../x': it must be relative, not empty "
                            "and stay inside the install directory."));
}

TEST_F(RemoteFileDeserializerTest, LinkTargetsMustResolveInsideTheInstallDirectory) {
    struct LinkCase {
        const char* path;
        const char* target;
        bool safe;
    };
    const LinkCase cases[] = {
        {"bin/x", "../lib", true},         {"bin/x", "libx.so.1", true},    {"a/b/x", "../../c", true},
        {"bin/x", "..", true},             {"bin/x", "../..", false},       {"bin/x", "../../etc/passwd", false},
        {"x", "../outside", false},        {"x", "/usr/lib/libc.so", false}, {"x", "", false},
        {"a/b/x", "../c/../../../d", false},
    };
    for (const LinkCase& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " -> " + c.target);
        EXPECT_EQ(c.safe, !RemoteFileDeserializer::DeserializeSymLink(Json(LinkEntry(c.path, c.target))).isNull());
    }
    EXPECT_TRUE(loggedError("Rejected depot manifest symlink 'bin/x' with unsafe target '../../etc/passwd': it must "
                            "be relative and stay inside the install directory."));
}

TEST_F(RemoteFileDeserializerTest, FilesNeedingMoreThan65535PartsAreRefused) {
    const uint64_t maxPlainSize = 65535ULL * 1048576;
    auto sized = [](uint64_t size) {
        return Json(R"({"path": "big.pak", "size": )" + std::to_string(size) +
                    R"(, "url": "u", "hash": "h", "offset": 0})");
    };
    EXPECT_FALSE(RemoteFileDeserializer::DeserializeFile(sized(maxPlainSize)).isNull());
    EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(sized(maxPlainSize + 1)).isNull());
    EXPECT_TRUE(loggedError(
        "Rejected depot manifest file 'big.pak': it would need 65536 parts, more than the 65535 a file may have."));

    std::string parts = "1";
    for (int i = 1; i < 65536; ++i) parts += ",1";
    EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(
                    Json(R"({"path": "many", "size": 65536, "url": "u.zip", "hash": "h", "offset": 0, "parts": [)" +
                         parts + "]}"))
                    .isNull());
}

TEST_F(RemoteFileDeserializerTest, ZeroBytesInPathsAndLinkTargetsAreRefused) {
    enum class Kind { File, Directory, Link };
    struct ZeroCase {
        Kind kind;
        std::string entry;
    };
    // An escaped zero in the JSON text reaches the reader as a zero byte, where the file system would end the path.
    const ZeroCase cases[] = {
        {Kind::File, fileEntry("bin/game\\u0000.sh")},
        {Kind::File, fileEntry("\\u0000")},
        {Kind::Directory, dirEntry("saves\\u0000")},
        {Kind::Link, LinkEntry("bin/x\\u0000", "t")},
        {Kind::Link, LinkEntry("bin/x", "lib\\u0000")},
        {Kind::Link, LinkEntry("bin/x", "\\u0000../../etc")},
    };
    for (const ZeroCase& c : cases) {
        SCOPED_TRACE(c.entry);
        Poco::JSON::Object::Ptr entry = Json(c.entry);
        switch (c.kind) {
            case Kind::File: EXPECT_TRUE(RemoteFileDeserializer::DeserializeFile(entry).isNull()); break;
            case Kind::Directory: EXPECT_TRUE(RemoteFileDeserializer::DeserializeDir(entry).isNull()); break;
            case Kind::Link: EXPECT_TRUE(RemoteFileDeserializer::DeserializeSymLink(entry).isNull()); break;
        }
    }
    EXPECT_TRUE(loggedError("Rejected depot manifest entry with unsafe path 'bin/game\\0.sh': it must be relative, "
                            "not empty and stay inside the install directory."));
    EXPECT_TRUE(loggedError("Rejected depot manifest symlink 'bin/x' with unsafe target 'lib\\0': it must be "
                            "relative and stay inside the install directory."));
}

TEST_F(RemoteFileDeserializerTest, PlainFilePartsMustFillTheirPlaceExceptTheLast) {
    struct PartsCase {
        const char* url;
        const char* parts;
        bool usable;
    };
    const PartsCase cases[] = {
        {"u", "[1048576, 1048576, 5]", true},
        {"u", "[5]", true},
        {"u", "[1048575, 5]", false},
        {"u", "[1048576, 0, 5]", false},
        // A zip part is unpacked to its place, whatever its compressed size.
        {"u.zip", "[5, 5, 5]", true},
    };
    for (const PartsCase& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.parts);
        RemoteFileDefinition::Ptr file = RemoteFileDeserializer::DeserializeFile(
            Json(std::string(R"({"path": "f", "size": 2097157, "url": ")") + c.url +
                 R"(", "hash": "h", "offset": 0, "parts": )" + c.parts + "}"));
        EXPECT_EQ(c.usable, !file.isNull());
    }
    EXPECT_TRUE(loggedError("Rejected depot manifest file 'f': its part 0 has 1048575 bytes, but every part of a "
                            "plain file except the last fills 1048576 bytes."));
}

TEST(FileInformationTest, MatchesCompareTypePathSizeAndOptionallyHash) {
    FileInformation reference(FileType::Game, "a/b", "hash1", 10);
    EXPECT_TRUE(reference.matchesFully(FileInformation(FileType::Game, "a/b", "hash1", 10, true, true)));
    EXPECT_TRUE(reference.matchesExceptHash(FileInformation(FileType::Game, "a/b", "hash2", 10)));
    EXPECT_FALSE(reference.matchesFully(FileInformation(FileType::Game, "a/b", "hash2", 10)));
    EXPECT_FALSE(reference.matchesExceptHash(FileInformation(FileType::Support, "a/b", "hash1", 10)));
    EXPECT_FALSE(reference.matchesExceptHash(FileInformation(FileType::Game, "A/b", "hash1", 10)));
    EXPECT_FALSE(reference.matchesExceptHash(FileInformation(FileType::Game, "a/b", "hash1", 11)));
}

}  // namespace
}  // namespace VantisClient
