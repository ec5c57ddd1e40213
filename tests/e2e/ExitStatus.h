// The exit statuses vantis-client documents, as the end-to-end tests expect
// them: written down here rather than taken from the code, so that a changed
// status shows as a failing test. 10 plus the install result when an install
// failed; start-up codes as the system reports them.
#pragma once

#include "common/EReturnCode.h"

namespace VantisTest::ExitStatus {

constexpr int INSTALL_ABORTED = 11;
constexpr int DISK_ACCESS_PROBLEM = 13;
constexpr int NOT_AUTHORIZED = 16;
constexpr int SERVER_PROBLEM = 17;
constexpr int UNKNOWN_GAME = 18;
constexpr int SIGN_IN_FAILED = 20;
constexpr int PLAY_FAILED = 21;
constexpr int BACKEND_UNUSABLE = 22;
constexpr int FILES_DAMAGED = 24;
constexpr int GAME_BUSY = 25;
constexpr int USAGE = 64;
constexpr int SIGINT_RECEIVED = 130;
constexpr int SIGTERM_RECEIVED = 143;
constexpr int GAME_ID_NOT_RECOGNIZED = VantisClient::RC_GAME_ID_NOT_RECOGNIZED & 0xFF;

}  // namespace VantisTest::ExitStatus
