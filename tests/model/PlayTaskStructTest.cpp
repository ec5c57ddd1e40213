#include <gtest/gtest.h>

#include <Poco/JSON/Parser.h>

#include "model/PlayTaskStruct.h"

namespace VantisClient {
namespace {

Poco::JSON::Object::Ptr json(const std::string& text) {
    return Poco::JSON::Parser().parse(text).extract<Poco::JSON::Object::Ptr>();
}

TEST(PlayTaskStructTest, ReadsTasksOfEveryKind) {
    const struct {
        const char* object;
        bool accepted;
        PlayTaskStruct::EPlayTaskType type;
        const char* name;
        const char* path;
        const char* arguments;
        const char* link;
        bool isPrimary;
    } cases[] = {
        {R"({"isPrimary": true, "type": "FileTask", "path": "bin/game", "arguments": "-w -x"})", true,
         PlayTaskStruct::FileTask, "Play", "bin/game", "-w -x", "", true},
        {R"({"name": "Manual", "type": "FileTask", "path": "manual.pdf"})", true, PlayTaskStruct::FileTask, "Manual",
         "manual.pdf", "", "", false},
        {R"({"name": "Forum", "type": "URLTask", "link": "http://127.0.0.1/forum"})", true, PlayTaskStruct::URLTask,
         "Forum", "", "", "http://127.0.0.1/forum", false},
        {R"({"type": "URLTask", "Link": "http://127.0.0.1/old"})", true, PlayTaskStruct::URLTask, "", "", "",
         "http://127.0.0.1/old", false},
        {R"({"isPrimary": true, "name": "Run", "type": "ScriptTask", "path": "x"})", true, PlayTaskStruct::NoAction,
         "Run", "", "", "", true},
        {R"({})", true, PlayTaskStruct::NoAction, "", "", "", "", false},
        {R"({"type": "URLTask", "LINK": "x"})", false, PlayTaskStruct::URLTask, "", "", "", "", false},
        {R"({"type": "FileTask", "arguments": "-x"})", false, PlayTaskStruct::FileTask, "", "", "", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.object);
        PlayTaskStruct task("/games/zorv", "Zorv");
        ASSERT_EQ(c.accepted, task.deserializeFromJSON(json(c.object)));
        if (!c.accepted) continue;
        EXPECT_EQ(c.type, task.type);
        EXPECT_EQ(c.name, task.name);
        EXPECT_EQ(c.path, task.path);
        EXPECT_EQ(c.arguments, task.arguments);
        EXPECT_EQ(c.link, task.link);
        EXPECT_EQ(c.isPrimary, task.isPrimary);
        EXPECT_EQ("/games/zorv", task.workingDir);
        EXPECT_EQ("Zorv", task.gameName);
    }
}

TEST(PlayTaskStructTest, EqualityIgnoresLabelAndPrimaryFlag) {
    PlayTaskStruct a("/g", "Zorv");
    a.type = PlayTaskStruct::FileTask;
    a.path = "bin/game";
    PlayTaskStruct b = a;
    b.name = "Other label";
    b.isPrimary = true;
    b.gameName = "Zorv DLC";
    EXPECT_TRUE(a == b);

    PlayTaskStruct differentDir = a;
    differentDir.workingDir = "/h";
    PlayTaskStruct differentArguments = a;
    differentArguments.arguments = "-x";
    PlayTaskStruct differentType = a;
    differentType.type = PlayTaskStruct::URLTask;
    EXPECT_FALSE(a == differentDir);
    EXPECT_FALSE(a == differentArguments);
    EXPECT_FALSE(a == differentType);
}

}  // namespace
}  // namespace VantisClient
