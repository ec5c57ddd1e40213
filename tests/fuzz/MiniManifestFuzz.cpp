// An info file in a game's installation directory: the loader reads one file
// holding the input from a private temporary directory and must leave that
// directory as it found it.
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <Poco/File.h>
#include <Poco/Path.h>

#include "model/MiniManifestLoader.h"

namespace {

// Made once per process and removed when it exits: a fuzzing run calls the
// target millions of times.
class InstallDirectory {
public:
    InstallDirectory() {
        std::string pattern = Poco::Path::temp() + "vantis-fuzz-XXXXXX";
        if (mkdtemp(&pattern[0]) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        m_path = pattern;
    }
    ~InstallDirectory() { Poco::File(m_path).remove(true); }

    const std::string& path() const { return m_path; }

    bool isEmpty() const {
        std::vector<std::string> names;
        Poco::File(m_path).list(names);
        return names.empty();
    }

private:
    std::string m_path;
};

const InstallDirectory& installDirectory() {
    static InstallDirectory directory;
    return directory;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const InstallDirectory& directory = installDirectory();
    const std::string infoPath = directory.path() + "/.zorvgame-1.info";
    {
        std::ofstream info(infoPath, std::ios::binary | std::ios::trunc);
        info.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    // The loader turns every unusable file into error text, so no exception may
    // escape it: one would stop the other info files of the game from loading.
    VantisClient::MiniManifestLoader loader("1", directory.path());
    loader.loadAndMergeMiniManifests();
    Poco::File(infoPath).remove();
    if (!directory.isEmpty()) {
        std::fprintf(stderr, "the loader left files in %s\n", directory.path().c_str());
        std::abort();
    }
    return 0;
}
