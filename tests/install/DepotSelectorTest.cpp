#include <atomic>
#include <functional>
#include <map>
#include <sstream>
#include <memory>
#include <string>
#include <thread>

#include <Poco/File.h>
#include <Poco/JSON/Array.h>
#include <gtest/gtest.h>

#include "BackendFixture.h"
#include "CatalogueFixture.h"
#include "catalogue/CatalogueLayout.h"
#include "common/Logger.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/json/Serializer.h"
#include "install/DepotSelector.h"
#include "net/HttpManager.h"
#include "net/HttpTasks.h"
#include "support/DeliveryLoop.h"
#include "support/WaitFor.h"

namespace VantisClient {
namespace {

using Catalogue::CatalogueLayout;
using VantisTest::SampleGame;

const std::string BASE = SampleGame::BASE_ID;
const std::string DLC = SampleGame::DLC_ID;


std::string recentLog() { return RecentMemoryBufferChannel::Instance().getContents(); }

bool logged(const std::string& line) { return recentLog().find(line) != std::string::npos; }

// The selected files by path: their type and digest.
std::map<std::string, RemoteFileDefinition::Ptr> filesByPath(const RemoteProductDefinition& definition) {
    std::map<std::string, RemoteFileDefinition::Ptr> files;
    for (const RemoteFileDefinition::Ptr& file : const_cast<RemoteProductDefinition&>(definition).getRemoteFiles()) {
        files[file->getPath()] = file;
    }
    return files;
}

class DepotSelectorTest : public VantisTest::BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        sandbox.writeFile("Config.json", R"({"loggingChannels": ["DepotSelector"]})");
        Logger::Start("VantisClient", sandbox.path("Logs/VantisClient.log"));
        startBackend();
        HttpManager::Instance()->getHostProvider()->setHost("products", server->context().apiAuthority());
        HttpManager::Instance()->getHostProvider()->setHost("auth", server->context().apiAuthority());
        loop.reset(new VantisTest::DeliveryLoop);
        HttpManager::Instance()->signInWithPassword("player", "secret");
        ASSERT_TRUE(VantisTest::WaitFor(
            [] { return HttpManager::Instance()->getSignInState() == HttpManager::SIGNED_IN; }));
        RecentMemoryBufferChannel::Instance().Clear();
    }

    void TearDown() override {
        loop.reset();
        BackendTest::TearDown();
    }

    // Fetches the sample's product manifest, lets `edit` change its text, and
    // runs the selection for `language` and `revisions`.
    bool select(const std::string& language, const tRevisionList& revisions,
                const std::function<void(std::string&)>& edit = nullptr) {
        definition = new RemoteProductDefinition(BASE, revisions, language, false);
        bool notFound = true;
        std::string manifest = Http::Tasks::getManifestContents(BASE, notFound, abort);
        EXPECT_FALSE(notFound);
        if (edit) edit(manifest);
        EXPECT_TRUE(Serializer::DeserializeFromBuffer(*definition, manifest, Serializer::JSON));
        DepotSelector selector(definition, abort);
        return selector.deserializeDepotsSelectively(depots);
    }

    void addFault(const std::string& rule) { ASSERT_EQ(200, control("POST", "faults", rule).status); }

    std::string depotManifestFile(const std::string& name) const {
        return catalogue() + "/" + CatalogueLayout::DepotManifestPath(BASE, name);
    }

    bool requested(const std::string& pathPart) {
        return control("GET", "served").body.find(pathPart) != std::string::npos;
    }

    std::unique_ptr<VantisTest::DeliveryLoop> loop;
    Poco::SharedPtr<RemoteProductDefinition> definition;
    DepotSelector::Depots depots;
    AbortSignal::Ptr abort = new AbortSignal;
};

TEST_F(DepotSelectorTest, TakesTheDepotsOfTheSelectedGameIdsInTheLanguageOrNeutral) {
    struct Case {
        const char* language;
        tRevisionList revisions;
        const char* strings;  // the localized file's text, or null when none is taken
        bool dlc;
    };
    const Case cases[] = {
        {"en", {BASE, DLC}, "Hello\n", true},
        {"EN", {BASE}, "Hello\n", false},
        {"de", {DLC, BASE}, "Hallo\n", true},
        {"fr", {BASE}, nullptr, false},  // only the neutral depots serve it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.language);
        depots.clear();
        ASSERT_TRUE(select(c.language, c.revisions));
        std::map<std::string, RemoteFileDefinition::Ptr> files = filesByPath(*definition);
        ASSERT_TRUE(files.count("readme.txt"));
        EXPECT_EQ(VantisTest::Md5Hex("Read me.\n"), files["readme.txt"]->getHash());
        EXPECT_EQ(c.strings != nullptr, files.count("lang/strings.txt") == 1);
        if (c.strings) {
            EXPECT_EQ(VantisTest::Md5Hex(c.strings), files["lang/strings.txt"]->getHash());
        }
        EXPECT_EQ(c.dlc, files.count("dlc/map.txt") == 1);

        // The redistributable comes first and lands below its target directory, as a plain file.
        ASSERT_FALSE(depots.empty());
        EXPECT_EQ("runtime.json", depots.front()->getManifestName());
        ASSERT_TRUE(files.count("__redist/runtime/install.sh"));
        const RemoteFileDefinition::Ptr& installer = files["__redist/runtime/install.sh"];
        EXPECT_EQ(FileType::Redistributable, installer->getType());
        EXPECT_FALSE(installer->isExecutable());
        EXPECT_FALSE(definition->getRemoteSymLinks().empty());
    }
    EXPECT_TRUE(logged("Manifest 1207658924_de.json discarded for product 1207658924 installation; reason: "
                       "languageMatches: 0 revisionMatches: 1"));
    EXPECT_TRUE(logged("Manifest 1207658925_common.json discarded for product 1207658924 installation; reason: "
                       "languageMatches: 1 revisionMatches: 0"));
}

TEST_F(DepotSelectorTest, NoGameDepotMatchedFailsWithNothingSelected) {
    for (const tRevisionList& revisions : {tRevisionList{}, tRevisionList{"999"}}) {
        depots.clear();
        EXPECT_FALSE(select("en", revisions));
        EXPECT_TRUE(definition->getRemoteFiles().empty());
        EXPECT_TRUE(definition->getRemoteDirectories().empty());
    }
    EXPECT_TRUE(logged("No depot of product 1207658924 serves the selected game ids in language en"));
}

TEST_F(DepotSelectorTest, EveryFailedFetchOrUnreadableManifestFailsTheSelection) {
    struct Case {
        const char* name;
        std::function<void()> arrange;
        std::function<void(std::string&)> editProductManifest;
        const char* line;
    };
    const Case cases[] = {
        {"link leaving the install directory",
         [this] {
             const std::string file = depotManifestFile("1207658924_en.json");
             Poco::JSON::Object::Ptr manifest = VantisTest::ParseJson(VantisTest::ReadFileBytes(file));
             Poco::JSON::Object::Ptr escape = VantisTest::ParseJson(
                 R"({"path": "lang/escape", "target": "../../outside", "symlinkType": "directory"})");
             manifest->getObject("depot")->getArray("files")->add(escape);
             std::ostringstream text;
             manifest->stringify(text);
             VantisTest::WriteFileBytes(file, text.str());
         },
         nullptr, "Rejected depot manifest symlink 'lang/escape' with unsafe target '../../outside'"},
        {"depot manifest unknown",
         [this] { Poco::File(depotManifestFile("1207658924_en.json")).remove(); }, nullptr,
         "getDepotManifestUrl failed for gid 1207658924 file 1207658924_en.json with response code 404."},
        {"depot manifest not JSON",
         [this] { VantisTest::WriteFileBytes(depotManifestFile("1207658924_en.json"), "<html>"); },
         nullptr, "Deserializing manifest depot root failed for file 1207658924_en.json."},
        {"depot manifest of the wrong kind",
         [this] {
             VantisTest::WriteFileBytes(depotManifestFile("1207658924_en.json"),
                                        R"({"version": "two", "depot": {"files": 5}})");
         },
         nullptr, "Deserializing manifest depot definition failed for file 1207658924_en.json."},
        {"depot document refused",
         [this] {
             addFault(R"({"listener": "api", "path": "^/content/.*1207658924_en", "action": "status", "status": 400})");
         },
         nullptr, "getManifestOrBinaryFile failed for file 1207658924_en.json with response code 400."},
        {"repository refused",
         [this] {
             addFault(R"({"listener": "api", "path": "repository", "action": "status", "status": 400})");
         },
         nullptr, "Failed to receive manifest for redistributables: 400"},
        {"depot manifest link not https",
         [this] { addFault(R"({"listener": "api", "path": "/manifests/1207658924_en", "action": "http-link"})"); },
         nullptr, "Refused the link for depot manifest 1207658924_en.json to host '127.0.0.1' over 'http'"},
        {"repository document refused",
         [this] {
             addFault(R"({"listener": "api", "path": "^/content/.*repository", "action": "status", "status": 400})");
         },
         nullptr, "/content/redists/repository.json?*** - error code 400"},
        {"redistributable unknown", nullptr,
         [](std::string& manifest) {
             const std::string name = "\"runtime\"";
             manifest.replace(manifest.find(name), name.size(), "\"absent\"");
         },
         "Remote redist absent not found"},
    };
    // In order: each case leaves its change to the catalogue behind.
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(200, control("DELETE", "faults").status);
        RecentMemoryBufferChannel::Instance().Clear();
        depots.clear();
        if (c.arrange) c.arrange();
        EXPECT_FALSE(select("en", {BASE, DLC}, c.editProductManifest));
        EXPECT_TRUE(logged(c.line)) << recentLog();
        EXPECT_TRUE(definition->getRemoteFiles().empty());
    }
}

TEST_F(DepotSelectorTest, EveryManifestFetchOutlastsTransientFaults) {
    // One fault or two of another kind on each document and on some links.
    for (const char* rule : {
             R"("path": "^/content/games/1207658924/product", "action": "status", "status": 503, "first": 1)",
             R"("path": "^/redists/.*repository", "action": "status", "status": 429, "first": 1)",
             R"("path": "^/content/.*repository", "action": "truncate", "bytes": 20, "first": 1)",
             R"("path": "^/content/.*runtime\\.json", "action": "drop", "first": 2)",
             R"("path": "^/content/.*1207658924_en", "action": "status", "status": 500, "first": 2)",
             R"("path": "/manifests/1207658925_common", "action": "drop", "first": 2)",
         }) {
        addFault(std::string(R"({"listener": "api", )") + rule + "}");
    }
    ASSERT_TRUE(select("en", {BASE, DLC})) << recentLog();
    std::map<std::string, RemoteFileDefinition::Ptr> files = filesByPath(*definition);
    EXPECT_EQ(1u, files.count("dlc/map.txt"));
    EXPECT_EQ(1u, files.count("__redist/runtime/install.sh"));
    for (const char* fetch : {"the product manifest of game 1207658924", "the redistributables' repository",
                              "depot manifest runtime.json", "depot manifest 1207658924_en.json",
                              "depot manifest 1207658925_common.json"}) {
        EXPECT_TRUE(logged(std::string("Trying ") + fetch + " again")) << fetch << "\n" << recentLog();
    }
}

TEST_F(DepotSelectorTest, TheProductManifestFetchTellsAnUnknownGameApart) {
    addFault(R"({"listener": "api", "path": "^/games/1207658925/", "action": "status", "status": 400})");
    struct Case {
        const char* gameId;
        bool notFound;
    };
    for (const Case& c : {Case{"404404404", true}, Case{"1207658925", false}}) {
        SCOPED_TRACE(c.gameId);
        bool notFound = !c.notFound;
        EXPECT_EQ("", Http::Tasks::getManifestContents(c.gameId, notFound, abort));
        EXPECT_EQ(c.notFound, notFound);
    }
    bool notFound = true;
    EXPECT_EQ(VantisTest::ReadFileBytes(catalogue() + "/" + CatalogueLayout::ProductManifestPath(BASE)),
              Http::Tasks::getManifestContents(BASE, notFound, abort));
    EXPECT_FALSE(notFound);
}

TEST_F(DepotSelectorTest, AnAbortStopsTheSelectionBeforeTheNextDepot) {
    addFault(R"({"listener": "api", "path": "^/content/.*1207658924_en", "action": "delay", "delayMs": 2000})");
    std::thread aborter([this] {
        // The link answer comes at once; the document behind it is held back.
        VantisTest::WaitFor([this] { return requested("manifests/1207658924_en.json"); });
        abort->raise();
    });
    EXPECT_FALSE(select("en", {BASE, DLC}));
    aborter.join();
    EXPECT_TRUE(logged("getManifestOrBinaryFile failed for file 1207658924_en.json with response code -1."));
    EXPECT_FALSE(requested("manifests/1207658925_common.json"));
    EXPECT_TRUE(definition->getRemoteFiles().empty());
    EXPECT_FALSE(logged("No depot of product"));
}

TEST(DepotMergeTest, TheDepotListedLastWinsAndRedistributableFilesLoseTheirFlags) {
    auto depot = [](const std::string& name, const std::string& entries) {
        DepotDefinition::Ptr definition = new DepotDefinition(name);
        EXPECT_EQ(DepotDefinition::Reading::Read, definition->readText(R"({"depot": {"files": [)" + entries + "]}}"));
        return definition;
    };
    const std::string shared = R"({"path": "same.txt", "size": 1, "url": "u", "offset": 0, "hash": ")";
    DepotDefinition::Ptr redist = depot("redist.json", R"({"path": "setup", "size": 1, "url": "u", "offset": 0,
        "hash": "r", "executable": true, "": true}, {"path": "same.txt", "size": 1, "url": "u", "offset": 0,
        "hash": "r"})");
    DepotDefinition::Ptr first = depot("first.json", shared + R"(a"}, {"directory": true, "path": "saves"})");
    DepotDefinition::Ptr second = depot("second.json", shared + R"(b"}, {"directory": true, "path": "saves"})");

    Poco::SharedPtr<RemoteProductDefinition> definition = new RemoteProductDefinition("1", {"1"}, "en", false);
    DepotSelector selector(definition, new AbortSignal);
    RemoteRedistInfo info;
    info.redist = "runtime";
    info.targetDir = "__redist/runtime";
    selector.adjustFilePathsForRedist(info, *redist);
    ASSERT_TRUE(selector.mergeFilesInDepots({redist, first, second}));

    std::map<std::string, RemoteFileDefinition::Ptr> files = filesByPath(*definition);
    ASSERT_EQ(3u, files.size());
    EXPECT_EQ("b", files["same.txt"]->getHash());
    const RemoteFileDefinition::Ptr& setup = files["__redist/runtime/setup"];
    ASSERT_TRUE(setup);
    EXPECT_EQ(FileType::Redistributable, setup->getType());
    EXPECT_FALSE(setup->isExecutable());
    EXPECT_FALSE(setup->isHidden());
    EXPECT_EQ(1u, definition->getRemoteDirectories().size());
}

}  // namespace
}  // namespace VantisClient
