// The engine started for the sample game, as the shell starts it, against the
// real backend: the catalogue is packed in the test, the user "player" is
// signed in, and every install goes through the engine's operations and
// notifications, drained on the test's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "GameBackendFixture.h"
#include "RecordingClientListener.h"
#include "core/ClientCore.h"
#include "model/tRevisionList.h"

namespace VantisTest {

class EngineTest : public GameBackendTest {
protected:
    void SetUp() override;
    void TearDown() override;

    static VantisClient::ClientCore& core() { return *VantisClient::ClientCore::instance(); }
    // Drains the engine's notifications, as the shell does, until `condition` holds.
    bool drainUntil(const std::function<bool()>& condition, int timeoutMs = 120000);

    // One install of the sample game through the engine; its one result.
    VantisClient::EInstallResult install(const VantisClient::tRevisionList& revisions, const std::string& language);
    // Repeats `request` until the engine takes it: the installer refuses a
    // request while the game's previous task is returning.
    bool schedule(const std::function<bool()>& request);
    // Waits for the next install result, whoever started the install.
    VantisClient::EInstallResult nextResult();
    // The engine's update check; the code reported for the sample game.
    VantisClient::EManifestUpdateCode checkForUpdates();

    // Points the client at the backend (started anew after a stop) and signs in.
    void connect(const std::string& user = "player", const std::string& password = "secret");
    std::string installDirectory() const override { return sandbox.path("Library/Sample Game"); }

    RecordingClientListener listener;
};

}  // namespace VantisTest
