// The backend serving the sample game that the test packs, and what every
// end-to-end install test checks against it: the input tree packed again, the
// file parts the backend served, the installed tree compared with the source.
// Subclasses say where the game is installed.
// Thread-safety: the test's thread only.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "BackendFixture.h"

namespace VantisTest {

// `size` bytes that do not compress, the same for the same seed.
std::string RandomBytes(size_t size, unsigned seed);

class GameBackendTest : public BackendTest {
protected:
    // A file part as the backend served it: the object's path (without the
    // link's query) and the byte range.
    using Part = std::pair<std::string, std::string>;

    // A file of the base game's language-neutral part in the input tree.
    std::string input(const std::string& relative) const { return sandbox.path("input/base/common/" + relative); }
    // Packs the input tree into the catalogue again, with this manifest timestamp.
    void repack(int64_t timestamp);
    // The bytes of file contents the backend has served since the last reset.
    uint64_t objectBytesServed();
    // The file parts the backend sent whole since the last reset: not those
    // cut off because the client went away.
    std::set<Part> partsServed();
    // Every file part requested since the last reset, repeats included, oldest first.
    std::vector<Part> partsRequested();
    // The file parts answered with the named fault ("corrupt", "drop", ...).
    std::set<Part> partsServedWith(const std::string& fault);
    void resetServed();
    // The bytes a part's range covers: "bytes=<first>-<last>".
    static uint64_t BytesOf(const Part& part);

    virtual std::string installDirectory() const = 0;
    // Every file and link of the selection lies in the install directory as in
    // the input tree, and nothing else but info files and redistributables.
    void expectInstalledAsTheSource(const std::string& language, bool withDlc);

private:
    struct ServedPart {
        Part part;
        uint64_t bodyBytes;
        std::string fault;
    };

    // Every request for file contents since the last reset, oldest first.
    std::vector<ServedPart> objectRequestsServed();
};

}  // namespace VantisTest
