#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/CmdlineOptions.h"
#include "common/OptionNames.h"

using namespace VantisClient;

namespace {

using Arguments = std::vector<std::string>;
using Specified = std::map<std::string, std::string>;

const char* const PROGRAM = "/opt/vantis/bin/vantis-client";

Arguments withProgram(const Arguments& arguments) {
    Arguments all{PROGRAM};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return all;
}

// What another program of the family reads from the forwarded list.
CmdlineOptions reparsed(const CmdlineOptions& options, const std::vector<CmdlineOptions::ExtraOption>& extras = {}) {
    return CmdlineOptions(withProgram(options.createArgumentsList()), extras);
}

const std::vector<CmdlineOptions::ExtraOption> SHELL_OPTIONS = {
    {"user", CmdlineOptions::EOptionKind::Value},     {"install", CmdlineOptions::EOptionKind::Flag},
    {"play", CmdlineOptions::EOptionKind::Flag},      {"language", CmdlineOptions::EOptionKind::Value},
    {"dlc", CmdlineOptions::EOptionKind::Value},
};

}  // namespace

TEST(CmdlineOptions, LaunchArgumentsBecomeMembersAndComeBackSortedByName) {
    CmdlineOptions options(
        {"/Applications/X.app/Contents/MacOS/X", "--gameId=12", "--path=/Games/Foo", "--forceUpdate"});

    EXPECT_EQ("12", options.gameId().value_or("absent"));
    EXPECT_EQ("/Games/Foo", options.gamePath().value_or("absent"));
    EXPECT_TRUE(options.forceUpdate());
    EXPECT_EQ("/Applications/X.app/Contents/MacOS/X", options.programPath());
    EXPECT_EQ(Arguments{"/Applications/X.app/Contents/MacOS/X"}, options.otherArguments());
    EXPECT_EQ("", options.parseErrors());
    EXPECT_EQ((Arguments{"--forceUpdate", "--gameId=12", "--path=/Games/Foo"}), options.createArgumentsList());
}

TEST(CmdlineOptions, EveryTableOptionSetsItsMember) {
    CmdlineOptions options(withProgram({"--gameId=1", "--command=installed", "--waitForPreviousInstance",
                                        "--runWithoutUpdating", "--cefLogging=verbose", "--debugLaunch",
                                        "--skipServiceRunningCheck", "--showDebugWindow", "--deelevated",
                                        "--installationPath=/i", "--bundlePath=/b", "--clientPath=/c", "--path=/g",
                                        "--channel=beta", "--fallbackRun", "--forceUpdate"}));

    EXPECT_EQ("", options.parseErrors());
    EXPECT_EQ(16u, options.specifiedOptions().size());
    EXPECT_EQ("1", options.gameId().value_or("absent"));
    EXPECT_EQ(CommandStrings::Installed, options.command().value_or("absent"));
    EXPECT_TRUE(options.waitForPreviousInstance());
    EXPECT_TRUE(options.runWithoutUpdating());
    EXPECT_EQ("verbose", options.logging());
    EXPECT_TRUE(options.debugLaunch());
    EXPECT_TRUE(options.skipServiceRunningCheck());
    EXPECT_TRUE(options.showDebugWindow());
    EXPECT_TRUE(options.deelevated());
    EXPECT_EQ("/i", options.installationPath());
    EXPECT_EQ("/b", options.bundlePath());
    EXPECT_EQ("/c", options.clientPath());
    EXPECT_EQ("/g", options.gamePath().value_or("absent"));
    EXPECT_EQ("beta", options.updateChannel());
    EXPECT_TRUE(options.fallback());
    EXPECT_TRUE(options.forceUpdate());
    EXPECT_EQ(options.specifiedOptions(), reparsed(options).specifiedOptions());
}

TEST(CmdlineOptions, ArgumentForms) {
    struct Case {
        const char* what;
        Arguments arguments;
        Specified specified;
        Arguments others;  // after the program path
        std::string errors;
    } cases[] = {
        {"value in the next argument", {"--gameId", "12"}, {{"gameId", "12"}}, {"--gameId"}, ""},
        {"colon, any case", {"--GAMEID:7"}, {{"gameId", "7"}}, {}, ""},
        {"unambiguous leading part", {"--inst=/i", "--force"}, {{"installationPath", "/i"}, {"forceUpdate", ""}}, {},
         ""},
        {"empty value", {"--path="}, {{"path", ""}}, {}, ""},
        {"duplicate keeps the first", {"--gameId=1", "--gameId=2"}, {{"gameId", "1"}}, {},
         "Ignoring duplicate option --gameId=2; "},
        {"duplicate through another spelling", {"--gameId", "1", "--gameid", "2"}, {{"gameId", "1"}}, {"--gameId", "2"},
         "Ignoring duplicate option --gameid; "},
        {"unknown", {"--bogus"}, {}, {}, "Failed parsing option --bogus, ignoring; "},
        {"ambiguous leading part", {"--c=x"}, {}, {}, "Failed parsing option --c=x, ignoring; "},
        {"flag given a value", {"--forceUpdate=1"}, {}, {}, "Failed parsing option --forceUpdate=1, ignoring; "},
        {"one dash", {"-gameId=3"}, {}, {}, "Failed parsing option -gameId=3, ignoring; "},
        {"parsing goes on after a rejection", {"--bogus", "--x", "--debugLaunch"}, {{"debugLaunch", ""}}, {},
         "Failed parsing option --bogus, ignoring; Failed parsing option --x, ignoring; "},
        {"bare word is no option", {"runWithoutUpdating"}, {}, {"runWithoutUpdating"}, ""},
        {"-- ends the options", {"--deelevated", "--", "--gameId=9", "--"}, {{"deelevated", ""}},
         {"--", "--gameId=9", "--"}, ""},
        {"value that never comes", {"/g", "--path"}, {}, {"/g", "--path"}, ""},
        {"the next argument is a value even when it looks like an option", {"--gameId", "--path=/x"},
         {{"gameId", "--path=/x"}}, {"--gameId"}, ""},
    };
    for (const Case& c : cases) {
        CmdlineOptions options(withProgram(c.arguments));
        EXPECT_EQ(c.specified, options.specifiedOptions()) << c.what;
        EXPECT_EQ(withProgram(c.others), options.otherArguments()) << c.what;
        EXPECT_EQ(c.errors, options.parseErrors()) << c.what;
    }
}

// A program that stops on a rejected argument says what was wrong with it.
TEST(CmdlineOptions, EachRejectionSaysWhatWasWrong) {
    const struct {
        Arguments arguments;
        std::vector<std::string> rejections;  // "argument: reason"
    } cases[] = {
        {{"--bogus"}, {"--bogus: unknown option"}},
        {{"--gameId=1", "--gameId=2"}, {"--gameId=2: given more than once"}},
        {{"--c=x"}, {"--c=x: ambiguous: it begins the names of several options"}},
        {{"--forceUpdate=1"}, {"--forceUpdate=1: takes no value"}},
        {{"--debugLaunch", "--path"}, {"--path: needs a value"}},
        {{"--path", "/g", "--", "--gameId"}, {}},
        {{"--bogus", "--x"}, {"--bogus: unknown option", "--x: unknown option"}},
    };
    for (const auto& c : cases) {
        const CmdlineOptions options(withProgram(c.arguments), SHELL_OPTIONS);
        std::vector<std::string> rejections;
        for (const CmdlineOptions::Rejection& rejection : options.rejections()) {
            rejections.push_back(rejection.argument + ": " + rejection.reason);
        }
        EXPECT_EQ(c.rejections, rejections) << c.arguments.front();
    }
}

TEST(CmdlineOptions, BareWordLeavesFlagUnset) {
    CmdlineOptions options(withProgram({"runWithoutUpdating"}));
    EXPECT_FALSE(options.runWithoutUpdating());
}

TEST(CmdlineOptions, NothingSet) {
    CmdlineOptions options(Arguments{});
    EXPECT_EQ("", options.programPath());
    EXPECT_TRUE(options.createArgumentsList().empty());
    EXPECT_EQ("", options.createArgumentsStringQuoted());
    EXPECT_EQ("disable", options.logging());
    EXPECT_FALSE(options.gameId().has_value());
    EXPECT_FALSE(options.gamePath().has_value());
    EXPECT_FALSE(options.command().has_value());
}

TEST(CmdlineOptions, SettersAddToForwardedListButNeverReplaceAnEntry) {
    CmdlineOptions options(withProgram({"--bundlePath=/a"}));
    options.setBundlePath("/b");
    options.setRunWithoutUpdating();
    options.setGameId("12");
    options.setRunWithoutUpdating();

    EXPECT_EQ("/b", options.bundlePath());
    EXPECT_TRUE(options.runWithoutUpdating());
    EXPECT_EQ("12", options.gameId().value_or("absent"));
    EXPECT_EQ((Arguments{"--bundlePath=/a", "--gameId=12", "--runWithoutUpdating"}), options.createArgumentsList());
}

TEST(CmdlineOptions, EveryProgrammaticSetterIsForwarded) {
    CmdlineOptions options(Arguments{PROGRAM});
    options.setFallback();
    options.setWaitForPreviousInstance();
    options.setClientPath("/c");
    options.setInstallationPath("/i");
    options.setUpdateChannel("beta");
    options.setGamePath("/g");

    CmdlineOptions updater = reparsed(options);
    EXPECT_TRUE(updater.fallback());
    EXPECT_TRUE(updater.waitForPreviousInstance());
    EXPECT_EQ("/c", updater.clientPath());
    EXPECT_EQ("/i", updater.installationPath());
    EXPECT_EQ("beta", updater.updateChannel());
    EXPECT_EQ("/g", updater.gamePath().value_or("absent"));
}

// Bare, an emptied value option would take the argument after it as its value
// in the program it is forwarded to.
TEST(CmdlineOptions, EmptyValueIsForwardedWithoutSwallowingTheNextOption) {
    CmdlineOptions options(Arguments{PROGRAM});
    options.setBundlePath("");
    options.setGameId("12");
    options.setRunWithoutUpdating();

    EXPECT_EQ((Arguments{"--bundlePath=", "--gameId=12", "--runWithoutUpdating"}), options.createArgumentsList());
    CmdlineOptions updater = reparsed(options);
    EXPECT_EQ("", updater.bundlePath());
    EXPECT_EQ("12", updater.gameId().value_or("absent"));
    EXPECT_EQ(options.specifiedOptions(), updater.specifiedOptions());
}

TEST(CmdlineOptions, ArgumentText) {
    EXPECT_FALSE(CmdlineOptions::IsWindows());
    EXPECT_EQ("--gameId=12", CmdlineOptions::createArgument("gameId", "12"));
    EXPECT_EQ("--runWithoutUpdating", CmdlineOptions::createArgument("runWithoutUpdating", ""));

    CmdlineOptions options(withProgram({"--channel=a b", "--deelevated"}));
    EXPECT_EQ(" \"--channel=a b\"  \"--deelevated\" ", options.createArgumentsStringQuoted());
}

TEST(CmdlineOptions, PositionalArguments) {
    struct Case {
        const char* what;
        Arguments arguments;
        Arguments positional;
    } cases[] = {
        {"only positional", {"/games/foo", "12"}, {"/games/foo", "12"}},
        {"value in the next argument, then positional", {"--gameId", "12", "/games/foo", "12"}, {"/games/foo", "12"}},
        {"option between words", {"/games/foo", "--runWithoutUpdating", "12"}, {"/games/foo", "12"}},
        {"after --", {"--", "--gameId=12", "x"}, {"--gameId=12", "x"}},
        {"a value that never comes", {"/games/foo", "--path"}, {"/games/foo"}},
        {"rejected options", {"/games/foo", "--bogus", "--gameId=1", "--gameId=2", "12"}, {"/games/foo", "12"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.positional, CmdlineOptions(withProgram(c.arguments)).positionalArguments()) << c.what;
    }
    EXPECT_TRUE(CmdlineOptions(Arguments{}).positionalArguments().empty());
}

TEST(CmdlineOptions, ExtraOptionsAreAcceptedReadAndForwarded) {
    CmdlineOptions options(
        withProgram({"--user=NAME", "--install", "--language", "fr", "--dlc=1,2", "/games/foo", "12"}), SHELL_OPTIONS);

    EXPECT_EQ("", options.parseErrors());
    EXPECT_EQ("NAME", options.extraOption("user").value_or("absent"));
    EXPECT_EQ("", options.extraOption("install").value_or("absent"));
    EXPECT_EQ("fr", options.extraOption("language").value_or("absent"));
    EXPECT_EQ("1,2", options.extraOption("dlc").value_or("absent"));
    EXPECT_FALSE(options.extraOption("play").has_value());
    EXPECT_EQ((Arguments{"/games/foo", "12"}), options.positionalArguments());
    EXPECT_EQ((Arguments{"--dlc=1,2", "--install", "--language=fr", "--user=NAME"}), options.createArgumentsList());
    EXPECT_EQ(options.specifiedOptions(), reparsed(options, SHELL_OPTIONS).specifiedOptions());
}

TEST(CmdlineOptions, AnOptionalValueComesOnlyInItsOwnArgument) {
    const std::vector<CmdlineOptions::ExtraOption> extras = {{"play", CmdlineOptions::EOptionKind::OptionalValue}};
    struct Case {
        Arguments arguments;
        const char* play;
        Arguments positional;
    };
    const Case cases[] = {
        {{"--play"}, "", {}},
        {{"--play=Manual"}, "Manual", {}},
        {{"--play", "/games/foo"}, "", {"/games/foo"}},
    };
    for (const Case& c : cases) {
        CmdlineOptions options(withProgram(c.arguments), extras);
        EXPECT_EQ("", options.parseErrors());
        EXPECT_EQ(c.play, options.extraOption("play").value_or("absent"));
        EXPECT_EQ(c.positional, options.positionalArguments());
        EXPECT_EQ(options.specifiedOptions(), reparsed(options, extras).specifiedOptions());
    }
}

TEST(CmdlineOptions, ExtraOptionsStayApartFromTheTable) {
    // "install" is a whole name of its own now, and "inst" leads to two.
    CmdlineOptions options(withProgram({"--inst=/i", "--gameId=5", "--installationPath=/i"}),
                           {{"install", CmdlineOptions::EOptionKind::Flag},
                            {"GAMEID", CmdlineOptions::EOptionKind::Flag},
                            {"", CmdlineOptions::EOptionKind::Value},
                            {"lang=fr", CmdlineOptions::EOptionKind::Flag}});

    EXPECT_EQ("Failed parsing option --inst=/i, ignoring; ", options.parseErrors());
    EXPECT_EQ("5", options.gameId().value_or("absent"));
    EXPECT_EQ("/i", options.installationPath());
    EXPECT_FALSE(options.extraOption("GAMEID").has_value());
    EXPECT_FALSE(options.extraOption("gameId").has_value());
    EXPECT_FALSE(options.extraOption("install").has_value());
    EXPECT_FALSE(CmdlineOptions(withProgram({"--lang=fr"}), {{"lang=fr", CmdlineOptions::EOptionKind::Flag}})
                     .extraOption("lang=fr")
                     .has_value());

    // Without registration they are unknown options like any other.
    EXPECT_EQ("Failed parsing option --user=NAME, ignoring; ",
              CmdlineOptions(withProgram({"--user=NAME"})).parseErrors());
}

TEST(CmdlineOptions, GarbageNeverThrowsAndForwardsFaithfully) {
    const Arguments garbage = {
        "", "-", "--", "---", "--=", "--:", "--=x", "-=", "=", "/gameId=1", "--\xff\xfe", "--gameId=\xff", "--path",
        "", "--channel", "--", "--cefLogging=a=b:c", std::string(100000, '-'), "--" + std::string(100000, 'g'),
        "\t--gameId",
    };
    for (size_t start = 0; start < garbage.size(); ++start) {
        Arguments arguments(garbage.begin() + static_cast<std::ptrdiff_t>(start), garbage.end());
        EXPECT_NO_THROW({
            CmdlineOptions options(arguments, SHELL_OPTIONS);
            CmdlineOptions forwarded = reparsed(options, SHELL_OPTIONS);
            EXPECT_EQ(options.specifiedOptions(), forwarded.specifiedOptions()) << start;
            EXPECT_EQ("", forwarded.parseErrors()) << start;
        }) << start;
    }
}
