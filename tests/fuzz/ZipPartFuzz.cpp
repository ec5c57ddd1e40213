// One compressed file part as the content server sends it: unpacked into memory
// with the limit an install gives it. Whatever the bytes, the reader may reject
// them but never writes past its limit nor reports more than it wrote.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "FuzzSupport.h"
#include "install/DecompressOneFile.h"

namespace {

// Small, so that an input that inflates without end is cut short quickly.
const uint64_t OUTPUT_LIMIT = 1 << 20;

void unpack(const std::string& part) {
    std::istringstream input(part);
    std::ostringstream output;
    VantisClient::DecompressOneFile decompressor(input, output, OUTPUT_LIMIT);
    VantisFuzz::RunReader([&] { decompressor.decompress(); });
    const uint64_t produced = output.str().size();
    if (produced > OUTPUT_LIMIT || decompressor.bytesWritten() != produced) {
        std::fprintf(stderr, "wrote %llu bytes, reported %llu, limit %llu\n", static_cast<unsigned long long>(produced),
                     static_cast<unsigned long long>(decompressor.bytesWritten()),
                     static_cast<unsigned long long>(OUTPUT_LIMIT));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    unpack(VantisFuzz::ToText(data, size));
    return 0;
}
