// The desktop shell's page: a WebKit web view that shows the login page or
// the game card, with the page's side of the bridge. A user script gives
// every top-level document the "gameCard" object whose sendMessage reaches
// the "gameCard" message handler; each text goes to the game card's or the
// login page's handler, by the page the controller wants shown. When a page
// has loaded, its script resource ("gameview" or "loginpage") runs and its
// handler hears that the document is ready. The client's messages reach the
// page's receiveMessage as string literals (PageScript).
//
// The view is the client's, not the web's. Its document is only ever the
// login page (the login host's origin), the game card (the card's origin) or
// the card's local files; a person's click on any other link opens it in the
// desktop's browser, other navigations elsewhere are refused. A bridge message
// counts only when it came through the top frame's bridge (which carries a
// token frames of other origins cannot read) while the view shows the page the
// controller expects. Script dialogs are logged and never shown; credential
// requests, downloads and new windows are refused and logged.
//
// The sign-in redirect (vantisclient://login_success) is never loaded: every
// navigation to the client's own scheme is refused where the web view asks
// for a policy, in any frame. Only the top-level document's refused load, which
// WebKit reports as a failed load of the view itself, is handed to the
// controller; a frame inside a page cannot sign the user in.
//
// Cookies persist in "Cookies.sqlite" (0600) in the application-support root,
// emptied before the login page loads; the web view's own data and cache live
// below "WebKit" there (WebKit's disk cache is off: it has no bound to set).
// Servers the system does not trust are accepted only
// through the bundle's anchor (BundleTrust). Each request the view sends is
// offered to the web cache (WebCacheFiller).
//
// Thread-safety: GTK objects; every operation on the GTK main thread.
#pragma once

#include <functional>
#include <set>
#include <string>

#include <webkit2/webkit2.h>

#include "app/BaseAppDelegate.h"
#include "bridge/WebCacheFiller.h"
#include "gtk/BundleTrust.h"
#include "gtk/PageDestinations.h"

namespace VantisClient {

class PageView {
public:
    static const char* const BRIDGE_HANDLER_NAME;
    static const char* const COOKIE_FILE_NAME;
    static const char* const LOGIN_REDIRECT_PREFIX;

    using LoadingListener = std::function<void(bool loading)>;

    PageView(BaseAppDelegate& controller, const std::string& supportRoot);
    ~PageView();
    PageView(const PageView&) = delete;
    PageView& operator=(const PageView&) = delete;

    GtkWidget* widget() const { return GTK_WIDGET(m_view); }
    WebKitUserContentManager* contentManager() const { return m_content; }
    // Told when a load starts and when it ends, whatever its outcome.
    void setLoadingListener(LoadingListener listener) { m_loadingListener = std::move(listener); }
    // Runs in every loaded page after the page's own script, before its
    // handler hears that the document is ready.
    void setExtraPageScript(std::string script) { m_extraScript = std::move(script); }

    void loadLoginPage();
    // A "Remote" card is an address, a "Local" one a file.
    void loadGameCard(const std::string& pathOrAddress, bool remote);
    // Calls the page's receiveMessage with `text`.
    void deliver(const std::string& text);
    // The backend's game card host, which the web cache follows.
    void setGameCardEndpoint(const std::string& endpoint) { m_gameCardEndpoint = endpoint; }
    void runScript(const std::string& script);

private:
    enum class Page { None, LoginPage, GameCard };

    static WebKitWebContext* createContext(const std::string& supportRoot);
    void installBridge();
    void connectSignals();
    void load(const std::string& address);
    void startLoginPageLoad();
    void runPageScripts();
    void documentReady(ViewType view);
    bool isOwnPage(const std::string& address, ViewType view) const;
    bool isDestination(const std::string& address) const;
    void routeMessage(const std::string& token, const std::string& text);
    bool refuseOwnScheme(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
    bool refuseForeignDestination(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
    void openInBrowser(const std::string& address);
    static void openOnWorker(GTask*, gpointer, gpointer address, GCancellable*);
    bool refuseDownload(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type);
    bool loadFailed(const std::string& failingUri, const GError* error);
    bool retryTrusted(const std::string& failingUri, GTlsCertificate* certificate);

    static void onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self);
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                   gpointer self);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error, gpointer self);
    static gboolean onTlsErrors(WebKitWebView*, gchar* failingUri, GTlsCertificate* certificate,
                                GTlsCertificateFlags, gpointer self);
    static void onResourceLoadStarted(WebKitWebView*, WebKitWebResource*, WebKitURIRequest* request, gpointer self);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer);
    static gboolean onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer);
    static void onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer);
    static gboolean onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer);
    static void onCookiesCleared(GObject* manager, GAsyncResult* result, gpointer pending);
    static void onPageScriptRun(GObject* view, GAsyncResult* result, gpointer pending);

    BaseAppDelegate& m_controller;
    WebKitWebContext* m_context;
    WebKitUserContentManager* m_content;
    WebKitWebView* m_view;
    // Cancelled when the page goes, so no late callback reaches it.
    GCancellable* m_cancellable;
    BundleTrust m_trust;
    // Known only to the top frame's bridge script.
    const std::string m_bridgeToken;
    // Where the login page and the game card may be; only these are loaded
    // as the view's document, and only they are heard on the bridge.
    PageDestinations m_loginPage;
    PageDestinations m_gameCard;
    WebCacheFiller m_cacheFiller;
    LoadingListener m_loadingListener;
    std::string m_extraScript;
    std::string m_gameCardEndpoint;
    std::set<std::string> m_hostsTrustedByBundle;
    Page m_page = Page::None;
    // Counts the loads asked for, so that the answer to an older one is dropped.
    unsigned m_loadGeneration = 0;
    bool m_loadFailed = false;
};

}  // namespace VantisClient
