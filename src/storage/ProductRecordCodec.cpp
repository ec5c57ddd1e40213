#include "storage/ProductRecordCodec.h"

#include <algorithm>

#include "common/Logger.h"
#include "common/Utilities.h"
#include "storage/FixedSizeRecord.h"

namespace VantisClient {

namespace {

using Database = StorageDBSerializer_Version2::Database;
using StoredRecord = ProductRecordCodec::StoredRecord;

const size_t PATH_HASH_KEY_SIZE = sizeof(uint64_t);

namespace SupportRecord {
const size_t SIZE = 545;
const TextField GAME_ID{"game id", 0, 33, 32};
const TextField EXECUTABLE{"executable", 33, 256, 255};
const TextField ARGUMENT{"argument", 289, 256, 255};
}  // namespace SupportRecord

namespace RedistRecord {
const size_t SIZE = 513;
const TextField EXECUTABLE{"executable", 0, 256, 255};
const TextField ARGUMENT{"argument", 256, 256, 255};
const size_t EXECUTED = 512;
}  // namespace RedistRecord

namespace DirectoryRecord {
const size_t SIZE = 264;
const TextField PATH{"path", 0, 256, 255};
const size_t STATE = 256;
const size_t SUPPORT = 260;
}  // namespace DirectoryRecord

namespace InstalledRecord {
const size_t SIZE = 568;
const TextField PATH{"path", 0, 256, 255};
const size_t STATE = 256;
const TextField HASH{"hash", 260, 36, 32};
const size_t FILE_SIZE = 296;
const size_t FILE_TYPE = 304;
const TextField FULL_PATH{"full path", 308, 256, 255};
}  // namespace InstalledRecord

namespace SymLinkRecord {
const size_t SIZE = 513;
const TextField FULL_PATH{"full path", 0, 256, 255};
const TextField FULL_TARGET_PATH{"full target path", 256, 256, 255};
const size_t TYPE = 512;
}  // namespace SymLinkRecord

// The three downloading-file databases differ only in the room for bitmap words.
struct DownloadingRecord {
    static const size_t WORDS = 264;
    static const size_t STATE = 256;
    // The most words a bitmap of at most 65535 parts has.
    static const uint16_t MAX_BITMAP_WORDS = 65535 / 32 + 1;

    explicit DownloadingRecord(size_t slots_) : slots(slots_) {}
    size_t size() const { return 320 + 8 * slots; }
    size_t fileSizeOffset() const { return 264 + 8 * slots; }
    size_t wordCountOffset() const { return 272 + 8 * slots; }
    size_t fileTypeOffset() const { return 276 + 8 * slots; }
    TextField hash() const { return {"hash", 280 + 8 * slots, 40, 32}; }

    size_t slots;
};
const TextField DOWNLOADING_PATH{"path", 0, 256, 255};

DownloadingRecord downloadingRecordOf(Database database) {
    switch (database) {
        case Database::DownloadingFilesSmall: return DownloadingRecord(2);
        case Database::DownloadingFilesMedium: return DownloadingRecord(10);
        default: return DownloadingRecord(10000);
    }
}

// Where a bitmap of `wordCount` words is kept; DatabaseCount when it fits none.
Database downloadingDatabaseFor(uint16_t wordCount) {
    if (wordCount <= 2) return Database::DownloadingFilesSmall;
    if (wordCount <= 10) return Database::DownloadingFilesMedium;
    if (wordCount <= 10000) return Database::DownloadingFilesBig;
    return Database::DatabaseCount;
}


std::string pathHashKey(uint64_t pathHash) {
    return std::string(reinterpret_cast<const char*>(&pathHash), sizeof(pathHash));
}

bool logRefusal(const char* kind, const std::string& name, const FixedSizeRecord& record) {
    if (record.complete()) return false;
    Logger::LogError("Cannot store %s '%s' in the product database: its %s.", kind, name.c_str(),
                     record.refusal().c_str());
    return true;
}

// Takes the record's bytes when every text fitted; otherwise logs which one did not.
bool keepRecord(const char* kind, const std::string& name, const FixedSizeRecord& record, StoredRecord& stored) {
    if (logRefusal(kind, name, record)) return false;
    stored.bytes = record.bytes();
    return true;
}

bool hasSize(size_t found, size_t expected) {
    if (found == expected) return true;
    Logger::LogError("Invalid struct size (%d, should be %d), when trying to copy slice to the struct.",
                     static_cast<int>(found), static_cast<int>(expected));
    return false;
}

bool readText(const FixedSizeRecordView& view, const TextField& field, std::string& text) {
    if (view.getText(field, text)) return true;
    Logger::LogError("Text field '%s' has no terminating zero, when trying to copy slice to the struct.", field.name);
    return false;
}

bool logDownloadingStructFault() {
    Logger::LogError("Invalid struct size, when deserializing DownloadingFiles array. Aborting deserialization");
    return false;
}

// The record keeps the bitmap's words but not its parts count: the bitmap is
// sized to hold exactly the stored words, every stored bit included. The count
// is rebuilt when a remote definition is attached to the file again.
void restoreParts(const FixedSizeRecordView& view, uint16_t wordCount, DownloadingFileInfo& file) {
    if (wordCount == 0) return;
    uint16_t partsCount = static_cast<uint16_t>(wordCount * 32u - 1u);
    file.getParts().setPartInfo(partsCount);
    file.getDownloadingParts().setPartInfo(partsCount);
    for (uint16_t index = 0; index < wordCount; ++index) {
        uint64_t slot = view.getValue<uint64_t>(DownloadingRecord::WORDS + 8 * index);
        file.getParts().setPartElement(index, static_cast<uint32_t>(slot));
    }
}

}  // namespace

const StorageDBSerializer_Version2::Database ProductRecordCodec::DOWNLOADING_DATABASES[] = {
    StorageDBSerializer_Version2::DownloadingFilesSmall,
    StorageDBSerializer_Version2::DownloadingFilesMedium,
    StorageDBSerializer_Version2::DownloadingFilesBig,
};

bool ProductRecordCodec::EncodeSupport(const RemoteSupportInfo& command, StoredRecord& stored) {
    FixedSizeRecord record(SupportRecord::SIZE);
    record.putText(SupportRecord::GAME_ID, command.gameId);
    record.putText(SupportRecord::EXECUTABLE, command.executable);
    record.putText(SupportRecord::ARGUMENT, command.argument);
    stored.database = Database::Support;
    stored.key = record.fieldBytes(SupportRecord::EXECUTABLE);
    return keepRecord("support command", command.executable, record, stored);
}

bool ProductRecordCodec::EncodeRedist(const RedistInfo& redist, StoredRecord& stored) {
    FixedSizeRecord record(RedistRecord::SIZE);
    record.putText(RedistRecord::EXECUTABLE, redist.executable);
    record.putText(RedistRecord::ARGUMENT, redist.argument);
    record.putValue<uint8_t>(RedistRecord::EXECUTED, redist.executed ? 1 : 0);
    stored.database = Database::Redistributables;
    stored.key = record.fieldBytes(RedistRecord::EXECUTABLE);
    return keepRecord("redistributable", redist.executable, record, stored);
}

bool ProductRecordCodec::EncodeDirectory(const DirInfo& directory, StoredRecord& stored) {
    const std::string& path = directory.definition->getPath();
    FixedSizeRecord record(DirectoryRecord::SIZE);
    record.putText(DirectoryRecord::PATH, path);
    record.putValue<int32_t>(DirectoryRecord::STATE, directory.state);
    record.putValue<uint8_t>(DirectoryRecord::SUPPORT, directory.definition->isSupport() ? 1 : 0);
    stored.database = Database::Directories;
    stored.key = record.fieldBytes(DirectoryRecord::PATH);
    return keepRecord("directory", path, record, stored);
}

bool ProductRecordCodec::EncodeInstalled(const InstalledFileInfo& file, StoredRecord& stored) {
    const FileInformation& info = file.getFileInfo();
    FixedSizeRecord record(InstalledRecord::SIZE);
    record.putText(InstalledRecord::PATH, info.getPath());
    record.putValue<int32_t>(InstalledRecord::STATE, file.getState());
    record.putText(InstalledRecord::HASH, info.getHash());
    record.putValue<uint64_t>(InstalledRecord::FILE_SIZE, info.getSize());
    record.putValue<int32_t>(InstalledRecord::FILE_TYPE, static_cast<int32_t>(info.getType()));
    record.putText(InstalledRecord::FULL_PATH, file.getFullPath());
    stored.database = Database::InstalledFiles;
    stored.key = pathHashKey(info.getPathHash());
    return keepRecord("installed file", info.getPath(), record, stored);
}

bool ProductRecordCodec::EncodeSymLink(const InstalledSymLinkInfo& link, StoredRecord& stored) {
    FixedSizeRecord record(SymLinkRecord::SIZE);
    record.putText(SymLinkRecord::FULL_PATH, link.getFullPath());
    record.putText(SymLinkRecord::FULL_TARGET_PATH, link.getFullTargetPath());
    record.putValue<char>(SymLinkRecord::TYPE, link.getType().empty() ? '\0' : link.getType()[0]);
    stored.database = Database::InstalledSymLinks;
    stored.key = record.fieldBytes(SymLinkRecord::FULL_PATH);
    return keepRecord("symbolic link", link.getFullPath(), record, stored);
}

bool ProductRecordCodec::EncodeDownloading(const DownloadingFileInfo& file, StoredRecord& stored) {
    const FileInformation& info = file.getFileInfo();
    const uint32_t* words = nullptr;
    uint16_t wordCount = 0;
    file.getParts().getElements(words, wordCount);
    stored.database = downloadingDatabaseFor(wordCount);
    stored.key = pathHashKey(info.getPathHash());
    if (stored.database == Database::DatabaseCount) {
        Logger::LogError("Cannot store downloading file '%s' in the product database: its bitmap has %d words.",
                         info.getPath().c_str(), static_cast<int>(wordCount));
        return false;
    }
    DownloadingRecord layout = downloadingRecordOf(stored.database);
    FixedSizeRecord record(layout.size());
    record.putText(DOWNLOADING_PATH, info.getPath());
    record.putValue<int32_t>(DownloadingRecord::STATE, file.getState());
    for (uint16_t index = 0; index < wordCount; ++index) {
        record.putValue<uint64_t>(DownloadingRecord::WORDS + 8 * index, words[index]);
    }
    record.putValue<uint64_t>(layout.fileSizeOffset(), info.getSize());
    record.putValue<uint16_t>(layout.wordCountOffset(), wordCount);
    record.putValue<int32_t>(layout.fileTypeOffset(), static_cast<int32_t>(info.getType()));
    record.putText(layout.hash(), info.getHash());
    return keepRecord("downloading file", info.getPath(), record, stored);
}

bool ProductRecordCodec::AppendRedist(const leveldb::Slice& value, ProductInfo& product) {
    if (!hasSize(value.size(), RedistRecord::SIZE)) return false;
    FixedSizeRecordView view(value.data(), value.size());
    std::string executable;
    std::string argument;
    if (!readText(view, RedistRecord::EXECUTABLE, executable) || !readText(view, RedistRecord::ARGUMENT, argument)) {
        return false;
    }
    product.getRedistributables().emplace_back(executable, argument,
                                               view.getValue<uint8_t>(RedistRecord::EXECUTED) != 0);
    return true;
}

bool ProductRecordCodec::AppendSupport(const leveldb::Slice& value, ProductInfo& product) {
    if (!hasSize(value.size(), SupportRecord::SIZE)) return false;
    FixedSizeRecordView view(value.data(), value.size());
    std::string gameId;
    std::string executable;
    std::string argument;
    if (!readText(view, SupportRecord::GAME_ID, gameId) || !readText(view, SupportRecord::EXECUTABLE, executable) ||
        !readText(view, SupportRecord::ARGUMENT, argument)) {
        return false;
    }
    product.getSupportCommands().emplace_back(gameId, executable, argument);
    return true;
}

bool ProductRecordCodec::AppendDirectory(const leveldb::Slice& value, ProductInfo& product) {
    if (!hasSize(value.size(), DirectoryRecord::SIZE)) return false;
    FixedSizeRecordView view(value.data(), value.size());
    std::string path;
    if (!readText(view, DirectoryRecord::PATH, path)) return false;
    RemoteDirDefinition::Ptr definition =
        new RemoteDirDefinition(view.getValue<uint8_t>(DirectoryRecord::SUPPORT) != 0, path);
    product.getDirectories().emplace_back(
        definition, static_cast<DirInfo::EDirState>(view.getValue<int32_t>(DirectoryRecord::STATE)));
    return true;
}

bool ProductRecordCodec::AppendSymLink(const leveldb::Slice& value, ProductInfo& product) {
    if (!hasSize(value.size(), SymLinkRecord::SIZE)) return false;
    FixedSizeRecordView view(value.data(), value.size());
    std::string path;
    std::string target;
    if (!readText(view, SymLinkRecord::FULL_PATH, path) || !readText(view, SymLinkRecord::FULL_TARGET_PATH, target)) {
        return false;
    }
    const char type = view.getValue<char>(SymLinkRecord::TYPE);
    product.getSymLinks().addInstalledSymLinkInfo(
        new InstalledSymLinkInfo(path, target, type == '\0' ? std::string() : std::string(1, type)));
    return true;
}

bool ProductRecordCodec::AppendDownloading(Database which, const leveldb::Slice& key, const leveldb::Slice& value,
                                           ProductInfo& product) {
    const DownloadingRecord layout = downloadingRecordOf(which);
    if (!hasSize(key.size(), PATH_HASH_KEY_SIZE)) {
        Logger::LogError("Invalid key size, when deserializing DownloadingFiles array. Aborting deserialization");
        return false;
    }
    if (!hasSize(value.size(), layout.size())) return logDownloadingStructFault();
    FixedSizeRecordView view(value.data(), value.size());
    std::string path;
    std::string hash;
    if (!readText(view, DOWNLOADING_PATH, path) || !readText(view, layout.hash(), hash)) {
        return logDownloadingStructFault();
    }
    uint16_t wordCount = view.getValue<uint16_t>(layout.wordCountOffset());
    if (wordCount > layout.slots || wordCount > DownloadingRecord::MAX_BITMAP_WORDS) {
        Logger::LogError("Invalid bitmap word count (%d, at most %d), when trying to copy slice to the struct.",
                         static_cast<int>(wordCount),
                         static_cast<int>(std::min<size_t>(layout.slots, DownloadingRecord::MAX_BITMAP_WORDS)));
        return logDownloadingStructFault();
    }
    auto state =
        static_cast<DownloadingFileInfo::DownloadingFileState>(view.getValue<int32_t>(DownloadingRecord::STATE));
    DownloadingFileInfo::Ptr file =
        new DownloadingFileInfo(static_cast<FileType>(view.getValue<int32_t>(layout.fileTypeOffset())), path, state,
                                Utilities::AppendPath(product.getDownloadsPath(), path));
    file->getFileInfo().setHash(hash);
    file->getFileInfo().setSize(view.getValue<uint64_t>(layout.fileSizeOffset()));
    if (file->getFileInfo().getSize() != 0) restoreParts(view, wordCount, *file);
    product.getFiles().addDownloadingFileInfo(file);
    return true;
}

bool ProductRecordCodec::AppendInstalled(const leveldb::Slice& key, const leveldb::Slice& value,
                                         ProductInfo& product) {
    if (!hasSize(key.size(), PATH_HASH_KEY_SIZE)) {
        Logger::LogError("Invalid key size (%d) when deserializing InstalledFiles. Aboerting deserialization.",
                         static_cast<int>(key.size()));
        return false;
    }
    bool intact = hasSize(value.size(), InstalledRecord::SIZE);
    FixedSizeRecordView view(value.data(), value.size());
    std::string path;
    std::string hash;
    std::string fullPath;
    intact = intact && readText(view, InstalledRecord::PATH, path) && readText(view, InstalledRecord::HASH, hash) &&
             readText(view, InstalledRecord::FULL_PATH, fullPath);
    if (!intact) {
        Logger::LogError("Invalid size (%d) of struct, when deserializing InstalledFiles. Aborting deserialization.",
                         static_cast<int>(value.size()));
        return false;
    }
    auto state = static_cast<InstalledFileInfo::InstalledFileState>(view.getValue<int32_t>(InstalledRecord::STATE));
    InstalledFileInfo::Ptr file = new InstalledFileInfo(
        static_cast<FileType>(view.getValue<int32_t>(InstalledRecord::FILE_TYPE)), path, state, fullPath);
    file->getFileInfo().setHash(hash);
    file->getFileInfo().setSize(view.getValue<uint64_t>(InstalledRecord::FILE_SIZE));
    product.getFiles().addInstalledFileInfo(file);
    return true;
}
}  // namespace VantisClient
