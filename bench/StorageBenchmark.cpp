// Writes and reads back one large product through the storage facade: 100000
// installed files and 1000 downloading files, as a big game mid-update has.
// Reports records per second. Runs on a temporary root that it removes.
#include <cstdlib>
#include <string>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/TemporaryFile.h>
#include <benchmark/benchmark.h>

#include "common/ClientUserPreferences.h"
#include "common/UserPreferences.h"
#include "model/ProductInfo.h"
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
    // Part counts spread over the three sizes of downloading-file record.
    const uint16_t partCounts[] = {40, 100, 1000};
    for (int index = 0; index < DOWNLOADING_FILES; ++index) {
        std::string path = relativePath("downloading", index);
        DownloadingFileInfo::Ptr file = new DownloadingFileInfo(FileType::Game, path, DownloadingFileInfo::Downloading,
                                                                "/downloads/zorv/" + path);
        uint16_t parts = partCounts[index % 3];
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

BENCHMARK(BM_SerializeProduct)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DeserializeProduct)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_UpdateFilesInProduct)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    std::string root = Poco::TemporaryFile::tempName(Poco::Path::temp()) + "-vantis-bench";
    Poco::File(root).createDirectories();
    ::setenv("VANTIS_HOME", root.c_str(), 1);
    UserPreferences preferences;
    ClientUserPreferences::Set(&preferences);
    StorageDBSerializer::Start();

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    StorageDBSerializer::Shutdown();
    ClientUserPreferences::Set(nullptr);
    Poco::File(root).remove(true);
    return 0;
}
