#include "bridge/GameViewState.h"

namespace VantisClient {

GameViewState::GameViewState(bool signedIn) : m_signedIn(signedIn) {}

void GameViewState::gameStarted() { m_gameRunning = true; }

void GameViewState::gameClosed() { m_gameRunning = false; }

void GameViewState::updateInProgress() { m_updateInProgress = true; }

bool GameViewState::isUpdateInProgress() const { return m_updateInProgress; }

void GameViewState::gameUnplayable() { m_unplayable = true; }

void GameViewState::gamePlayable() { m_unplayable = false; }

bool GameViewState::isUnplayable() const { return m_unplayable; }

void GameViewState::updateComplete(EInstallResult result) {
    m_updateInProgress = false;
    m_unplayable = false;
    m_lastInstallResult = static_cast<int32_t>(result);
    m_hasLastInstallResult = true;
}

bool GameViewState::getLastInstallResult(EInstallResult& result) const {
    if (!m_hasLastInstallResult) return false;
    result = static_cast<EInstallResult>(m_lastInstallResult.load());
    return true;
}

bool GameViewState::isUserSignedIn() const { return m_signedIn; }

void GameViewState::onUserStateChanged(bool signedIn) { m_signedIn = signedIn; }

bool GameViewState::isPlayButtonEnabled() const { return !m_unplayable && !m_gameRunning; }

}  // namespace VantisClient
