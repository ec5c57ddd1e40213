#include "core/CheckProductOfferTask.h"

#include "common/Logger.h"
#include "core/ClientCore.h"
#include "core/ProductManifestReader.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

const char* const CheckProductOfferTask::STR_ID = "CheckProductOfferTask";

CheckProductOfferTask::CheckProductOfferTask(const std::string& gameId)
    : m_gameId(gameId), m_abortSignal(new AbortSignal) {}

const char* CheckProductOfferTask::GetStrId() const { return STR_ID; }

void CheckProductOfferTask::doWork() {
    ClientTask::doWork();
    RemoteProductDefinition definition;
    definition.setGameId(m_gameId);
    const ProductManifestReader::Status status = ProductManifestReader::Fetch(definition, m_abortSignal);
    ProductOfferStruct offer;
    offer.gameId = m_gameId;
    if (status == ProductManifestReader::Status::Read) {
        offer.result = EInstallResult::Success;
        offer.languages = definition.getAvailableLanguages();
        offer.gameIds = definition.getAvailableGameIDs();
        offer.depots = definition.getDepots();
    } else if (m_abortSignal->isRaised()) {
        return;  // the engine stops: nobody waits for the answer
    } else {
        offer.result = whyNotOffered(m_gameId, status == ProductManifestReader::Status::UnknownGame);
        Logger::LogWarning("The backend offers nothing of game %s: %s", m_gameId.c_str(),
                           GetInstallResultText(offer.result));
    }
    resultEvent.notify(this, offer);
}

EInstallResult CheckProductOfferTask::whyNotOffered(const std::string& gameId, bool unknownGame) {
    if (unknownGame) return EInstallResult::UnknownGame;
    const ELicenceAnswer licence = ClientCore::checkUserOwnGame(gameId);
    // An owned game whose manifest could not be read: the backend failed.
    return licence == ELicenceAnswer::Owned ? EInstallResult::ServerError : InstallResultOfLicence(licence);
}

void CheckProductOfferTask::abort() { m_abortSignal->raise(); }

// A lost sign-in fails the requests, which the answer then tells.
void CheckProductOfferTask::onAuthLost() {}

}  // namespace VantisClient
