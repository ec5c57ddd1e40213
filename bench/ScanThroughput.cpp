// Measures the installed files scanner the way a first scan of an existing
// install uses it: every file the manifest lists is on disk and recorded
// nowhere, so each is adopted and hashed, two at a time, with the client's
// logging on. Checks every digest against a reference list in md5sum's format.
// Run by bench/scan-throughput, next to md5sum on the same files.
//   vantis-bench-scan <install-directory> <md5sum-list> <log-file>
// The list's paths are relative to the install directory.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "common/AbortSignal.h"
#include "common/Logger.h"
#include "install/InstalledFilesScanner.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteFileDefinition.h"

#include "DiscardingCallback.h"

using namespace VantisClient;

namespace {

// Relative path to MD5, from lines "<hash>  <path>".
std::map<std::string, std::string> readReference(const std::string& listPath) {
    std::map<std::string, std::string> reference;
    std::ifstream list(listPath);
    std::string line;
    while (std::getline(list, line)) {
        if (line.size() > 34) reference[line.substr(34)] = line.substr(0, 32);
    }
    return reference;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <install-directory> <md5sum-list> <log-file>\n", argv[0]);
        return 2;
    }
    const std::map<std::string, std::string> reference = readReference(argv[2]);
    if (reference.empty()) {
        std::fprintf(stderr, "no files listed in %s\n", argv[2]);
        return 2;
    }
    Logger::Start("VantisClient", argv[3]);

    ProductInfo::Ptr product = new ProductInfo;
    product->setGameId("1");
    product->setLocalPath(argv[1]);
    for (const auto& entry : reference) {
        product->getFiles().addRemoteFileInfo(
            new RemoteFileDefinition(FileInformation(FileType::Game, entry.first, entry.second, 0),
                                     RemoteFileLocation("bench", 0), RemoteFileDefinition::DEFAULT_PART_SIZE));
    }
    DiscardingCallback callback;
    AbortSignal::Ptr abortSignal = new AbortSignal;
    InstalledFilesScanner scanner(product, callback, abortSignal);

    const auto started = std::chrono::steady_clock::now();
    scanner.scan();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    uint64_t bytes = 0;
    int mismatches = 0;
    const ProductFiles::InstalledFiles& installed = product->getFiles().getInstalledFiles();
    for (const auto& entry : reference) {
        auto found = installed.find(entry.first);
        if (found != installed.end()) bytes += found->second->getFileInfo().getSize();
        if (found == installed.end() || found->second->getFileInfo().getHash() != entry.second) {
            std::fprintf(stderr, "digest differs from md5sum's: %s\n", entry.first.c_str());
            ++mismatches;
        }
    }
    std::printf("files %zu bytes %llu seconds %.3f MiBps %.1f mismatches %d\n", reference.size(),
                static_cast<unsigned long long>(bytes), seconds, bytes / 1048576.0 / seconds, mismatches);
    return mismatches == 0 ? 0 : 1;
}
