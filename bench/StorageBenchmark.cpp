// Writes and reads back one large product through the storage facade: 100000
// installed files and 1000 downloading files, as a big game mid-update has.
// Reports records per second, next to a baseline that writes and reads the
// same number of records of the same sizes straight into one LevelDB database
// with plain puts and an iterator: facade figure / baseline figure is the cost
// of the facade. Also the install pipeline's way of writing: one file at a
// time, with the product's databases kept open for the task or opened and
// closed by every call. Runs on a temporary root that it removes.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/TemporaryFile.h>
#include <benchmark/benchmark.h>
#include <leveldb/db.h>
#include <leveldb/iterator.h>

#include "common/EngineSettings.h"
#include "common/UserPreferences.h"
#include "common/Utilities.h"
#include "model/ProductInfo.h"
#include "storage/ProductStorageSession.h"
#include "storage/StorageDBSerializer.h"

using namespace VantisClient;

namespace {

const char* const GAME_ID = "1207658924";
const int INSTALLED_FILES = 100000;
const int DOWNLOADING_FILES = 1000;
const int RECORDS = INSTALLED_FILES + DOWNLOADING_FILES;

std::string relativePath(const char* kind, int index) {
    char path[64];
    std::snprintf(path, sizeof(path), "data/%s%03d/file%06d.bin", kind, index % 500, index);
    return path;
}

// Part counts spread over the three sizes of downloading-file record.
const uint16_t DOWNLOADING_PART_COUNTS[] = {40, 100, 1000};
// Stored record sizes: installed file, and downloading file for 40, 100 and
// 1000 parts (2, 4 and 32 bitmap words: the small, medium and big record).
const size_t INSTALLED_RECORD_SIZE = 568;
const size_t DOWNLOADING_RECORD_SIZES[] = {336, 400, 80320};

ProductInfo::Ptr makeLargeProduct() {
    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId(GAME_ID);
    product->setDownloadsPath("/downloads/zorv");
    for (int index = 0; index < INSTALLED_FILES; ++index) {
        std::string path = relativePath("installed", index);
        InstalledFileInfo::Ptr file =
            new InstalledFileInfo(FileType::Game, path, InstalledFileInfo::Hashed, "/games/zorv/" + path);
        file->getFileInfo().setHash("0123456789abcdef0123456789abcdef");
        file->getFileInfo().setSize(65536);
        product->getFiles().addInstalledFileInfo(file);
    }
    for (int index = 0; index < DOWNLOADING_FILES; ++index) {
        std::string path = relativePath("downloading", index);
        DownloadingFileInfo::Ptr file = new DownloadingFileInfo(FileType::Game, path, DownloadingFileInfo::Downloading,
                                                                "/downloads/zorv/" + path);
        uint16_t parts = DOWNLOADING_PART_COUNTS[index % 3];
        file->getFileInfo().setSize(uint64_t(parts) * 1048576);
        file->getParts().setPartInfo(parts);
        file->getDownloadingParts().setPartInfo(parts);
        for (uint16_t part = 0; part < parts; part += 2) file->getParts().markPart(part);
        product->getFiles().addDownloadingFileInfo(file);
    }
    return product;
}

void reportRecords(benchmark::State& state, int recordsPerIteration) {
    state.counters["records/s"] =
        benchmark::Counter(double(recordsPerIteration) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_SerializeProduct(benchmark::State& state) {
    ProductInfo::Ptr product = makeLargeProduct();
    for (auto _ : state) {
        if (!StorageDBSerializer::SerializeProduct(product.get())) state.SkipWithError("SerializeProduct failed");
    }
    reportRecords(state, RECORDS);
}

void BM_DeserializeProduct(benchmark::State& state) {
    ProductInfo::Ptr written = makeLargeProduct();
    if (!StorageDBSerializer::SerializeProduct(written.get())) state.SkipWithError("SerializeProduct failed");
    for (auto _ : state) {
        ProductInfo read;
        read.setGameId(GAME_ID);
        read.setDownloadsPath("/downloads/zorv");
        if (!StorageDBSerializer::DeserializeProduct(GAME_ID, &read) ||
            read.getFiles().getInstalledFiles().size() != size_t(INSTALLED_FILES) ||
            read.getFiles().getDownloadingFiles().size() != size_t(DOWNLOADING_FILES)) {
            state.SkipWithError("DeserializeProduct did not read the product back");
        }
    }
    reportRecords(state, RECORDS);
}

// The install pipeline stores changed files in batches while it runs.
void BM_UpdateFilesInProduct(benchmark::State& state) {
    ProductInfo::Ptr product = makeLargeProduct();
    if (!StorageDBSerializer::SerializeProduct(product.get())) state.SkipWithError("SerializeProduct failed");
    std::vector<InstalledFileInfo::Ptr> batch;
    for (const auto& entry : product->getFiles().getInstalledFiles()) {
        if (batch.size() == size_t(state.range(0))) break;
        batch.push_back(entry.second);
    }
    for (auto _ : state) {
        if (!StorageDBSerializer::UpdateFilesInProduct(GAME_ID, batch)) state.SkipWithError("update failed");
    }
    reportRecords(state, int(batch.size()));
}

// The install pipeline stores each file it moved on its own. Range 1 keeps the
// product's databases open (opened by a call before the timed ones, as the
// first of a task's calls would), range 0 lets every call open and close them.
void BM_UpdateFileInProduct(benchmark::State& state) {
    ProductInfo::Ptr product = makeLargeProduct();
    if (!StorageDBSerializer::SerializeProduct(product.get())) state.SkipWithError("SerializeProduct failed");
    std::vector<InstalledFileInfo::Ptr> files;
    for (const auto& entry : product->getFiles().getInstalledFiles()) files.push_back(entry.second);
    std::unique_ptr<ProductStorageSession> kept(state.range(0) != 0 ? new ProductStorageSession(GAME_ID) : nullptr);
    if (kept && !StorageDBSerializer::UpdateFileInProduct(GAME_ID, files.back())) state.SkipWithError("update failed");
    size_t next = 0;
    for (auto _ : state) {
        if (!StorageDBSerializer::UpdateFileInProduct(GAME_ID, files[next++ % files.size()])) {
            state.SkipWithError("update failed");
        }
    }
    reportRecords(state, 1);
}

// The baseline's records: a path hash as key and a zero-filled value of the
// stored size that starts with the path, as the facade's records do.
std::vector<std::pair<std::string, std::string>> makePlainRecords() {
    std::vector<std::pair<std::string, std::string>> records;
    records.reserve(RECORDS);
    auto add = [&records](const std::string& path, size_t size) {
        uint64_t hash = Utilities::Hash64bit(path.c_str());
        std::string value(size, '\0');
        std::memcpy(&value[0], path.data(), path.size());
        records.emplace_back(std::string(reinterpret_cast<const char*>(&hash), sizeof(hash)), value);
    };
    for (int index = 0; index < INSTALLED_FILES; ++index) add(relativePath("installed", index), INSTALLED_RECORD_SIZE);
    for (int index = 0; index < DOWNLOADING_FILES; ++index) {
        add(relativePath("downloading", index), DOWNLOADING_RECORD_SIZES[index % 3]);
    }
    return records;
}

std::unique_ptr<leveldb::DB> openPlainDatabase(const std::string& name) {
    leveldb::Options options;
    options.create_if_missing = true;
    leveldb::DB* opened = nullptr;
    std::string path = UserPreferences().getStoragePath() + "/" + name;
    Poco::File(path).createDirectories();
    if (!leveldb::DB::Open(options, path, &opened).ok()) return nullptr;
    return std::unique_ptr<leveldb::DB>(opened);
}

bool putAll(leveldb::DB& database, const std::vector<std::pair<std::string, std::string>>& records) {
    for (const auto& record : records) {
        if (!database.Put(leveldb::WriteOptions(), record.first, record.second).ok()) return false;
    }
    return true;
}

void BM_PlainLevelDBWrite(benchmark::State& state) {
    const auto records = makePlainRecords();
    std::unique_ptr<leveldb::DB> database = openPlainDatabase("plain-write");
    if (!database) state.SkipWithError("could not open the database");
    for (auto _ : state) {
        if (database && !putAll(*database, records)) state.SkipWithError("Put failed");
    }
    reportRecords(state, RECORDS);
}

void BM_PlainLevelDBRead(benchmark::State& state) {
    const auto records = makePlainRecords();
    std::unique_ptr<leveldb::DB> database = openPlainDatabase("plain-read");
    if (!database || !putAll(*database, records)) state.SkipWithError("could not write the records");
    for (auto _ : state) {
        if (!database) break;
        std::unique_ptr<leveldb::Iterator> iterator(database->NewIterator(leveldb::ReadOptions()));
        size_t count = 0;
        size_t bytes = 0;
        for (iterator->SeekToFirst(); iterator->Valid(); iterator->Next()) {
            ++count;
            bytes += iterator->value().size();
        }
        benchmark::DoNotOptimize(bytes);
        if (count != records.size()) state.SkipWithError("the iterator did not read every record back");
    }
    reportRecords(state, RECORDS);
}

BENCHMARK(BM_SerializeProduct)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DeserializeProduct)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UpdateFilesInProduct)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdateFileInProduct)->ArgName("keptOpen")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_PlainLevelDBWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PlainLevelDBRead)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    std::string root = Poco::TemporaryFile::tempName(Poco::Path::temp()) + "-vantis-bench";
    Poco::File(root).createDirectories();
    ::setenv("VANTIS_HOME", root.c_str(), 1);
    StorageDBSerializer::Start(EngineSettings::OfThisUser().storagePath);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    StorageDBSerializer::Shutdown();
    Poco::File(root).remove(true);
    return 0;
}
