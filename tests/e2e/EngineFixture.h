// The engine started for the sample game, as the shell starts it, against the
// real backend: the catalogue is packed in the test, the user "player" is
// signed in, and every install goes through the engine's operations and
// notifications, drained on the test's thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "BackendFixture.h"
#include "RecordingClientListener.h"
#include "bridge/tRevisionList.h"
#include "common/UserPreferences.h"
#include "core/ClientCore.h"

namespace VantisTest {

class EngineTest : public BackendTest {
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

    // Packs the input tree into the catalogue again, with this manifest timestamp.
    void repack(int64_t timestamp);
    // Points the client at the backend (started anew after a stop) and signs in.
    void connect(const std::string& user = "player", const std::string& password = "secret");
    // The bytes of file contents the backend has served since the last reset.
    uint64_t objectBytesServed();
    void resetServed();

    std::string installDirectory() const { return sandbox.path("Library/Sample Game"); }
    // Every file and link of the selection lies in the install directory as in
    // the input tree, and nothing else but info files and redistributables.
    void expectInstalledAsTheSource(const std::string& language, bool withDlc);

    RecordingClientListener listener;
    std::unique_ptr<VantisClient::UserPreferences> preferences;
};

}  // namespace VantisTest
