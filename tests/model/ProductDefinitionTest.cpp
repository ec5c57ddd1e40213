#include <gtest/gtest.h>

#include <Poco/Exception.h>

#include "model/DepotDefinition.h"
#include "model/ModelTestSupport.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {
namespace {

using VantisTest::Json;
using VantisTest::LinkEntry;
using Reading = DepotDefinition::Reading;

class ProductDefinitionTest : public VantisTest::LoggingTest {};

std::vector<std::string> names(const LanguageList& languages) {
    std::vector<std::string> result;
    for (const LanguageInfo& language : languages) result.push_back(language.asString());
    return result;
}

TEST_F(ProductDefinitionTest, MinimalProductManifestReads) {
    ProductDefinitionBase product;
    ASSERT_TRUE(product.deserializeFromVersion(
        Json(R"({"version": 2, "product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5}})"), 2));
    EXPECT_EQ("X", product.getProductDir());
    EXPECT_EQ("1", product.getRootGameId());
    EXPECT_EQ(5, product.getManifestTimestamp());
    EXPECT_FALSE(product.getDisableSync());
    EXPECT_TRUE(product.getSupportCommands().empty());
    EXPECT_TRUE(product.getAvailableGameIDs().empty());
    EXPECT_EQ(0u, product.getCurrentVersion());
}

TEST_F(ProductDefinitionTest, MissingRequiredProductKeysFailWithoutLogLine) {
    const char* documents[] = {
        R"({"installDirectory": "X", "rootGameID": "1", "timestamp": 5})",
        R"({"product": {"rootGameID": "1", "timestamp": 5}})",
        R"({"product": {"installDirectory": "X", "timestamp": 5}})",
        R"({"product": {"installDirectory": "X", "rootGameID": "1"}})",
    };
    for (const char* document : documents) {
        SCOPED_TRACE(document);
        ProductDefinitionBase product;
        EXPECT_FALSE(product.deserializeFromVersion(Json(document), 1));
    }
    EXPECT_TRUE(logged().empty());
}

TEST_F(ProductDefinitionTest, TimestampMayBeTextWithThousandsSeparators) {
    struct TimestampCase {
        const char* value;
        bool ok;
        int64_t timestamp;
    };
    const TimestampCase cases[] = {
        {R"("12,345")", true, 12345}, {R"("-7")", true, -7},     {"9007199254740993", true, 9007199254740993},
        {R"("soon")", false, 0},      {R"("")", false, 0},
    };
    for (const TimestampCase& c : cases) {
        SCOPED_TRACE(c.value);
        ProductDefinitionBase product;
        bool ok = product.deserializeFromVersion(
            Json(std::string(R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": )") + c.value +
                 "}}"),
            1);
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.timestamp, product.getManifestTimestamp());
    }
    EXPECT_TRUE(loggedError("Product manifest for gid 1 has a timestamp that is not a number: 'soon'."));
}

TEST_F(ProductDefinitionTest, ReadsSupportCommandsAndGameIds) {
    ProductDefinitionBase product;
    ASSERT_TRUE(product.deserializeFromVersion(Json(R"({"product": {
        "installDirectory": "X", "rootGameID": "1", "timestamp": 5, "disableSync": true,
        "support_commands": [{"executable": "setup.exe", "argument": "/q", "gameID": "1"}],
        "gameIDs": [
            {"gameID": "1", "name": {"en": "Zorv"}},
            {"standalone": true},
            {"gameID": "2", "standalone": false, "required": true, "dependencies": ["1"]},
            {"gameID": "3", "standalone": true, "required": false}
        ]}})"),
                                               1));
    EXPECT_TRUE(product.getDisableSync());
    ASSERT_EQ(1u, product.getSupportCommands().size());
    EXPECT_EQ("setup.exe", product.getSupportCommands()[0].executable);
    EXPECT_EQ("/q", product.getSupportCommands()[0].argument);
    EXPECT_EQ("1", product.getSupportCommands()[0].gameId);

    // The entry without "gameID" is skipped; "required" overrides "standalone".
    const std::vector<AvailableGameIDInfo>& ids = product.getAvailableGameIDs();
    ASSERT_EQ(3u, ids.size());
    EXPECT_EQ("1", ids[0].gameId);
    EXPECT_TRUE(ids[0].standalone);
    EXPECT_EQ("Zorv", ids[0].names.getText());
    EXPECT_EQ("2", ids[1].gameId);
    EXPECT_TRUE(ids[1].standalone);
    EXPECT_EQ(std::vector<std::string>{"1"}, ids[1].dependencies);
    EXPECT_FALSE(ids[2].standalone);
}

TEST_F(ProductDefinitionTest, MistypedOrIncompleteEntriesThrowToTheCaller) {
    const char* documents[] = {
        R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5,
            "support_commands": [{"executable": "setup.exe", "gameID": "1"}]}})",
        R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5, "support_commands": ["x"]}})",
        R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": null}})",
        R"({"product": "none"})",
    };
    for (const char* document : documents) {
        SCOPED_TRACE(document);
        ProductDefinitionBase product;
        EXPECT_THROW(product.deserializeFromVersion(Json(document), 1), Poco::Exception);
    }
}

TEST_F(ProductDefinitionTest, InstallDirectoryMustStayBelowTheLibraryDirectory) {
    struct DirectoryCase {
        const char* value;
        bool ok;
    };
    const DirectoryCase cases[] = {
        {"Zorv", true},        {"Games/Zorv Deluxe", true}, {"", false},          {".", false},
        {"/opt/zorv", false},  {"\\\\zorv", false},       {"../zorv", false},   {"Games/../../zorv", false},
        {"Zorv\\u0000/../..", false},
    };
    for (const DirectoryCase& c : cases) {
        SCOPED_TRACE(c.value);
        ProductDefinitionBase product;
        EXPECT_EQ(c.ok, product.deserializeFromVersion(
                            Json(std::string(R"({"product": {"installDirectory": ")") + c.value +
                                 R"(", "rootGameID": "1", "timestamp": 5}})"),
                            1));
        EXPECT_EQ(c.ok ? c.value : "", product.getProductDir());
    }
    EXPECT_TRUE(loggedError("Rejected product manifest with unsafe install directory '../zorv': it must be relative, "
                            "not empty and stay inside the library directory."));
    EXPECT_TRUE(loggedError("Rejected product manifest with unsafe install directory 'Zorv\\0/../..': it must be "
                            "relative, not empty and stay inside the library directory."));
}

TEST_F(ProductDefinitionTest, SupportCommandsMustStayInsideTheSupportDirectory) {
    // The installer runs from the support directory joined with the game id, then the executable.
    struct CommandCase {
        const char* executable;
        const char* gameId;
        bool ok;
    };
    const CommandCase cases[] = {
        {"setup.exe", "1", true},      {"bin/setup.sh", "1", true},  {"../setup.sh", "1", false},
        {"/bin/sh", "1", false},       {"", "1", false},             {"setup\\u0000.sh", "1", false},
        {"setup.sh", "", false},       {"setup.sh", ".", false},     {"setup.sh", "..", false},
        {"setup.sh", "1/2", false},    {"setup.sh", "..\\\\1", false}, {"setup.sh", "1\\u0000", false},
    };
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(std::string(c.executable) + " in " + c.gameId);
        ProductDefinitionBase product;
        bool ok = product.deserializeFromVersion(
            Json(std::string(R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5,
                "support_commands": [{"executable": ")") +
                 c.executable + R"(", "argument": "", "gameID": ")" + c.gameId + R"("}]}})"),
            1);
        EXPECT_EQ(c.ok, ok);
        EXPECT_EQ(c.ok ? 1u : 0u, product.getSupportCommands().size());
    }
    EXPECT_TRUE(loggedError("Rejected product manifest support command 'setup.sh' of game id '..': the game id must "
                            "be a plain directory name and the executable a relative path that stays inside it."));
    EXPECT_TRUE(loggedError("Rejected product manifest support command 'setup\\0.sh' of game id '1': the game id "
                            "must be a plain directory name and the executable a relative path that stays inside "
                            "it."));
}

TEST_F(ProductDefinitionTest, GameNameComesFromSelectedStandaloneGameElseRootGame) {
    ProductDefinitionBase product;
    ASSERT_TRUE(product.deserializeFromVersion(Json(R"({"product": {
        "installDirectory": "X", "rootGameID": "1", "timestamp": 5,
        "gameIDs": [{"gameID": "2", "standalone": false, "name": {"en": "Extra"}},
                    {"gameID": "3", "name": {"en": "Sequel"}},
                    {"gameID": "1", "name": {"en": "Zorv"}}]}})"),
                                               1));
    EXPECT_EQ("Zorv", product.getGameName());
    product.setRevisionList({"2"});
    EXPECT_EQ("Zorv", product.getGameName());
    product.setRevisionList({"2", "3"});
    EXPECT_EQ("Sequel", product.getGameName());

    ProductDefinitionBase unnamed;
    unnamed.setRootGameId("9");
    EXPECT_EQ("", unnamed.getGameName());
}

TEST_F(ProductDefinitionTest, IdentificationCarriesSelection) {
    RemoteProductDefinition remote("42", {"42", "43"}, "en", false);
    remote.setManifestTimestamp(7);
    EXPECT_EQ("gid '42' (language 'en' manifestTimestamp '7' revisions '42 43')",
              remote.getDebugIdentificationString());
    Poco::SharedPtr<ProductIdentification> identification = remote.getProductIdentification();
    remote.getRevisionList().push_back("44");
    EXPECT_EQ((tRevisionList{"42", "43"}), identification->revisions);
}

std::string productWithDepots(const std::string& depots) {
    return R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5, "depots": )" + depots + "}}";
}

TEST_F(ProductDefinitionTest, RemoteDefinitionReadsDepotsAndRedistributables) {
    RemoteProductDefinition remote;
    ASSERT_TRUE(remote.deserializeFromVersion(Json(productWithDepots(R"([
        {"redist": "r1"},
        {"manifest": "m1.json", "gameIDs": ["1"]},
        {"redist": "r2", "executable": "vc.exe", "argument": "/q", "targetDir": "redist/vc"},
        {"manifest": "m2.json", "gameIDs": ["1", "2"], "languages": ["en", "de"]},
        {"manifest": "m3.json", "gameIDs": ["2"]}
    ])")),
                                              1));
    ASSERT_EQ(2u, remote.getRedistributables().size());
    EXPECT_EQ("r1", remote.getRedistributables()[0].redist);
    EXPECT_EQ("__redist/r1", remote.getRedistributables()[0].targetDir);
    EXPECT_EQ("", remote.getRedistributables()[0].executable);
    EXPECT_EQ("vc.exe", remote.getRedistributables()[1].executable);
    EXPECT_EQ("/q", remote.getRedistributables()[1].argument);
    EXPECT_EQ("redist/vc", remote.getRedistributables()[1].targetDir);

    ASSERT_EQ(3u, remote.getDepots().size());
    EXPECT_EQ("m1.json", remote.getDepots()[0].manifest);
    EXPECT_EQ(std::vector<std::string>{"Neutral"}, remote.getDepots()[0].languages);
    EXPECT_EQ((std::vector<std::string>{"1", "2"}), remote.getDepots()[1].gameIDs);
    // "Neutral" went in once for both language-less depots, and came out again.
    EXPECT_EQ((std::vector<std::string>{"en", "de"}), names(remote.getAvailableLanguages()));
    EXPECT_FALSE(remote.getNeedsWindowsInstallation());
}

TEST_F(ProductDefinitionTest, RemoteDefinitionFailures) {
    const char* depotLists[] = {
        R"([{"gameIDs": ["1"]}])",
        R"([{"manifest": "m1.json"}])",
        R"([{"manifest": "m1.json", "gameIDs": ["1"]}, {"languages": ["en"]}])",
    };
    for (const char* depots : depotLists) {
        SCOPED_TRACE(depots);
        RemoteProductDefinition remote;
        EXPECT_FALSE(remote.deserializeFromVersion(Json(productWithDepots(depots)), 1));
    }
    RemoteProductDefinition withoutDepots;
    EXPECT_FALSE(withoutDepots.deserializeFromVersion(
        Json(R"({"product": {"installDirectory": "X", "rootGameID": "1", "timestamp": 5}})"), 1));

    RemoteProductDefinition empty;
    EXPECT_TRUE(empty.deserializeFromVersion(Json(productWithDepots("[]")), 1));
    EXPECT_TRUE(empty.getDepots().empty());
    EXPECT_TRUE(empty.getAvailableLanguages().empty());
}

TEST_F(ProductDefinitionTest, RedistTargetDirectoryMustStayInsideTheInstallDirectory) {
    struct RedistCase {
        const char* entry;
        bool ok;
        const char* targetDir;
    };
    const RedistCase cases[] = {
        // A leading separator means the install directory, not the machine's root.
        {R"({"redist": "r1", "targetDir": "/opt/r1"})", true, "opt/r1"},
        {R"({"redist": "r1", "targetDir": "//redist/vc"})", true, "redist/vc"},
        {R"({"redist": "r1", "targetDir": "redist/vc"})", true, "redist/vc"},
        {R"({"redist": "r1", "targetDir": "/"})", false, ""},
        {R"({"redist": "r1", "targetDir": "/../r1"})", false, ""},
        {R"({"redist": "r1", "targetDir": "../r1"})", false, ""},
        {R"({"redist": "r1", "targetDir": "redist/../../r1"})", false, ""},
        {R"({"redist": "r1", "targetDir": "/redist\u0000/../.."})", false, ""},
        {R"({"redist": "../../r1"})", false, ""},
        {R"({"redist": "r1\u0000"})", false, ""},
    };
    for (const RedistCase& c : cases) {
        SCOPED_TRACE(c.entry);
        RemoteProductDefinition remote;
        EXPECT_EQ(c.ok, remote.deserializeFromVersion(Json(productWithDepots(std::string("[") + c.entry + "]")), 1));
        if (c.ok) {
            ASSERT_EQ(1u, remote.getRedistributables().size());
            EXPECT_EQ(c.targetDir, remote.getRedistributables()[0].targetDir);
        } else {
            EXPECT_TRUE(remote.getRedistributables().empty());
        }
    }
    EXPECT_TRUE(loggedError("Rejected redistributable r1 with unsafe target directory '../r1': it must not be empty "
                            "and must stay inside the install directory."));
    EXPECT_TRUE(loggedError("Rejected redistributable r1 with unsafe target directory '/redist\\0/../..': it must "
                            "not be empty and must stay inside the install directory."));
}

TEST_F(ProductDefinitionTest, DepotManifestSortsEntriesByKind) {
    DepotDefinition depot("m1.json");
    ASSERT_EQ(Reading::Read, depot.readText(R"({"version": 2, "depot": {"files": [
        {"path": "bin/game", "size": 1, "url": "u", "hash": "h", "offset": 0},
        {"directory": true, "path": "saves"},
        {"directory": false, "path": "a"},
        {"path": "bin/game.sh", "target": "game", "symlinkType": "file"},
        {"path": "data/x", "size": 0, "url": "", "hash": "", "offset": 0, "parts": []}
    ], "other": [{"path": "ignored"}]}, "extra": {"files": [1]}})"));
    ASSERT_EQ(2u, depot.getFiles().size());
    EXPECT_EQ("bin/game", depot.getFiles()[0]->getPath());
    EXPECT_EQ("data/x", depot.getFiles()[1]->getPath());
    ASSERT_EQ(1u, depot.getDirectories().size());
    EXPECT_EQ("saves", depot.getDirectories()[0]->getPath());
    ASSERT_EQ(1u, depot.getSymLinks().size());
    EXPECT_EQ("game", depot.getSymLinks()[0]->getTarget());
}

// As a whole document tree would read: the last of a repeated key counts.
TEST_F(ProductDefinitionTest, DepotManifestRepeatedKeysLastOneCounts) {
    DepotDefinition depot("m1.json");
    ASSERT_EQ(Reading::Read, depot.readText(R"({"depot": {"files": [{"directory": true, "path": "old"}],
        "files": [{"directory": true, "path": "new"}]}})"));
    ASSERT_EQ(1u, depot.getDirectories().size());
    EXPECT_EQ("new", depot.getDirectories()[0]->getPath());
    EXPECT_EQ(Reading::Read, depot.readText(R"({"depot": 1, "depot": {"files": []}})"));
    EXPECT_TRUE(depot.getDirectories().empty());
    EXPECT_EQ(Reading::Unusable, depot.readText(R"({"depot": {"files": []}, "depot": []})"));
}

TEST_F(ProductDefinitionTest, AnyUnusableEntryFailsTheDepot) {
    struct DepotCase {
        const char* text;
        Reading reading;
    };
    const DepotCase cases[] = {
        {R"({"files": []})", Reading::Unusable},
        {R"({"depot": {}})", Reading::Unusable},
        {R"({"depot": {"files": {}}})", Reading::Unusable},
        {R"({"version": "two", "depot": {"files": []}})", Reading::Unusable},
        {R"({"version": -1, "depot": {"files": []}})", Reading::Unusable},
        {R"({"depot": {"files": [7]}})", Reading::Unusable},
        {R"({"depot": {"files": [[]]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"path": "a", "url": "u", "hash": "h", "offset": 0}]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"path": "a", "size": "many", "url": "u", "hash": "h", "offset": 0}]}})",
         Reading::Unusable},
        {R"({"depot": {"files": [{"path": "a", "size": 5, "url": "", "hash": "h", "offset": 0}]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"directory": true}]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"symlinkType": "file", "path": "l"}]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"path": "../../.bashrc", "size": 1, "url": "u", "hash": "h", "offset": 0}]}})",
         Reading::Unusable},
        {R"({"depot": {"files": [{"directory": true, "path": "/etc/cron.d"}]}})", Reading::Unusable},
        {R"({"depot": {"files": [{"path": "bin/x", "target": "../../../etc", "symlinkType": "directory"}]}})",
         Reading::Unusable},
        // An entry of the wrong kind is no excuse for text that is not JSON: that is fetched again.
        {R"({"depot": {"files": [7, {"directory": true, "path": "a"})", Reading::NotJson},
        {R"({"depot": {"files": []}} x)", Reading::NotJson},
        {R"([{"depot": {"files": []}}])", Reading::NotJson},
        {"", Reading::NotJson},
    };
    for (const DepotCase& c : cases) {
        SCOPED_TRACE(c.text);
        DepotDefinition depot("m1.json");
        EXPECT_EQ(c.reading, depot.readText(c.text));
    }
    EXPECT_TRUE(loggedError("Depot manifest m1.json lists a file entry that is not an object."));
    EXPECT_TRUE(loggedError("Depot manifest m1.json holds no \"depot\" with a list of \"files\"."));
    EXPECT_TRUE(loggedError("Depot manifest m1.json is not a JSON object."));
}

// Links "l0" -> "l1" -> ... -> "l<count>" -> "end": reading "l0" follows `count` links.
std::string linkChain(unsigned count) {
    std::string links;
    for (unsigned i = 0; i <= count; ++i) {
        std::string target = i < count ? "l" + std::to_string(i + 1) : "end";
        links += (i == 0 ? "" : ", ") + LinkEntry("l" + std::to_string(i), target);
    }
    return links;
}

TEST_F(ProductDefinitionTest, LinksAreFollowedThroughTheDepotsOtherLinks) {
    struct ChainCase {
        std::string links;
        bool ok;
    };
    const ChainCase cases[] = {
        {LinkEntry("sub/up", ".."), true},
        // "sub/up" is the install directory itself, so ".." from there is above it.
        {LinkEntry("sub/up", "..") + ", " + LinkEntry("esc", "sub/up/.."), false},
        {LinkEntry("esc", "sub/up/..") + ", " + LinkEntry("sub/up", ".."), false},
        // A link's own directory may be a link: "top/x" lies in the install directory.
        {LinkEntry("top", ".") + ", " + LinkEntry("top/x", "y"), true},
        {LinkEntry("top", ".") + ", " + LinkEntry("top/x", "../y"), false},
        {LinkEntry("lib/libx.so", "libx.so.1") + ", " + LinkEntry("lib/libx.so.1", "libx.so.1.2"), true},
        {LinkEntry("a", "b") + ", " + LinkEntry("b", "a"), false},
        {LinkEntry("a", "a/x"), false},
        {linkChain(40), true},
        {linkChain(41), false},
    };
    for (const ChainCase& c : cases) {
        SCOPED_TRACE(c.links.substr(0, 200));
        DepotDefinition depot("m1.json");
        EXPECT_EQ(c.ok ? Reading::Read : Reading::Unusable,
                  depot.readText(R"({"depot": {"files": [)" + c.links + "]}}"));
    }
    EXPECT_TRUE(loggedError("Rejected symlink 'esc' with target 'sub/up/..' of depot manifest m1.json: through the "
                            "manifest's other links it leads outside the install directory."));
    EXPECT_TRUE(loggedError("Rejected symlink 'a' with target 'b' of depot manifest m1.json: its chain of links "
                            "loops or is too long to follow."));
}

TEST_F(ProductDefinitionTest, DepotCopiesShareEntriesButNotTheManifestName) {
    DepotDefinition depot("m1.json");
    ASSERT_EQ(Reading::Read,
              depot.readText(R"({"depot": {"files": [{"path": "a", "size": 0, "url": "", "hash": "", "offset": 0}]}})"));
    DepotDefinition copy(depot);
    EXPECT_EQ("", copy.getManifestName());
    ASSERT_EQ(1u, copy.getFiles().size());
    EXPECT_EQ(depot.getFiles()[0].get(), copy.getFiles()[0].get());

    DepotDefinition assigned("m2.json");
    assigned = depot;
    EXPECT_EQ("m2.json", assigned.getManifestName());
    EXPECT_EQ(1u, assigned.getFiles().size());
}

}  // namespace
}  // namespace VantisClient
