#include <gtest/gtest.h>

#include "common/ClientSettings.h"
#include "support/Sandbox.h"

using VantisClient::ClientSettings;
using VantisClient::EngineSettings;

namespace {

class ClientSettingsTest : public VantisTest::SandboxTest {};

}  // namespace

TEST_F(ClientSettingsTest, WhatAPersonTypesIsTakenOnlyWhenAllOfItIsSound) {
    sandbox.writeFile("a-file", "");
    const struct {
        const char* what;
        std::string rate;
        std::string parts;
        std::string folder;
        // Empty when the input is taken; otherwise a part of the message.
        std::string problem;
        uint32_t limit;
    } cases[] = {
        {"no limit", "", "2", sandbox.path("Games"), "", 0},
        {"a rate with its unit", "1.5M", "16", sandbox.path("Games"), "", 1572864},
        {"a rate that is no rate", "fast", "2", sandbox.path("Games"), "Download limit: 'fast' is no rate", 0},
        {"no parts", "", "0", sandbox.path("Games"), "Parts in flight: '0' is no whole number from 1 to 16", 0},
        {"too many parts", "", "17", sandbox.path("Games"), "Parts in flight: '17'", 0},
        {"parts that are no number", "", "2x", sandbox.path("Games"), "Parts in flight: '2x'", 0},
        {"a relative folder", "", "2", "Games", "Install folder: 'Games' is no absolute path", 0},
        {"a file as the folder", "", "2", sandbox.path("a-file"), "is a file, not a folder", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ClientSettings settings;
        std::string error;
        const bool taken = ClientSettings::FromInput(c.rate, c.parts, c.folder, settings, error);
        EXPECT_EQ(c.problem.empty(), taken) << error;
        if (taken) {
            EXPECT_EQ(c.limit, settings.downloadLimit.value());
            EXPECT_EQ(std::stoi(c.parts), settings.partsInFlight.value());
            EXPECT_EQ(c.folder, settings.libraryPath.value());
        } else {
            EXPECT_NE(std::string::npos, error.find(c.problem)) << error;
            EXPECT_FALSE(settings.libraryPath.has_value());
        }
    }
}

TEST_F(ClientSettingsTest, StoredChoicesKeepTheFilesOtherMembersAndApplyToTheEngineSettings) {
    sandbox.writeFile("Config.json", R"({"loggingChannels": ["Browser"], "partsInFlight": 99})");
    EXPECT_FALSE(ClientSettings::Stored().partsInFlight.has_value()) << "out of bounds";

    ClientSettings chosen;
    std::string error;
    ASSERT_TRUE(ClientSettings::FromInput("500K", "4", sandbox.path("Games"), chosen, error)) << error;
    ASSERT_TRUE(chosen.store());
    EXPECT_NE(std::string::npos, sandbox.readFile("Config.json").find("loggingChannels"));

    const ClientSettings stored = ClientSettings::Stored();
    EngineSettings base;
    base.libraryPath = sandbox.path("Library");
    base.downloadsPath = sandbox.path("Downloads");
    const EngineSettings applied = stored.appliedTo(base);
    EXPECT_EQ(512000u, applied.downloadSpeedLimit);
    EXPECT_EQ(4, applied.partsInFlight);
    EXPECT_EQ(sandbox.path("Games"), applied.libraryPath);
    EXPECT_EQ(base.downloadsPath, applied.downloadsPath);

    // A limit given for this run stays for the run.
    base.downloadSpeedLimit = 1000;
    base.downloadSpeedLimitForThisRun = true;
    EXPECT_EQ(1000u, stored.appliedTo(base).downloadSpeedLimit);

    // Choices never made leave the engine's values alone.
    sandbox.writeFile("Config.json", "{}");
    EXPECT_EQ(base.libraryPath, ClientSettings::Stored().appliedTo(base).libraryPath);
}
