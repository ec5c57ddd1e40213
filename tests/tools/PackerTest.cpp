#include <sys/stat.h>

#include <set>
#include <string>
#include <vector>

#include <Poco/DirectoryIterator.h>
#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/StringTokenizer.h>
#include <gtest/gtest.h>

#include "CatalogueFixture.h"
#include "catalogue/CatalogueLayout.h"
#include "pack/PackDescription.h"
#include "pack/Packer.h"
#include "support/Sandbox.h"

using namespace VantisClient::Pack;
using VantisTest::SampleGame;

namespace {

class PackerTest : public VantisTest::SandboxTest {
protected:
    std::string input() const { return sandbox.path("input"); }

    // Packs the description found in the input root; false with `error` set on failure.
    bool packInto(const std::string& catalogue, std::string& error) {
        PackDescription description;
        if (!PackDescription::Parse(VantisTest::ReadFileBytes(input() + "/game.json"), description, error)) return false;
        PackSummary summary;
        return Packer(description, input(), catalogue).pack(summary, error);
    }

    void packSample(const std::string& catalogue) {
        SampleGame::Write(input());
        std::string error;
        ASSERT_TRUE(packInto(catalogue, error)) << error;
    }

    static Poco::JSON::Object::Ptr readJson(const std::string& path) {
        return VantisTest::ParseJson(VantisTest::ReadFileBytes(path));
    }

    static std::vector<Poco::JSON::Object::Ptr> entriesOf(const std::string& manifestPath) {
        Poco::JSON::Array::Ptr files = readJson(manifestPath)->getObject("depot")->getArray("files");
        std::vector<Poco::JSON::Object::Ptr> entries;
        for (size_t i = 0; i < files->size(); ++i) entries.push_back(files->getObject(static_cast<unsigned>(i)));
        return entries;
    }
};

std::vector<std::string> listTree(const std::string& root, const std::string& relative = "") {
    std::vector<std::string> paths;
    for (Poco::DirectoryIterator it(relative.empty() ? root : root + "/" + relative), end; it != end; ++it) {
        std::string child = relative.empty() ? it.name() : relative + "/" + it.name();
        paths.push_back(child);
        if (it->isDirectory()) {
            std::vector<std::string> nested = listTree(root, child);
            paths.insert(paths.end(), nested.begin(), nested.end());
        }
    }
    return paths;
}

}  // namespace

TEST_F(PackerTest, EveryFileRoundTripsThroughManifestsAndObjects) {
    const std::string catalogue = sandbox.path("catalogue");
    packSample(catalogue);
    auto sources = SampleGame::SourceDirectories(input());

    Poco::JSON::Object::Ptr product = readJson(catalogue + "/games/1207658924/product.json")->getObject("product");
    Poco::JSON::Array::Ptr depots = product->getArray("depots");
    std::set<std::string> urlsSeen;
    std::string readmeLocation, copyLocation;
    int zipFiles = 0, links = 0, supportFiles = 0, infoFiles = 0;
    for (size_t d = 0; d < depots->size(); ++d) {
        Poco::JSON::Object::Ptr depot = depots->getObject(static_cast<unsigned>(d));
        const bool redist = depot->has("redist");
        const std::string manifest = redist ? depot->getValue<std::string>("redist") + ".json"
                                            : depot->getValue<std::string>("manifest");
        SCOPED_TRACE(manifest);
        const std::string manifestPath = redist ? catalogue + "/redists/manifests/" + manifest
                                                : catalogue + "/games/1207658924/manifests/" + manifest;
        for (const auto& entry : entriesOf(manifestPath)) {
            const std::string path = entry->getValue<std::string>("path");
            SCOPED_TRACE(path);
            if (entry->has("directory")) continue;
            if (entry->has("symlinkType")) {
                EXPECT_EQ("lib/libgame.so", path);
                EXPECT_EQ("libgame.so.1", entry->getValue<std::string>("target"));
                EXPECT_EQ("file", entry->getValue<std::string>("symlinkType"));
                ++links;
                continue;
            }
            const std::string url = entry->getValue<std::string>("url");
            std::string content;
            if (entry->getValue<uint64_t>("size") > 0) {
                ASSERT_EQ(2u, Poco::StringTokenizer(url, "/").count());
                const std::string object = (redist ? catalogue + "/redists/objects/" : catalogue + "/objects/") + url;
                content = VantisTest::ReassembleFile(object, entry);
            } else {
                EXPECT_EQ("", url);
            }
            EXPECT_EQ(entry->getValue<std::string>("hash"), VantisTest::Md5Hex(content));
            if (path.rfind(".zorvgame-", 0) == 0) {
                Poco::JSON::Object::Ptr info = VantisTest::ParseJson(content);
                EXPECT_EQ(manifest.substr(11, 2), info->getValue<std::string>("language"));
                EXPECT_EQ(manifest.substr(0, 10) == SampleGame::DLC_ID ? SampleGame::BASE_ID : "",
                          info->getValue<std::string>("dependencyGameId"));
                EXPECT_TRUE(entry->getValue<bool>(""));
                ++infoFiles;
                continue;
            }
            const bool support = entry->has("support");
            supportFiles += support;
            // Support files sit in a directory named after their game.
            const std::string supportPrefix = std::string(SampleGame::BASE_ID) + "/";
            if (support) {
                EXPECT_EQ(0u, path.rfind(supportPrefix, 0));
            }
            const std::string source = support ? input() + "/base/support/" + path.substr(supportPrefix.size())
                                               : sources[manifest] + "/" + path;
            EXPECT_EQ(VantisTest::ReadFileBytes(source), content);
            struct stat info {};
            ASSERT_EQ(0, stat(source.c_str(), &info));
            EXPECT_EQ((info.st_mode & S_IXUSR) != 0, entry->has("executable"));
            EXPECT_EQ(Poco::Path(path).getFileName()[0] == '.', entry->has(""));
            zipFiles += url.find(".zip") != std::string::npos;
            if (path == "data/level.txt") {
                EXPECT_EQ(2u, entry->getArray("parts")->size());
            }
            if (path == "data/noise.bin") {
                EXPECT_FALSE(entry->has("parts"));
            }
            std::string location = url + "@" + std::to_string(entry->getValue<uint64_t>("offset"));
            if (path == "readme.txt") readmeLocation = location;
            if (path == "data/copy.txt") copyLocation = location;
        }
    }
    EXPECT_EQ(1, zipFiles);
    EXPECT_EQ(1, links);
    EXPECT_EQ(1, supportFiles);
    EXPECT_EQ(4, infoFiles);
    EXPECT_EQ(readmeLocation, copyLocation) << "equal content is stored once";

    EXPECT_EQ(42, product->getValue<int>("timestamp"));
    Poco::JSON::Object::Ptr dlc = product->getArray("gameIDs")->getObject(1);
    EXPECT_EQ(SampleGame::DLC_ID, dlc->getValue<std::string>("gameID"));
    EXPECT_FALSE(dlc->getValue<bool>("standalone"));
    EXPECT_EQ("setup.sh", product->getArray("support_commands")->getObject(0)->getValue<std::string>("executable"));
    Poco::JSON::Object::Ptr repository = readJson(catalogue + "/redists/repository.json");
    EXPECT_EQ("runtime.json",
              repository->getObject("product")->getArray("depots")->getObject(0)->getValue<std::string>("manifest"));

    std::vector<std::string> directories;
    for (const auto& entry : entriesOf(catalogue + "/games/1207658924/manifests/1207658924_common.json")) {
        if (entry->has("directory")) directories.push_back(entry->getValue<std::string>("path"));
    }
    EXPECT_EQ((std::vector<std::string>{"bin", "data", "data/nested", "data/nested/deep", "lib", "saves"}), directories);
}

TEST_F(PackerTest, SameInputGivesTheSameCatalogue) {
    packSample(sandbox.path("first"));
    std::string error;
    ASSERT_TRUE(packInto(sandbox.path("second"), error)) << error;
    std::vector<std::string> first = listTree(sandbox.path("first"));
    ASSERT_EQ(first, listTree(sandbox.path("second")));
    for (const std::string& path : first) {
        if (Poco::File(sandbox.path("first/" + path)).isDirectory()) continue;
        EXPECT_EQ(VantisTest::ReadFileBytes(sandbox.path("first/" + path)),
                  VantisTest::ReadFileBytes(sandbox.path("second/" + path)))
            << path;
    }
}

TEST_F(PackerTest, RefusesInputThatWouldEscapeOrConfuseTheCatalogue) {
    struct Case {
        const char* name;
        const char* description;
        const char* linkTarget;  // a link named "game/link" with this target, when set
        const char* expected;
    };
    const Case cases[] = {
        {"absolute link", R"({"gameId":"1","name":"G","languages":["en"],"directory":"game"})", "/etc/passwd",
         "points outside"},
        {"climbing link", R"({"gameId":"1","name":"G","languages":["en"],"directory":"game"})", "../../secret",
         "points outside"},
        {"directory outside the input", R"({"gameId":"1","name":"G","languages":["en"],"directory":"../x"})", nullptr,
         "inside the input root"},
        {"no language", R"({"gameId":"1","name":"G","languages":[]})", nullptr, "at least one language"},
        {"game id that is no number", R"({"gameId":"1/2","name":"G","languages":["en"]})", nullptr, "decimal digits"},
        {"redistributable named like the manifests folder",
         R"({"gameId":"1","name":"G","languages":["en"],"redistributables":[{"name":"manifests","directory":"r"}]})",
         nullptr, "not usable"},
        {"install directory with a slash", R"({"gameId":"1","name":"G","installDirectory":"a/b","languages":["en"]})",
         nullptr, "plain directory name"},
        {"info file shipped by the game", R"({"gameId":"1","name":"G","languages":["en"],"directory":"game"})", nullptr,
         "already holds"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Poco::File(input()).exists() && (Poco::File(input()).remove(true), true);
        VantisTest::WriteFileBytes(input() + "/game.json", test.description);
        VantisTest::WriteFileBytes(input() + "/game/file.txt", "x");
        if (test.linkTarget) symlink(test.linkTarget, (input() + "/game/link").c_str());
        if (std::string(test.name) == "info file shipped by the game") {
            VantisTest::WriteFileBytes(input() + "/game/.zorvgame-1.info", "{}");
        }
        std::string error;
        EXPECT_FALSE(packInto(sandbox.path("catalogue"), error));
        EXPECT_NE(std::string::npos, error.find(test.expected)) << error;
    }
}

TEST_F(PackerTest, CarriesASaneCoverPictureForTheGameAndItsExtraContent) {
    using VantisClient::Catalogue::CatalogueLayout;
    const std::string catalogue = sandbox.path("catalogue");
    packSample(catalogue);
    const std::string cover = VantisTest::ReadFileBytes(input() + "/cover.png");
    for (const char* gameId : {SampleGame::BASE_ID, SampleGame::DLC_ID}) {
        EXPECT_EQ(cover, VantisTest::ReadFileBytes(catalogue + "/" + CatalogueLayout::CoverPath(gameId))) << gameId;
    }

    // A frame header of 2x3 pixels after the start-of-image and one other segment.
    const std::string jpeg("\xff\xd8\xff\xe0\x00\x04\x00\x00\xff\xc0\x00\x11\x08\x00\x03\x00\x02\x03", 18);
    const std::string wide = SampleGame::CoverPng(5000, 1);
    struct Case {
        const char* name;
        const char* fileName;
        std::string bytes;
        const char* expected;  // empty when the cover is carried
    };
    const Case cases[] = {
        {"a JPEG", "cover.jpg", jpeg, ""},
        {"text named like a picture", "cover.png", "not a picture at all", "neither a PNG nor a JPEG"},
        {"a cut picture", "cover.png", cover.substr(0, 12), "sides cannot be read"},
        {"a picture too wide", "cover.png", wide, "5000x1 pixels"},
        {"a picture without sides", "cover.jpg", std::string(jpeg).replace(13, 4, std::string(4, '\0')), "0x0 pixels"},
        {"a file too large", "cover.png", cover + std::string(5 * 1024 * 1024, 'x'), "at most"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        Poco::File(input() + "/cover.png").remove();
        VantisTest::WriteFileBytes(input() + "/" + test.fileName, test.bytes);
        std::string error;
        const bool packed = packInto(catalogue, error);
        if (*test.expected == '\0') {
            ASSERT_TRUE(packed) << error;
            EXPECT_EQ(test.bytes, VantisTest::ReadFileBytes(catalogue + "/" + CatalogueLayout::CoverPath(SampleGame::BASE_ID)));
        } else {
            EXPECT_FALSE(packed);
            EXPECT_NE(std::string::npos, error.find(test.fileName)) << error;
            EXPECT_NE(std::string::npos, error.find(test.expected)) << error;
        }
        if (Poco::File(input() + "/" + test.fileName).exists()) Poco::File(input() + "/" + test.fileName).remove();
        VantisTest::WriteFileBytes(input() + "/cover.png", cover);
    }

    // Packed again without one, the game has no cover left.
    Poco::File(input() + "/cover.png").remove();
    std::string error;
    ASSERT_TRUE(packInto(catalogue, error)) << error;
    EXPECT_FALSE(Poco::File(catalogue + "/" + CatalogueLayout::CoverPath(SampleGame::BASE_ID)).exists());
}
