#include "net/HttpManager.h"

#include <Poco/NumberFormatter.h>

#include "common/Constants.h"
#include "common/ScopedLock.h"
#include "net/RequestFactory.h"

namespace VantisClient {
namespace {

// "bytes=first-last"; open-ended when no size is given, so a part that starts
// later is never asked for with its end before its start.
std::string rangeValue(uint64_t offset, uint64_t skip, uint32_t size) {
    const uint64_t first = offset + skip;
    std::string value = "bytes=" + Poco::NumberFormatter::format(first) + "-";
    if (size > 0) value += Poco::NumberFormatter::format(first + size - 1);
    return value;
}

}  // namespace

// Forwards the signed-in client's reports to the manager.
class HttpManager::AuthListener : public Http::IAuthInternalListener {
public:
    explicit AuthListener(HttpManager* manager) : m_manager(manager) {}
    void OnAuthSuccess() override {
        m_manager->onAuthSuccess(m_manager->getUserId(), m_manager->getRefreshToken());
    }
    void OnAuthFailure() override { m_manager->onAuthFailure(); }
    void OnAuthLost() override { m_manager->onAuthLost(); }

private:
    HttpManager* m_manager;
};

VantisMutex HttpManager::sm_mutex;
VantisMutex HttpManager::sm_deliveryMutex;
std::atomic<HttpManager*> HttpManager::sm_instance{nullptr};
bool HttpManager::sm_shutDown = false;

HttpManager* HttpManager::Instance() {
    ScopedLock lock(sm_mutex);
    if (sm_instance == nullptr && !sm_shutDown) sm_instance = new HttpManager();
    return sm_instance;
}

void HttpManager::Close() {
    ScopedLock lock(sm_mutex);
    sm_shutDown = true;
    if (sm_instance != nullptr) sm_instance.load()->m_plainClient->Finish();
}

void HttpManager::Shutdown() {
    // Never while answers are being delivered; in this order, so that a
    // listener may still reach Instance() meanwhile.
    ScopedLock delivering(sm_deliveryMutex);
    ScopedLock lock(sm_mutex);
    sm_shutDown = true;
    delete sm_instance.exchange(nullptr);
}

void HttpManager::Open() {
    ScopedLock lock(sm_mutex);
    sm_shutDown = false;
}

bool HttpManager::IsShutDown() {
    ScopedLock lock(sm_mutex);
    return sm_shutDown;
}

void HttpManager::ProcessDataThread() {
    ScopedLock delivering(sm_deliveryMutex);
    HttpManager* manager = sm_instance;
    if (manager == nullptr) return;
    manager->m_plainClient->ProcessData();
    manager->m_authClient->ProcessData();
}

HttpManager::HttpManager() : m_plainClient(new MultiThreadedHttpClient(HTTP_WORKER_COUNT)) {
    m_authClient = Http::AuthenticatedHttpClient::Create(CLIENT_ID, CLIENT_SECRET, m_plainClient,
                                                         new AuthListener(this));
}

HttpManager::~HttpManager() {
    // No answer is delivered from here on, so no listener outlives its client.
    m_plainClient->Finish();
    m_authClient.reset();
    m_plainClient.reset();
}

void HttpManager::sendRequest(Http::HttpRequest& request,
                              Poco::SharedPtr<Http::IHttpClient::IResponseListener>& listener, bool authenticated) {
    if (authenticated) {
        m_authClient->SendRequest(request, listener);
    } else {
        m_plainClient->SendRequest(request, listener);
    }
}

void HttpManager::downloadFilePart(const std::string& url, uint64_t offset, uint64_t skip, uint32_t size,
                                   uint32_t speedLimit,
                                   Poco::SharedPtr<Http::IHttpClient::IResponseListener>& listener) {
    Http::HttpRequest request;
    Http::RequestFactory::targetUrl(request, url);
    request.method = Http::HttpRequest::HTTP_METHOD_GET;
    request.version = Http::HttpRequest::HTTP_VERSION_1_1;
    request.timeout = FILE_PART_TIMEOUT_SECONDS;
    request.speedLimit = speedLimit;
    if (offset != 0 || skip != 0 || size != 0) request.headers.emplace("Range", rangeValue(offset, skip, size));
    sendRequest(request, listener, true);
}

void HttpManager::signInWithRefreshToken(const std::string& token) {
    m_signInState = SIGNING_IN;
    m_authClient->SignInWithRefreshToken(token);
}

void HttpManager::signInWithPassword(const std::string& user, const std::string& password) {
    m_signInState = SIGNING_IN;
    m_authClient->SignInWithPassword(user, password);
}

void HttpManager::setAsAuthenticated(const std::string& refreshToken, const std::string& accessToken,
                                     uint32_t expiresIn, uint64_t userId) {
    m_authClient->SetAsAuthenticated(refreshToken, accessToken, expiresIn, userId);
    m_signInState = SIGNED_IN;
}

void HttpManager::signOut() {
    m_signInState = SIGNING_OUT;
    m_authClient->SignOut();
    // Nobody was signed in, so no loss came to end the sign-out.
    int32_t signingOut = SIGNING_OUT;
    m_signInState.compare_exchange_strong(signingOut, SIGN_IN_NONE);
}

void HttpManager::registerAuthListener(Http::AuthenticatedHttpClient::ListenerPtr listener) {
    m_authClient->registerAuthListener(listener);
}

void HttpManager::unregisterAuthListener(Http::AuthenticatedHttpClient::ListenerPtr listener) {
    m_authClient->unregisterAuthListener(listener);
}

uint64_t HttpManager::getUserId() { return m_authClient->GetUserIdentity(); }

std::string HttpManager::getRefreshToken() { return m_authClient->GetRefreshToken(); }

bool HttpManager::lastAuthFailureWasRejection() { return m_authClient->lastFailureWasRejection(); }

Http::HostProvider* HttpManager::getHostProvider() { return Http::HostProvider::Instance(); }

void HttpManager::setCompletionHook(std::function<void()> hook) { m_plainClient->setCompletionHook(std::move(hook)); }

void HttpManager::setOutcomeHook(Http::HttpClient::OutcomeHook hook) {
    m_plainClient->setOutcomeHook(std::move(hook));
}

void HttpManager::setConnectionReuse(bool reuse) { m_plainClient->setConnectionReuse(reuse); }

int32_t HttpManager::getSignInState() const { return m_signInState; }

void HttpManager::onAuthSuccess(uint64_t userId, const std::string&) {
    SignInResult result;
    result.status = SignInResult::STATUS_SUCCESS;
    result.userId = Poco::NumberFormatter::format(userId);
    m_signInState = SIGNED_IN;
    signInResultEvent.notify(this, result);
}

void HttpManager::onAuthFailure() {
    SignInResult result;
    result.status = SignInResult::STATUS_FAILURE;
    m_signInState = SIGN_IN_NONE;
    signInResultEvent.notify(this, result);
}

void HttpManager::onAuthLost() {
    const int32_t previous = m_signInState.exchange(SIGN_IN_NONE);
    Poco::EventArgs args;
    if (previous == SIGNED_IN) {
        authLostEvent.notify(this, args);
    } else if (previous == SIGNING_OUT) {
        signedOutEvent.notify(this, args);
    }
}

}  // namespace VantisClient
