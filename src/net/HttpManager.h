// The process-wide owner of the client's HTTP machinery: the plain client with
// its sixteen workers, the signed-in client layered on the same workers, the
// sign-in state and the three events the engine listens to. It sends requests
// for the rest of the client and builds the ranged requests that fetch file parts.
//
// Thread-safety: Instance() and Shutdown() are serialised by a static lock;
// requests may be sent from any thread. ProcessDataThread() is called by the
// engine's loop thread only, and every answer and event is delivered there;
// Shutdown() waits for a delivery in progress.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include <Poco/BasicEvent.h>
#include <Poco/EventArgs.h>
#include <Poco/SharedPtr.h>

#include "common/VantisMutex.h"
#include "net/SignInResult.h"
#include "net/AuthenticatedHttpClient.h"
#include "net/HostProvider.h"
#include "net/IHttpClient.h"
#include "net/MultiThreadedHttpClient.h"

namespace VantisClient {

class HttpManager {
public:
    static const int HTTP_WORKER_COUNT = 16;
    static const int32_t FILE_PART_TIMEOUT_SECONDS = 600;

    enum SignInState { SIGN_IN_NONE = 0, SIGNING_IN = 1, SIGNED_IN = 2, SIGNING_OUT = 3 };

    // Creates the manager on first use; null once Shutdown() has run, so
    // that work still running at shutdown cannot bring the manager back.
    static HttpManager* Instance();
    // The first step of a shutdown: blocking requests stop waiting, transfers
    // in flight are cut short and no answer is delivered any more, but the
    // manager stays, so that work still inside it can leave it. Shutdown()
    // follows once that work has ended.
    static void Close();
    // Closes and destroys the manager; no listener is called afterwards.
    static void Shutdown();
    // Lets Instance() create a manager again after a Shutdown(): a new engine
    // calls it, and so do tests.
    static void Open();
    // True from Close() or Shutdown() to Open(): waits for answers end then.
    static bool IsShutDown();
    // Delivers the answers finished so far to their listeners; does nothing
    // when no manager exists.
    static void ProcessDataThread();

    virtual ~HttpManager();

    void sendRequest(Http::HttpRequest& request, Poco::SharedPtr<Http::IHttpClient::IResponseListener>& listener,
                     bool authenticated);
    // A GET of `url` for `size` bytes from `offset` + `skip` ("Range"), or of
    // the whole resource when all three are 0, at no more than `speedLimit`
    // bytes per second (0: no limit).
    void downloadFilePart(const std::string& url, uint64_t offset, uint64_t skip, uint32_t size, uint32_t speedLimit,
                          Poco::SharedPtr<Http::IHttpClient::IResponseListener>& listener);
    void signInWithRefreshToken(const std::string& token);
    void signInWithPassword(const std::string& user, const std::string& password);
    // Installs tokens obtained elsewhere (the authorization-code exchange); the
    // user then counts as signed in, so a later loss is reported.
    void setAsAuthenticated(const std::string& refreshToken, const std::string& accessToken, uint32_t expiresIn,
                            uint64_t userId);
    void signOut();
    void registerAuthListener(Http::AuthenticatedHttpClient::ListenerPtr listener);
    void unregisterAuthListener(Http::AuthenticatedHttpClient::ListenerPtr listener);
    uint64_t getUserId();
    std::string getRefreshToken();
    // Whether the last failed sign-in or refresh was the backend refusing the credentials.
    bool lastAuthFailureWasRejection();
    Http::HostProvider* getHostProvider();
    // Called on a worker thread whenever a request has finished.
    void setCompletionHook(std::function<void()> hook);
    // See HttpClient::setOutcomeHook; every request, signed-in or not, passes it.
    void setOutcomeHook(Http::HttpClient::OutcomeHook hook);
    // Keep-alive sessions between requests (on by default); for measuring both ways.
    void setConnectionReuse(bool reuse);
    int32_t getSignInState() const;

    virtual void onAuthSuccess(uint64_t userId, const std::string& refreshToken);
    virtual void onAuthFailure();
    virtual void onAuthLost();

    Poco::BasicEvent<SignInResult> signInResultEvent;
    Poco::BasicEvent<Poco::EventArgs> signedOutEvent;
    Poco::BasicEvent<Poco::EventArgs> authLostEvent;

private:
    class AuthListener;

    HttpManager();
    HttpManager(const HttpManager&) = delete;
    HttpManager& operator=(const HttpManager&) = delete;

    static VantisMutex sm_mutex;
    // Held while answers are delivered, so that Shutdown() waits for the delivery.
    static VantisMutex sm_deliveryMutex;
    static std::atomic<HttpManager*> sm_instance;
    static bool sm_shutDown;

    std::atomic<int32_t> m_signInState{SIGN_IN_NONE};
    Poco::SharedPtr<MultiThreadedHttpClient> m_plainClient;
    Http::AuthenticatedHttpClient::Ptr m_authClient;
};

}  // namespace VantisClient
