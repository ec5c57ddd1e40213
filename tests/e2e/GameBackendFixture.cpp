#include "GameBackendFixture.h"

#include <filesystem>
#include <map>
#include <random>

#include <Poco/JSON/Array.h>
#include <Poco/StringTokenizer.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "pack/PackDescription.h"
#include "pack/Packer.h"

namespace VantisTest {

namespace fs = std::filesystem;

namespace {

// Everything below `root` by relative path: files by whether they may be run and
// their bytes, links by their target, empty directories as such.
std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    if (!fs::exists(root)) return tree;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).generic_string();
        if (entry.is_symlink()) {
            tree[relative] = "-> " + fs::read_symlink(entry.path()).generic_string();
        } else if (entry.is_directory() && fs::is_empty(entry.path())) {
            tree[relative] = "(empty directory)";
        } else if (entry.is_regular_file()) {
            const bool runnable = (entry.status().permissions() & fs::perms::owner_exec) != fs::perms::none;
            tree[relative] = (runnable ? "runnable " : "") + ReadFileBytes(entry.path().string());
        }
    }
    return tree;
}

bool IsAddedByTheStore(const std::string& relative) {
    return relative.rfind(".zorvgame-", 0) == 0 || relative.rfind("__redist/", 0) == 0;
}

}  // namespace

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    return bytes;
}

void GameBackendTest::repack(int64_t timestamp) {
    VantisClient::Pack::PackDescription description;
    std::string error;
    ASSERT_TRUE(VantisClient::Pack::PackDescription::Parse(ReadFileBytes(sandbox.path("input/game.json")), description,
                                                           error));
    description.timestamp = timestamp;
    VantisClient::Pack::PackSummary summary;
    ASSERT_TRUE(VantisClient::Pack::Packer(description, sandbox.path("input"), catalogue()).pack(summary, error))
        << error;
}

uint64_t GameBackendTest::objectBytesServed() {
    uint64_t bytes = 0;
    for (const ServedPart& served : objectRequestsServed()) bytes += BytesOf(served.part);
    return bytes;
}

std::set<GameBackendTest::Part> GameBackendTest::partsServed() {
    std::set<Part> parts;
    for (const ServedPart& served : objectRequestsServed()) {
        if (served.bodyBytes == BytesOf(served.part)) parts.insert(served.part);
    }
    return parts;
}

std::vector<GameBackendTest::Part> GameBackendTest::partsRequested() {
    std::vector<Part> parts;
    for (const ServedPart& served : objectRequestsServed()) parts.push_back(served.part);
    return parts;
}

std::set<GameBackendTest::Part> GameBackendTest::partsServedWith(const std::string& fault) {
    std::set<Part> parts;
    for (const ServedPart& served : objectRequestsServed()) {
        if (served.fault == fault) parts.insert(served.part);
    }
    return parts;
}

std::vector<GameBackendTest::ServedPart> GameBackendTest::objectRequestsServed() {
    std::vector<ServedPart> requests;
    Poco::JSON::Array::Ptr entries = control("GET", "served").json()->getArray("served");
    for (size_t i = 0; i < entries->size(); ++i) {
        Poco::JSON::Object::Ptr entry = entries->getObject(static_cast<unsigned>(i));
        const std::string path = entry->getValue<std::string>("path");
        if (path.find("/objects/") == std::string::npos) continue;
        const Part part(path.substr(0, path.find('?')), entry->getValue<std::string>("range"));
        requests.push_back(ServedPart{part, entry->getValue<uint64_t>("bodyBytes"),
                                      entry->optValue<std::string>("fault", "")});
    }
    return requests;
}

void GameBackendTest::resetServed() { ASSERT_EQ(200, control("DELETE", "served").status); }

uint64_t GameBackendTest::BytesOf(const Part& part) {
    const std::string& range = part.second;
    if (range.empty()) return 0;
    Poco::StringTokenizer bounds(range.substr(range.find('=') + 1), "-");
    return std::stoull(bounds[1]) - std::stoull(bounds[0]) + 1;
}

void GameBackendTest::expectInstalledAsTheSource(const std::string& language, bool withDlc) {
    std::map<std::string, std::string> expected = Tree(sandbox.path("input/base/common"));
    for (const auto& entry : Tree(sandbox.path("input/base/" + language))) expected.insert(entry);
    if (withDlc) {
        for (const auto& entry : Tree(sandbox.path("input/dlc/common"))) expected.insert(entry);
    }
    std::map<std::string, std::string> installed = Tree(installDirectory());
    for (auto it = installed.begin(); it != installed.end();) {
        it = IsAddedByTheStore(it->first) ? installed.erase(it) : std::next(it);
    }
    ASSERT_EQ(expected.size(), installed.size());
    for (const auto& entry : expected) {
        SCOPED_TRACE(entry.first);
        auto found = installed.find(entry.first);
        ASSERT_NE(installed.end(), found);
        EXPECT_TRUE(entry.second == found->second) << "contents differ";
    }
}

}  // namespace VantisTest
