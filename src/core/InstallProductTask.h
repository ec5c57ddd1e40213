// Installs one product, or brings an installed one up to date, for a chosen
// selection of game ids and language: checks that the user owns every selected
// game, reads the product manifest, settles the product's record and paths,
// selects the depots, drives the files synchronizer (scan, download, placing),
// runs the support installers and writes the product back. Progress, state
// changes and the one result leave through the three events; the pipeline
// persists file states through the callback operations.
//
// A verify is an install of the installed selection that hashes every
// installed file first, whatever its record says, and reports the missing and
// damaged ones through the verify event. It ends there when nothing is wrong
// or when it only reports (no result event then, and the product's state is
// left alone); a repair goes on as an update that fetches just those files.
//
// The first result recorded is final: an abort or a lost authentication wins
// over whatever the interrupted step reports afterwards. An install that ends
// any other way than Success (or a refused licence of an installed game)
// keeps the product's state and target, so that it can be resumed.
//
// Thread-safety: doWork(), the callback operations and the events run on the
// installer subsystem's thread. abort() and onAuthLost() may come from any
// thread at any time.
#pragma once

#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/Optional.h>
#include <Poco/SharedPtr.h>
#include <Poco/Timestamp.h>

#include "common/AbortSignal.h"
#include "common/EngineSettings.h"
#include "common/VantisMutex.h"
#include "core/ClientTask.h"
#include "core/ELicenceAnswer.h"
#include "core/ProductInstallProgressStruct.h"
#include "core/ProductInstallResultStruct.h"
#include "core/ProductStateChangedStruct.h"
#include "core/ProductVerifyResultStruct.h"
#include "install/EInstallResult.h"
#include "install/EInstallStatusCode.h"
#include "install/ProductFilesSynchronizer.h"
#include "install/ProductFilesSynchronizerCallbackInterface.h"
#include "model/ProductInfo.h"
#include "model/RemoteProductDefinition.h"

namespace VantisClient {

class InstallProductTask : public ClientTask, public ProductFilesSynchronizerCallbackInterface {
public:
    using Ptr = Poco::AutoPtr<InstallProductTask>;

    enum class Mode { Install, VerifyAndRepair, VerifyOnly };

    static const char* const STR_ID;
    // Progress is published at most this often while the files download.
    static constexpr Poco::Timestamp::TimeDiff PROGRESS_INTERVAL_US = 100000;

    // Installs the definition's game id for its revision list and language,
    // where and as `settings` say.
    InstallProductTask(const RemoteProductDefinition& definition, const EngineSettings& settings,
                       Mode mode = Mode::Install);

    const char* GetStrId() const override;
    std::string GetGameId() const override;
    void doWork() override;
    // The result becomes NotAuthorized unless one was recorded, then the work stops.
    void onAuthLost() override;
    // The result becomes Aborted unless one was recorded; the work stops at its
    // next check, a running hash operation or installer included.
    void abort() override;

    bool serializeProductInfo() override;
    bool serializeProductInfoToIndex() override;
    bool serializeFileState(Poco::SharedPtr<InstalledFileInfo> file) override;
    bool serializeFilesStates(std::vector<Poco::SharedPtr<InstalledFileInfo>>& files) override;
    bool serializeFileState(Poco::SharedPtr<DownloadingFileInfo> file) override;
    bool serializeFilesStates(std::vector<Poco::SharedPtr<DownloadingFileInfo>>& files) override;
    void postNotification_Progress() override;
    void postNotification_StatusCode(EInstallStatusCode statusCode) override;
    void postNotification_StateChanged(const ProductPresentationData::Ptr& data);

    // Unset until the task has recorded its result.
    Poco::Optional<EInstallResult> result() const;

    Poco::BasicEvent<ProductInstallProgressStruct> progressEvent;
    // Fired once, at the end of every run but a verify that ends with its report.
    Poco::BasicEvent<ProductInstallResultStruct> resultEvent;
    // Fired once by a verify, after the scan, unless it failed or was aborted before.
    Poco::BasicEvent<ProductVerifyResultStruct> verifyEvent;
    Poco::BasicEvent<ProductStateChangedStruct> stateChangedEvent;

protected:
    ~InstallProductTask() override = default;

private:
    void install();
    // Owned, or the first answer that is not.
    ELicenceAnswer ownsEverySelectedGame() const;
    ProductInfo::Ptr deserializeOrCreateProductInfo();
    ProductInfo::Ptr createProductInfo();
    // Stores what the game's info files say in the product; the loader's error text.
    static std::string loadInfoFiles(ProductInfo& product);
    bool fillRemoteProductInfoFromManifest();
    void prepareCurrentProductInfo();
    // The product becomes the install's: its state and its target.
    void claimProduct();
    void settleProductState();
    // Reports what a verify's scan found; true when a repair follows.
    bool reportVerification();
    void updateProductInfoPaths();
    bool deserializeDepots();
    bool selectDepots();
    bool launchProductFilesSynchronizer();
    bool finishIfAborted();
    void finalizeInstallation();
    // Records `result` unless one was recorded; the result that stands.
    EInstallResult recordResult(EInstallResult result);
    void taskFinished(EInstallResult result);
    void publishProgress();

    const std::string m_gameId;
    const EngineSettings m_settings;
    const Mode m_mode;
    AbortSignal::Ptr m_abortSignal;
    ProductInfo::Ptr m_product;
    // The state the product had when the task found it.
    EProductState m_initialState = EProductState::None;
    Poco::SharedPtr<RemoteProductDefinition> m_remoteDefinition;
    EInstallStatusCode m_status = EInstallStatusCode::NotStarted;
    // When progress was last published; a status change always publishes it.
    Poco::Timestamp m_lastProgress{0};
    // Guards the result and the synchronizer, which abort() reaches from other threads.
    mutable VantisMutex m_mutex;
    Poco::Optional<EInstallResult> m_result;
    Poco::SharedPtr<ProductFilesSynchronizer> m_synchronizer;
};

}  // namespace VantisClient
