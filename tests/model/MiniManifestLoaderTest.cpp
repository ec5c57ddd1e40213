#include <unistd.h>

#include <gtest/gtest.h>

#include <Poco/File.h>

#include "model/MiniManifestLoader.h"
#include "support/Sandbox.h"

namespace VantisClient {
namespace {

class MiniManifestLoaderTest : public VantisTest::SandboxTest {
protected:
    std::string gameDir() const { return sandbox.path("game"); }
    void writeInfo(const std::string& name, const std::string& text) const { sandbox.writeFile("game/" + name, text); }
    std::string infoPath(const std::string& name) const { return gameDir() + "/" + name; }
};

std::vector<std::string> labels(const MiniManifestContents& contents) {
    std::vector<std::string> result;
    for (const PlayTaskStruct& task : contents.playTasks) result.push_back(task.name);
    return result;
}

TEST_F(MiniManifestLoaderTest, MergesBaseGameAndExtraContent) {
    writeInfo(".zorvgame-42.info", R"({"gameId": "42", "dependencyGameId": "", "language": "en", "name": "Zorv",
        "workingDir": "/g", "extendedProperties": {"subtitle": "The Return"},
        "playTasks": [{"isPrimary": true, "type": "FileTask", "path": "bin/zorv", "arguments": "-w"},
                      {"name": "Forum", "type": "URLTask", "Link": "http://127.0.0.1/forum"}]})");
    writeInfo(".zorvgame-43.info", R"({"gameId": "43", "dependencyGameId": "42", "language": "de",
        "name": "Zorv: Caves", "workingDir": "/g",
        "playTasks": [{"name": "Start caves", "type": "FileTask", "path": "bin/zorv", "arguments": "-w"}],
        "supportTasks": [{"name": "Editor", "type": "FileTask", "path": "bin/editor"}]})");

    MiniManifestLoader loader("42", gameDir());
    Poco::SharedPtr<MiniManifestContents> contents = loader.loadAndMergeMiniManifests();

    EXPECT_EQ("42", contents->gameId);
    EXPECT_EQ(gameDir(), contents->installPath);
    EXPECT_EQ((tRevisionList{"42", "43"}), contents->installedGameIds);
    EXPECT_EQ("Zorv", contents->name);
    EXPECT_EQ("en", contents->language);
    EXPECT_EQ("The Return", contents->subtitle);
    // The extra content's copy of the play task is the same task: the label read first stays.
    EXPECT_EQ((std::vector<std::string>{"Play", "Forum", "Editor"}), labels(*contents));
    EXPECT_EQ("Zorv", contents->playTasks[0].gameName);
    EXPECT_EQ("Zorv: Caves", contents->playTasks[2].gameName);
    EXPECT_EQ("", loader.getErrorBuffer());
}

TEST_F(MiniManifestLoaderTest, ReadsOnlyPlainFilesNamedLikeInfoFiles) {
    const std::string base = R"({"gameId": "GID", "dependencyGameId": "", "language": "en", "name": "N",
        "workingDir": "/g"})";
    auto named = [&base](const std::string& gameId) {
        std::string text = base;
        return text.replace(text.find("GID"), 3, gameId);
    };
    writeInfo(".zorvgame-42.info", named("42"));
    writeInfo("zorvgame-1.info", named("1"));
    writeInfo(".zorvgame-2.info.bak", named("2"));
    writeInfo(".zorvgame-3.info/inner.info", named("3"));
    writeInfo(".Zorvgame-4.info", named("4"));
    writeInfo("zorvgame-9.icns", "icon");
    writeInfo("zorvgame-10.icns", "icon");
    // Dangling links elsewhere in the directory must not stop the listing,
    // wherever the file system lists them.
    for (int i = 0; i < 16; ++i) {
        std::string link = infoPath("dangling-" + std::to_string(i));
        ASSERT_EQ(0, ::symlink("missing-target", link.c_str()));
    }

    MiniManifestLoader loader("42", gameDir());
    Poco::SharedPtr<MiniManifestContents> contents = loader.loadAndMergeMiniManifests();
    EXPECT_EQ(tRevisionList{"42"}, contents->installedGameIds);
    EXPECT_EQ(infoPath("zorvgame-10.icns"), contents->iconPath);
    EXPECT_EQ("", loader.getErrorBuffer());
}

TEST_F(MiniManifestLoaderTest, UnusableFilesAndTasksAreDescribedAndSkipped) {
    writeInfo(".zorvgame-1.info", R"({"gameId": "1", "name": )");
    writeInfo(".zorvgame-2.info", R"({"gameId": "2", "dependencyGameId": "", "language": "en", "name": "Two"})");
    writeInfo(".zorvgame-3.info", R"({"gameId": "42", "dependencyGameId": "42", "language": "en", "name": "Zorv",
        "workingDir": "/g", "playTasks": [
            {"name": "Forum", "type": "URLTask"},
            {"name": "Broken", "type": "FileTask"},
            5,
            {"name": "Readme", "type": "DocumentTask", "path": "README"}]})");

    MiniManifestLoader loader("42", gameDir());
    Poco::SharedPtr<MiniManifestContents> contents = loader.loadAndMergeMiniManifests();

    EXPECT_EQ("Failed parsing " + infoPath(".zorvgame-1.info") + " from gameId 42; Skipped " +
                  infoPath(".zorvgame-2.info") +
                  " from gameId 42: a required key is missing or unreadable; Failed loading playtasks from gameId "
                  "42; ",
              loader.getErrorBuffer());
    EXPECT_EQ(tRevisionList{"42"}, contents->installedGameIds);
    EXPECT_EQ("Zorv", contents->name);
    ASSERT_EQ(1u, contents->playTasks.size());
    EXPECT_EQ(PlayTaskStruct::NoAction, contents->playTasks[0].type);
    EXPECT_EQ("Readme", contents->playTasks[0].name);
}

TEST_F(MiniManifestLoaderTest, NoDirectoryGivesContentsWithOnlyTheIdentity) {
    for (const std::string& installPath : {std::string(), sandbox.path("not-there")}) {
        MiniManifestLoader loader("42", installPath);
        Poco::SharedPtr<MiniManifestContents> contents = loader.loadAndMergeMiniManifests();
        EXPECT_EQ("42", contents->gameId);
        EXPECT_EQ(installPath, contents->installPath);
        EXPECT_TRUE(contents->installedGameIds.empty());
        EXPECT_TRUE(contents->playTasks.empty());
        EXPECT_EQ("", contents->name);
        EXPECT_EQ("", contents->iconPath);
    }
}

}  // namespace
}  // namespace VantisClient
