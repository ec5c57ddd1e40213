#include "core/SignInResultNotification.h"

namespace VantisClient {

SignInResultNotification::SignInResultNotification(const SignInResult& result) : m_result(result) {}

void SignInResultNotification::dispatchToClient(IClientListener* listener) {
    if (m_result.status == SignInResult::STATUS_SUCCESS) {
        listener->onSignedIn(m_result);
    } else if (m_result.status == SignInResult::STATUS_FAILURE) {
        listener->onSignInFailed(m_result);
    }
}

}  // namespace VantisClient
