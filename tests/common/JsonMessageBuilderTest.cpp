#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "common/JsonMessageBuilder.h"

using VantisClient::JsonMessageBuilder;
using JsonObject = JsonMessageBuilder::JsonObject;
using JsonVarPtr = JsonMessageBuilder::JsonVarPtr;

TEST(JsonMessageBuilderTest, WritesTheFixedTextOfEveryValueKind) {
    const struct {
        const char* name;
        std::function<void(JsonObject&)> fill;
        const char* expected;
    } cases[] = {
        {"empty object", [](JsonObject&) {}, "{}"},
        {"one member", [](JsonObject& o) { o.addStringProperty("a", "x"); }, "{\"a\":\"x\"\n}"},
        {"two members sorted by key, a comma before the first line feed only",
         [](JsonObject& o) { o.addBoolProperty("b", false).addNumericProperty("a", 18446744073709551615ull); },
         "{\"a\":18446744073709551615,\n\"b\":false\n}"},
        {"capitals sort before lower case",
         [](JsonObject& o) { o.addNumericProperty("a", 1).addNumericProperty("Z", 2); }, "{\"Z\":2,\n\"a\":1\n}"},
        {"a key added twice keeps the last value",
         [](JsonObject& o) { o.addStringProperty("k", "old").addBoolProperty("k", true); }, "{\"k\":true\n}"},
        {"empty array", [](JsonObject& o) { o.addArrayProperty("list", {}); }, "{\"list\":[  ]\n}"},
        {"array items",
         [](JsonObject& o) {
             o.addArrayProperty("list", {JsonVarPtr(new JsonMessageBuilder::JsonNumeric(1)),
                                         JsonVarPtr(new JsonMessageBuilder::JsonString("two")),
                                         JsonVarPtr(new JsonMessageBuilder::JsonBoolean(true))});
         },
         "{\"list\":[ 1, \"two\", true ]\n}"},
        {"nested object", [](JsonObject& o) { o.addObject("inner").addNumericProperty("n", 0); },
         "{\"inner\":{\"n\":0\n}\n}"},
        {"escaping of backslash, quote and control characters",
         [](JsonObject& o) {
             o.addStringProperty("s", std::string("C:\\Games\\a \"b\"\n\t\r\b\f\x01\x1f\x7f\0z", 24));
         },
         "{\"s\":\"C:\\\\Games\\\\a \\\"b\\\"\\n\\t\\r\\b\\f\\u0001\\u001f\x7f\\u0000z\"\n}"},
        {"text beyond ASCII stays as it is", [](JsonObject& o) { o.addStringProperty("s", "Jeux vid\xc3\xa9o /x"); },
         "{\"s\":\"Jeux vid\xc3\xa9o /x\"\n}"},
        {"a string made directly is escaped too",
         [](JsonObject& o) { o.addProperty("s", new JsonMessageBuilder::JsonString("\"")); }, "{\"s\":\"\\\"\"\n}"},
        {"floats in their shortest form",
         [](JsonObject& o) {
             o.addFloatProperty("a", 0.1f).addFloatProperty("b", 1.5f).addFloatProperty("c", -2.0f).addFloatProperty(
                 "d", 3.14159274f);
         },
         "{\"a\":0.1,\n\"b\":1.5,\n\"c\":-2,\n\"d\":3.1415927\n}"},
        {"floats JSON cannot hold are null",
         [](JsonObject& o) {
             o.addFloatProperty("inf", std::numeric_limits<float>::infinity()).addFloatProperty("nan", std::nanf(""));
         },
         "{\"inf\":null,\n\"nan\":null\n}"},
    };
    for (const auto& c : cases) {
        JsonObject object;
        c.fill(object);
        EXPECT_EQ(c.expected, object.toString()) << c.name;
    }
}

TEST(JsonMessageBuilderTest, MessagesPutArgumentsBeforeTheirName) {
    JsonMessageBuilder report;
    report.makeProblemReport("Hash-Mismatch").addStringProperty("gid", "1").addStringProperty("filePath", "a\\b");
    EXPECT_EQ("{\"Arguments\":{\"filePath\":\"a\\\\b\",\n\"gid\":\"1\"\n},\n\"ProblemReport\":\"Hash-Mismatch\"\n}",
              report.toString());

    JsonMessageBuilder command;
    JsonObject& arguments = command.makeCommand("UpdateLayout");
    EXPECT_TRUE(arguments.containsObject("nothing") == false);
    arguments.addFloatProperty("progress", 0.5f);
    EXPECT_TRUE(arguments.containsObject("progress"));
    EXPECT_EQ("{\"Arguments\":{\"progress\":0.5\n},\n\"Command\":\"UpdateLayout\"\n}", command.toString());
}
