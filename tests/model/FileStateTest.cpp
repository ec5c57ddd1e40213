#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"

namespace VantisClient {
namespace {

RemoteFileDefinition::Ptr remoteFile(uint64_t size, const std::vector<uint32_t>& parts = {},
                                     uint32_t partSize = RemoteFileDefinition::DEFAULT_PART_SIZE) {
    return new RemoteFileDefinition(FileInformation(FileType::Game, "data/file.pak", "0123", size),
                                    RemoteFileLocation("data.zip", 0), partSize, parts);
}

uint16_t wordCount(const FileParts& parts) {
    const uint32_t* words = nullptr;
    uint16_t count = 0;
    parts.getElements(words, count);
    return count;
}

TEST(FilePartsTest, WordCountFollowsPartsCount) {
    const struct {
        uint16_t parts;
        uint16_t words;
    } cases[] = {{0, 1}, {1, 1}, {31, 1}, {32, 2}, {33, 2}, {100, 4}, {65535, 2048}};
    EXPECT_EQ(0, wordCount(FileParts()));
    for (const auto& c : cases) {
        FileParts parts;
        parts.setPartInfo(c.parts);
        EXPECT_EQ(c.words, wordCount(parts)) << c.parts << " parts";
        EXPECT_EQ(c.parts, parts.getPartsCount());
        EXPECT_EQ(0, parts.getMarkedPartsCount());
    }
}

TEST(FilePartsTest, MarksBitsLeastSignificantFirstAcrossWords) {
    FileParts parts;
    parts.setPartInfo(40);
    parts.markPart(0);
    parts.markPart(33);
    parts.markPart(39);
    parts.unmarkPart(39);
    EXPECT_TRUE(parts.getPartState(33));
    EXPECT_FALSE(parts.getPartState(39));
    EXPECT_EQ(2, parts.getMarkedPartsCount());

    const uint32_t* words = nullptr;
    uint16_t count = 0;
    parts.getElements(words, count);
    ASSERT_EQ(2, count);
    EXPECT_EQ(0x1u, words[0]);
    EXPECT_EQ(0x2u, words[1]);

    FileParts restored;
    restored.setPartInfo(40);
    restored.setPartElement(0, words[0]);
    restored.setPartElement(1, words[1]);
    EXPECT_TRUE(restored == parts);

    parts.clear();
    EXPECT_EQ(0, parts.getMarkedPartsCount());
    EXPECT_EQ(40, parts.getPartsCount());
    EXPECT_THROW(parts.markPart(40), Poco::AssertionViolationException);
}

TEST(FilePartsTest, EqualityIgnoresBitsAboveThePartsCount) {
    FileParts a, b;
    a.setPartInfo(3);
    b.setPartInfo(3);
    a.markPart(1);
    b.markPart(1);
    b.setPartElement(0, 0xFFFFFFF2u);  // part 1 plus bits beyond part 2
    EXPECT_TRUE(a == b);
    b.unmarkPart(1);
    EXPECT_FALSE(a == b);

    FileParts sameWordsMoreParts;
    sameWordsMoreParts.setPartInfo(4);
    sameWordsMoreParts.markPart(1);
    EXPECT_FALSE(a == sameWordsMoreParts);
}

TEST(DownloadingFileInfoTest, PartLayoutFollowsSizeOrListedParts) {
    const struct {
        uint64_t size;
        std::vector<uint32_t> listed;
        uint32_t partSize;
        std::vector<uint32_t> expected;
    } cases[] = {
        {2500000, {}, 1048576, {1048576, 1048576, 402848}},
        {2097152, {}, 1048576, {1048576, 1048576}},
        // Plain files are always cut in 1 MiB parts, whatever "partSize" says.
        {2500000, {}, 4096, {1048576, 1048576, 402848}},
        {10, {4, 6}, 1048576, {4, 6}},
        {0, {}, 1048576, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        DownloadingFileInfo file(remoteFile(c.size, c.listed, c.partSize), "/downloads/42", DownloadingFileInfo::Queued);
        EXPECT_EQ(c.expected, file.getPartSizes());
        EXPECT_EQ(c.expected.size(), file.getParts().getPartsCount());
        EXPECT_EQ(c.expected.size(), file.getDownloadingParts().getPartsCount());
        EXPECT_EQ(0, file.getParts().getMarkedPartsCount());
    }
}

TEST(DownloadingFileInfoTest, TakesIdentityFromTheDefinition) {
    DownloadingFileInfo file(remoteFile(1048576), "/downloads/42", DownloadingFileInfo::Queued);
    EXPECT_EQ("/downloads/42/data/file.pak", file.getFullPath());
    EXPECT_EQ(FileType::Game, file.getFileInfo().getType());
    EXPECT_EQ("", file.getFileInfo().getHash());
    EXPECT_EQ(1048576u, file.getFileInfo().getSize());
    EXPECT_EQ("type: 990 hash:  size: 1048576 state: 2001", file.getDebugInfoString());
}

TEST(DownloadingFileInfoTest, TransitionsResetPartsAndHashAsTheyShould) {
    DownloadingFileInfo file(remoteFile(3000000), "/downloads", DownloadingFileInfo::Queued);
    file.downloadStarted();
    EXPECT_EQ(DownloadingFileInfo::Downloading, file.getState());
    file.getParts().markPart(2);
    file.getDownloadingParts().markPart(1);
    file.hashingStarted();
    EXPECT_EQ(DownloadingFileInfo::Hashing, file.getState());
    file.hashingCompleteOK("abc");
    EXPECT_EQ(DownloadingFileInfo::Verified, file.getState());
    EXPECT_EQ("abc", file.getFileInfo().getHash());

    file.hashingMismatch();
    file.getParts().markPart(0);
    file.hashingMismatch();
    EXPECT_EQ(2, file.getHashMismatchCount());
    EXPECT_EQ(DownloadingFileInfo::Queued, file.getState());
    EXPECT_EQ("", file.getFileInfo().getHash());
    EXPECT_EQ(0, file.getParts().getMarkedPartsCount());
    EXPECT_EQ(0, file.getDownloadingParts().getMarkedPartsCount());
    EXPECT_EQ(3, file.getParts().getPartsCount());

    file.getParts().markPart(1);
    file.downloadingFailedPermanently();
    EXPECT_EQ(DownloadingFileInfo::Failed, file.getState());
    EXPECT_EQ(0, file.getParts().getMarkedPartsCount());

    file.hashingCompleteOK("abc");
    file.fileDeleted();
    EXPECT_EQ(DownloadingFileInfo::Queued, file.getState());
    EXPECT_EQ("", file.getFileInfo().getHash());
    EXPECT_EQ(0u, file.getFileInfo().getSize());
}

TEST(DownloadingFileInfoTest, CountsDownloadErrorsPerPart) {
    DownloadingFileInfo file(remoteFile(10), "/d", DownloadingFileInfo::Queued);
    EXPECT_EQ(0, file.getDownloadErrorCount(7));
    file.partDownloadFailed(7);
    file.partDownloadFailed(7);
    EXPECT_EQ(2, file.getDownloadErrorCount(7));
    EXPECT_EQ(0, file.getDownloadErrorCount(6));
}

// A stored record as storage reads it back: its state, size and bitmap words,
// but neither its part sizes nor its exact parts count.
DownloadingFileInfo storedRecord(uint64_t size, uint16_t partsCount, std::initializer_list<uint16_t> done) {
    DownloadingFileInfo file(FileType::Game, "data/file.pak", DownloadingFileInfo::Downloading, "/d/data/file.pak");
    file.getFileInfo().setSize(size);
    file.getParts().setPartInfo(partsCount);
    file.getDownloadingParts().setPartInfo(partsCount);
    for (uint16_t index : done) {
        file.getParts().markPart(index);
        file.getDownloadingParts().markPart(index);
    }
    return file;
}

TEST(DownloadingFileInfoTest, AttachingADefinitionKeepsTheWrittenPartsOnlyOfTheSameLayout) {
    const struct {
        const char* name;
        DownloadingFileInfo file;
        uint64_t definitionSize;
        std::vector<uint32_t> definitionParts;
        std::vector<uint16_t> keptParts;
    } cases[] = {
        {"stored as storage keeps it", storedRecord(2500000, 31, {0, 2}), 2500000, {}, {0, 2}},
        {"stored with its exact count", storedRecord(2500000, 3, {1}), 2500000, {}, {1}},
        {"stored without a size", storedRecord(0, 1, {0}), 2500000, {}, {}},
        {"stored for another size", storedRecord(2400000, 31, {0}), 2500000, {}, {}},
        {"a bit beyond the last part", storedRecord(2500000, 31, {0, 5}), 2500000, {}, {}},
        {"another word count", storedRecord(2500000, 40, {0}), 2500000, {}, {}},
        {"listed parts, same size", storedRecord(10, 31, {1}), 10, {4, 6}, {1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DownloadingFileInfo file = c.file;
        file.setRemoteDefinition(remoteFile(c.definitionSize, c.definitionParts));
        EXPECT_EQ(c.definitionSize, file.getFileInfo().getSize());
        EXPECT_EQ(file.getPartSizes().size(), file.getParts().getPartsCount());
        std::vector<uint16_t> kept;
        for (uint16_t index = 0; index < file.getParts().getPartsCount(); ++index) {
            if (file.getParts().getPartState(index)) kept.push_back(index);
        }
        EXPECT_EQ(c.keptParts, kept);
        EXPECT_EQ(0, file.getDownloadingParts().getMarkedPartsCount());
    }
}

TEST(DownloadingFileInfoTest, ANewDefinitionOfTheRecordKeepsPartsOnlyWhenItsPartSizesAreTheSame) {
    DownloadingFileInfo file(remoteFile(10, {4, 6}), "/d", DownloadingFileInfo::Downloading);
    file.getParts().markPart(0);
    file.setRemoteDefinition(remoteFile(10, {4, 6}));
    EXPECT_TRUE(file.getParts().getPartState(0));
    file.setRemoteDefinition(remoteFile(10, {5, 5}));
    EXPECT_EQ(0, file.getParts().getMarkedPartsCount());
    EXPECT_THROW(file.setRemoteDefinition(nullptr), Poco::NullPointerException);
}

TEST(DownloadingFileInfoTest, RefusesToWrapPartCountsAround) {
    EXPECT_THROW(DownloadingFileInfo(remoteFile(65536ULL * 1048576), "/d", DownloadingFileInfo::Queued),
                 Poco::RangeException);
}

TEST(InstalledFileInfoTest, HashingMovesThroughItsStates) {
    InstalledFileInfo file(FileType::Game, "bin/game", InstalledFileInfo::Unverified, "/games/zorv/bin/game");
    EXPECT_EQ("", file.getFileInfo().getHash());
    EXPECT_EQ(0u, file.getFileInfo().getSize());
    file.hashingStarted();
    EXPECT_EQ(InstalledFileInfo::Hashing, file.getState());
    file.hashingComplete("d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(InstalledFileInfo::Hashed, file.getState());
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", file.getFileInfo().getHash());
}

}  // namespace
}  // namespace VantisClient
