// Reads one depot manifest the way an install does, from its text to the
// depot's file, directory and link definitions, and prints how long that took
// and what it read. Run by bench/manifest-throughput, next to jq reading the
// same file.
//   vantis-bench-manifest <manifest.json> <log-file>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "common/Logger.h"
#include "model/DepotDefinition.h"

using namespace VantisClient;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <manifest.json> <log-file>\n", argv[0]);
        return 2;
    }
    std::ifstream file(argv[1], std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    const std::string text = contents.str();
    Logger::Start("VantisClient", argv[2]);

    DepotDefinition depot(argv[1]);
    const auto start = std::chrono::steady_clock::now();
    const DepotDefinition::Reading reading = depot.readText(text);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (reading != DepotDefinition::Reading::Read) {
        std::fprintf(stderr, "the manifest was not read; see %s\n", argv[2]);
        return 1;
    }
    std::printf("files %zu directories %zu links %zu seconds %.3f\n", depot.getFiles().size(),
                depot.getDirectories().size(), depot.getSymLinks().size(), took.count());
    return 0;
}
