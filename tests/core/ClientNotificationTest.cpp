#include <cstdint>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/APIStatusNotification.h"
#include "core/AuthLostNotification.h"
#include "core/CheckForManifestUpdateNotification.h"
#include "core/CoreInitializedNotification.h"
#include "core/InstallProgressNotification.h"
#include "core/InstallResultNotification.h"
#include "core/ProductStateChangedNotification.h"
#include "core/ShutdownResponseNotification.h"
#include "core/SignInResultNotification.h"
#include "MockClientListener.h"

namespace VantisClient {
namespace {

using ::testing::Field;
using ::testing::FloatEq;
using ::testing::StrictMock;

Poco::SharedPtr<ProductPresentationData> snapshot(const std::string& gameId, EProductState state) {
    return new ProductPresentationData(ProductIdentification(gameId, 7, tRevisionList{gameId}, "en"),
                                       MiniManifestContents(), state, LanguageList(),
                                       std::vector<AvailableGameIDInfo>());
}

void dispatch(ClientNotification* notification, IClientListener& listener) {
    ClientNotification::Ptr owned(notification);
    owned->dispatchToClient(&listener);
}

// A strict mock fails the test on any call that was not expected, so each case
// also proves that no other operation was reached.
TEST(ClientNotificationTest, InstallResultSeparatesSuccessAbortAndFailure) {
    const Poco::SharedPtr<ProductPresentationData> product = snapshot("1", EProductState::Installed);
    StrictMock<VantisTest::MockClientListener> listener;
    {
        ::testing::InSequence order;
        EXPECT_CALL(listener, onProductInstallSuccess(product));
        EXPECT_CALL(listener, onProductInstallAborted(product));
        EXPECT_CALL(listener, onProductInstallFailed(product, EInstallResult::OutOfDiskSpace));
        EXPECT_CALL(listener, onProductInstallFailed(product, EInstallResult::UnknownGame));
        EXPECT_CALL(listener, onProductInstallFailed(product, static_cast<EInstallResult>(42)));
    }
    for (int32_t result : {0, 1, 4, 8, 42}) {
        dispatch(new InstallResultNotification(product, static_cast<EInstallResult>(result)), listener);
    }
}

TEST(ClientNotificationTest, SignInResultReachesOnlyTheOperationOfItsStatus) {
    StrictMock<VantisTest::MockClientListener> listener;
    SignInResult result;
    result.userName = "Zo\xC3\xAB";
    result.refreshToken = "r-1";
    {
        ::testing::InSequence order;
        EXPECT_CALL(listener, onSignedIn(::testing::AllOf(Field(&SignInResult::userName, "Zo\xC3\xAB"),
                                                          Field(&SignInResult::refreshToken, "r-1"))));
        EXPECT_CALL(listener, onSignInFailed(testing::_));
    }
    for (int32_t status : {0, 1, 2, -1}) {
        result.status = status;
        dispatch(new SignInResultNotification(result), listener);
    }
}

TEST(ClientNotificationTest, SignInResultKeepsItsOwnCopy) {
    StrictMock<VantisTest::MockClientListener> listener;
    SignInResult result;
    result.status = SignInResult::STATUS_SUCCESS;
    result.userName = "first";
    ClientNotification::Ptr notification = new SignInResultNotification(result);
    result.userName = "changed after queueing";
    EXPECT_CALL(listener, onSignedIn(Field(&SignInResult::userName, "first")));
    notification->dispatchToClient(&listener);
}

TEST(ClientNotificationTest, AuthLostReachesOnlyTheOperationOfItsKind) {
    StrictMock<VantisTest::MockClientListener> listener;
    {
        ::testing::InSequence order;
        EXPECT_CALL(listener, onSignedOut());
        EXPECT_CALL(listener, onAuthLost());
    }
    for (int32_t kind : {0, 1, 2, -1}) dispatch(new AuthLostNotification(kind), listener);
}

TEST(ClientNotificationTest, EveryOtherNotificationCallsItsOneOperationWithWhatItCarries) {
    StrictMock<VantisTest::MockClientListener> listener;
    const Poco::SharedPtr<ProductPresentationData> product = snapshot("1207658924", EProductState::Updating);
    InitializationData data;
    data.result = InitializationData::RESULT_PRODUCT_UNUSABLE;
    data.selectedGameId = "1207658924";
    data.userName = L"Zo\u00EB";
    data.apiStatus = APIStatusResult::STATUS_ONLINE;

    ::testing::InSequence order;
    EXPECT_CALL(listener, handleInstallProgress(product, EInstallStatusCode::Downloading, FloatEq(0.625f),
                                                uint64_t(5000000000ULL)));
    EXPECT_CALL(listener, onProductStateChanged("1207658924", EProductState::Updating));
    EXPECT_CALL(listener, onManifestUpdateCheckResults(EManifestUpdateCode::CheckFailed, "42"));
    EXPECT_CALL(listener, onAPIStatusChanged(::testing::AllOf(
                              Field(&APIStatusResult::status, APIStatusResult::STATUS_OFFLINE),
                              Field(&APIStatusResult::gamecardEndpoint, "cards.example:8080"),
                              Field(&APIStatusResult::interval, 600))));
    EXPECT_CALL(listener, onCoreInitialized(::testing::AllOf(
                              Field(&InitializationData::result, InitializationData::RESULT_PRODUCT_UNUSABLE),
                              Field(&InitializationData::selectedGameId, "1207658924"),
                              Field(&InitializationData::userName, L"Zo\u00EB"),
                              Field(&InitializationData::apiStatus, APIStatusResult::STATUS_ONLINE))));
    EXPECT_CALL(listener, onShutdownRequest());

    dispatch(new InstallProgressNotification(product, EInstallStatusCode::Downloading, 0.625f, 5000000000ULL),
             listener);
    dispatch(new ProductStateChangedNotification(product), listener);
    dispatch(new CheckForManifestUpdateNotification(EManifestUpdateCode::CheckFailed, "42"), listener);
    dispatch(new APIStatusNotification(APIStatusResult::STATUS_OFFLINE, "cards.example:8080", 600), listener);
    dispatch(new CoreInitializedNotification(data), listener);
    dispatch(new ShutdownResponseNotification(), listener);
}

}  // namespace
}  // namespace VantisClient
