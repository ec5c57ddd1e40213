// Runs a fuzz target over every file of a seed corpus directory, so the targets
// build and run as ordinary regression tests where no fuzzing engine exists.
// A sanitizer report or an escaped exception ends the run with a failure.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/Exception.h>
#include <Poco/File.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::string> listInputs(const std::string& directory) {
    std::vector<std::string> paths;
    Poco::DirectoryIterator end;
    for (Poco::DirectoryIterator entry(directory); entry != end; ++entry) {
        if (entry->isFile()) paths.push_back(entry.path().toString());
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<uint8_t> readInput(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIRECTORY\n", argv[0]);
        return 2;
    }
    std::vector<std::string> inputs;
    try {
        inputs = listInputs(argv[1]);
    } catch (const Poco::Exception& e) {
        std::fprintf(stderr, "cannot list %s: %s\n", argv[1], e.displayText().c_str());
        return 2;
    }
    // An empty or misplaced corpus would otherwise pass without testing anything.
    if (inputs.empty()) {
        std::fprintf(stderr, "no inputs in %s\n", argv[1]);
        return 2;
    }
    for (const std::string& path : inputs) {
        std::fprintf(stderr, "replaying %s\n", path.c_str());
        std::vector<uint8_t> input = readInput(path);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("replayed %zu inputs from %s\n", inputs.size(), argv[1]);
    return 0;
}
