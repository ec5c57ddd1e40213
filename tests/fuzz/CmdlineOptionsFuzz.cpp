// The option parser on an arbitrary command line: the input split at zero bytes
// is the argument list, program path first. Parsing must never throw, and the
// argument list the options are forwarded with must read back, in the program
// that receives it, as the same options without a complaint.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "common/CmdlineOptions.h"

namespace {

using VantisClient::CmdlineOptions;

// A shell's own options, so that the extra options are fuzzed too.
const std::vector<CmdlineOptions::ExtraOption> EXTRA_OPTIONS = {
    {"user", CmdlineOptions::EOptionKind::Value},
    {"install", CmdlineOptions::EOptionKind::Flag},
};

std::vector<std::string> splitAtZeroBytes(const std::string& text) {
    std::vector<std::string> arguments;
    size_t start = 0;
    for (size_t end = text.find('\0'); end != std::string::npos; end = text.find('\0', start)) {
        arguments.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    arguments.push_back(text.substr(start));
    return arguments;
}

void fail(const char* what, const std::string& detail) {
    std::fprintf(stderr, "%s: %s\n", what, detail.c_str());
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An escaping exception ends the run, and the fuzzer keeps the input.
    const CmdlineOptions options(splitAtZeroBytes(VantisFuzz::ToText(data, size)), EXTRA_OPTIONS);

    std::vector<std::string> forwarded{"vantis-updater"};
    for (const std::string& argument : options.createArgumentsList()) forwarded.push_back(argument);
    const CmdlineOptions received(forwarded, EXTRA_OPTIONS);
    if (!received.parseErrors().empty()) fail("the forwarded list was rejected", received.parseErrors());
    if (received.specifiedOptions() != options.specifiedOptions()) {
        fail("the forwarded list reads back as other options", options.createArgumentsStringQuoted());
    }
    return 0;
}
