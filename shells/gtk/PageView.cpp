#include "gtk/PageView.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

#include <Poco/Exception.h>
#include <Poco/FileStream.h>
#include <Poco/StreamCopier.h>

#include "bridge/LoginPageHandler.h"
#include "common/ApplicationEnvironment.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "common/Utilities.h"
#include "gtk/PageScript.h"
#include "platform/Platform.h"

namespace VantisClient {
namespace {

// The bridge of the top frame puts a token that no frame of another origin
// can read before each text, so that a message without it came from elsewhere
// than the page's own bridge. Texts only: a page's object would need a script
// engine on the client's side to be read.
std::string bridgeScript(const std::string& token) {
    return "(function () { var token = \"" + token +
           "\"; var handler = window.webkit.messageHandlers.gameCard;"
           " window.gameCard = Object.freeze({ sendMessage: function (text) {"
           " handler.postMessage(token + \" \" + String(text)); } }); })();";
}

std::string randomToken() {
    gchar* uuid = g_uuid_string_random();
    const std::string token = uuid;
    g_free(uuid);
    return token;
}

// An answer that arrives for a load asked for earlier than the latest one.
struct PendingLoad {
    PageView* page;
    unsigned generation;
    ViewType view;
};

bool startsWith(const std::string& text, const std::string& prefix) { return text.compare(0, prefix.size(), prefix) == 0; }

std::string directoryOf(const std::string& path) { return path.substr(0, path.rfind('/') + 1); }

const char* scriptDialogKind(WebKitScriptDialog* dialog) {
    switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            return "alert";
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            return "confirm";
        case WEBKIT_SCRIPT_DIALOG_PROMPT:
            return "prompt";
        default:
            return "beforeunload";
    }
}

// The address without its query: the sign-in code never reaches a log line.
std::string withoutQuery(const std::string& address) { return address.substr(0, address.find('?')); }

// The navigation a policy decision is about; null for a decision about a response.
WebKitNavigationAction* navigationOf(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && type != WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
        return nullptr;
    }
    return webkit_navigation_policy_decision_get_navigation_action(WEBKIT_NAVIGATION_POLICY_DECISION(decision));
}

bool isCancelled(const GError* error) { return g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED); }

// A load that was stopped for another one, or refused by the shell's own
// policy, is no failure to tell anyone about.
bool isReplacedLoad(const GError* error) {
    return g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
           g_error_matches(error, WEBKIT_POLICY_ERROR, WEBKIT_POLICY_ERROR_FRAME_LOAD_INTERRUPTED_BY_POLICY_CHANGE);
}

bool readScript(const std::string& name, std::string& script, std::string& error) {
    const std::string path = ApplicationEnvironment::GetResourcePath(name, "js");
    try {
        Poco::FileInputStream stream(path);
        Poco::StreamCopier::copyToString(stream, script);
        return true;
    } catch (const Poco::Exception& exception) {
        error = exception.displayText();
        return false;
    }
}

std::string hostOf(const std::string& address) {
    GUri* uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (uri == nullptr) return std::string();
    const char* host = g_uri_get_host(uri);
    const std::string result = host != nullptr ? host : "";
    g_uri_unref(uri);
    return result;
}

// The cookie file holds the session: only its owner may read it. SQLite gives
// its side files the same permissions.
void prepareCookieFile(const std::string& path) {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (descriptor >= 0) ::close(descriptor);
    if (::chmod(path.c_str(), 0600) != 0) {
        Logger::LogWarning("Could not make the cookie file %s private", path.c_str());
    }
}

}  // namespace

const char* const PageView::BRIDGE_HANDLER_NAME = "gameCard";
const char* const PageView::COOKIE_FILE_NAME = "Cookies.sqlite";
const char* const PageView::LOGIN_REDIRECT_PREFIX = "vantisclient://login_success";

PageView::PageView(BaseAppDelegate& controller, const std::string& supportRoot)
    : m_controller(controller),
      m_context(createContext(supportRoot)),
      m_content(webkit_user_content_manager_new()),
      m_view(nullptr),
      m_cancellable(g_cancellable_new()),
      m_trust(ApplicationEnvironment::GetResourcePath("rootCA", "pem")),
      m_bridgeToken(randomToken()) {
    WebKitSettings* settings = webkit_settings_new();
    webkit_settings_set_enable_developer_extras(settings, FALSE);
    webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
    m_view = WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", m_context, "user-content-manager",
                                          m_content, "settings", settings, nullptr));
    g_object_unref(settings);
    g_object_ref_sink(m_view);
    installBridge();
    connectSignals();
}

PageView::~PageView() {
    g_cancellable_cancel(m_cancellable);
    g_signal_handlers_disconnect_by_data(m_view, this);
    g_signal_handlers_disconnect_by_data(m_content, this);
    g_signal_handlers_disconnect_by_data(m_context, this);
    g_object_unref(m_view);
    g_object_unref(m_content);
    g_object_unref(m_context);
    g_object_unref(m_cancellable);
}

WebKitWebContext* PageView::createContext(const std::string& supportRoot) {
    const std::string dataDirectory = Utilities::AppendPath(supportRoot, "WebKit");
    WebKitWebsiteDataManager* data = webkit_website_data_manager_new(
        "base-data-directory", dataDirectory.c_str(), "base-cache-directory",
        Utilities::AppendPath(dataDirectory, "Cache").c_str(), nullptr);
    WebKitWebContext* context = webkit_web_context_new_with_website_data_manager(data);
    // WebKit's own disk cache has no size bound to set: it is switched off,
    // and the card's offline copy is the client's web cache, which has one.
    webkit_web_context_set_cache_model(context, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    const std::string cookies = Utilities::AppendPath(supportRoot, COOKIE_FILE_NAME);
    prepareCookieFile(cookies);
    webkit_cookie_manager_set_persistent_storage(webkit_website_data_manager_get_cookie_manager(data), cookies.c_str(),
                                                 WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    g_object_unref(data);
    // The web process's sandbox needs user namespaces, which a container's
    // root seldom gets; root runs the pages unconfined instead.
    const bool sandboxed = geteuid() != 0;
    webkit_web_context_set_sandbox_enabled(context, sandboxed);
    if (!sandboxed) {
        Logger::LogChannelWarning("Browser",
                                  "Running as root: the web pages run without the web process's sandbox. Run the "
                                  "client as an ordinary user to confine them.");
    }
    if (sandboxed) {
        webkit_web_context_add_path_to_sandbox(context, ApplicationEnvironment::GetWebcachePath().c_str(), TRUE);
        webkit_web_context_add_path_to_sandbox(
            context, Utilities::AppendPath(ApplicationEnvironment::GetExecutableDirectoryPath(), "share").c_str(), TRUE);
    }
    return context;
}

void PageView::installBridge() {
    const std::string script = bridgeScript(m_bridgeToken);
    WebKitUserScript* bridge = webkit_user_script_new(script.c_str(), WEBKIT_USER_CONTENT_INJECT_TOP_FRAME,
                                                      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, nullptr, nullptr);
    webkit_user_content_manager_add_script(m_content, bridge);
    webkit_user_script_unref(bridge);
    webkit_user_content_manager_register_script_message_handler(m_content, BRIDGE_HANDLER_NAME);
    const std::string signal = std::string("script-message-received::") + BRIDGE_HANDLER_NAME;
    g_signal_connect(m_content, signal.c_str(), G_CALLBACK(onScriptMessage), this);
}

void PageView::connectSignals() {
    g_signal_connect(m_view, "decide-policy", G_CALLBACK(onDecidePolicy), this);
    g_signal_connect(m_view, "load-changed", G_CALLBACK(onLoadChanged), this);
    g_signal_connect(m_view, "load-failed", G_CALLBACK(onLoadFailed), this);
    g_signal_connect(m_view, "load-failed-with-tls-errors", G_CALLBACK(onTlsErrors), this);
    g_signal_connect(m_view, "resource-load-started", G_CALLBACK(onResourceLoadStarted), this);
    g_signal_connect(m_view, "context-menu", G_CALLBACK(onContextMenu), this);
    g_signal_connect(m_view, "script-dialog", G_CALLBACK(onScriptDialog), this);
    g_signal_connect(m_view, "authenticate", G_CALLBACK(onAuthenticate), this);
    g_signal_connect(m_view, "create", G_CALLBACK(onCreate), this);
    g_signal_connect(m_context, "download-started", G_CALLBACK(onDownloadStarted), this);
}

void PageView::loadLoginPage() {
    m_page = Page::LoginPage;
    // A fresh sign-in starts without the cookies of an earlier session.
    auto* pending = new PendingLoad{this, ++m_loadGeneration, LoginPageView};
    WebKitWebsiteDataManager* data = webkit_web_context_get_website_data_manager(m_context);
    webkit_website_data_manager_clear(data, WEBKIT_WEBSITE_DATA_COOKIES, 0, m_cancellable, onCookiesCleared, pending);
}

void PageView::onCookiesCleared(GObject* manager, GAsyncResult* result, gpointer pending) {
    std::unique_ptr<PendingLoad> load(static_cast<PendingLoad*>(pending));
    GError* error = nullptr;
    if (!webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(manager), result, &error)) {
        const bool cancelled = isCancelled(error);
        if (!cancelled) Logger::LogChannelWarning("Browser", "Could not empty the cookie store: %s", error->message);
        g_error_free(error);
        if (cancelled) return;
    }
    if (load->generation == load->page->m_loadGeneration) load->page->startLoginPageLoad();
}

void PageView::startLoginPageLoad() {
    const std::string address = LoginPageHandler::LoginAddress();
    m_loginPage.clear();
    m_loginPage.allowOrigin(address);
    Logger::LogChannelInfo("HttpTraffic", "Loading login page from %s", address.c_str());
    load(address);
}

void PageView::loadGameCard(const std::string& pathOrAddress, bool remote) {
    ++m_loadGeneration;
    m_page = Page::GameCard;
    std::string address = pathOrAddress;
    if (!remote) {
        gchar* uri = g_filename_to_uri(pathOrAddress.c_str(), nullptr, nullptr);
        address = uri != nullptr ? uri : "";
        g_free(uri);
    }
    Logger::LogChannelInfo("HttpTraffic", "Loading game card from path %s", address.c_str());
    if (address.empty()) {
        Logger::LogChannelWarning("Browser", "Failed to load content with error %s",
                                  ("not a file path: " + pathOrAddress).c_str());
        return;
    }
    m_gameCard.clear();
    if (remote) {
        m_gameCard.allowOrigin(address);
    } else {
        m_gameCard.allowFilesBelow(directoryOf(pathOrAddress));
    }
    m_gameCard.allowOrigin(m_gameCardEndpoint);
    load(address);
}

void PageView::load(const std::string& address) { webkit_web_view_load_uri(m_view, address.c_str()); }

void PageView::deliver(const std::string& text) {
    Logger::LogChannelInfo("JavaScript", "WebViewUpdate %s", text.c_str());
    runScript(PageScript::ReceiveMessageCall(text));
}

void PageView::runScript(const std::string& script) {
    webkit_web_view_evaluate_javascript(m_view, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        m_cancellable, nullptr, nullptr);
}

void PageView::runPageScripts() {
    const ViewType view = m_controller.getViewToLoad();
    const char* name = view == GameCardView ? "gameview" : view == LoginPageView ? "loginpage" : nullptr;
    if (name == nullptr) return;
    std::string script;
    std::string error;
    if (!readScript(name, script, error)) {
        Logger::LogChannelWarning("Browser", "Unable to load javascript file: %s", error.c_str());
        return;
    }
    auto* pending = new PendingLoad{this, m_loadGeneration, view};
    webkit_web_view_evaluate_javascript(m_view, script.c_str(), static_cast<gssize>(script.size()), nullptr, nullptr,
                                        m_cancellable, onPageScriptRun, pending);
}

void PageView::onPageScriptRun(GObject* view, GAsyncResult* result, gpointer pending) {
    std::unique_ptr<PendingLoad> load(static_cast<PendingLoad*>(pending));
    GError* error = nullptr;
    JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, &error);
    if (value != nullptr) g_object_unref(value);
    if (error != nullptr) {
        const bool cancelled = isCancelled(error);
        if (!cancelled) Logger::LogChannelWarning("JavaScript", "The page script failed: %s", error->message);
        g_error_free(error);
        if (cancelled) return;
    }
    if (load->generation == load->page->m_loadGeneration) load->page->documentReady(load->view);
}

void PageView::documentReady(ViewType view) {
    if (!m_extraScript.empty()) runScript(m_extraScript);
    if (view == GameCardView) {
        if (Poco::SharedPtr<GameViewHandler> card = m_controller.gameViewHandler()) card->onDocumentReady();
    } else if (Poco::SharedPtr<LoginPageHandler> login = m_controller.loginPageHandler()) {
        login->onDocumentReady();
    }
}

bool PageView::isOwnPage(const std::string& address, ViewType view) const {
    if (view == GameCardView) return m_gameCard.allows(address);
    return view == LoginPageView && m_loginPage.allows(address);
}

bool PageView::isDestination(const std::string& address) const {
    // An empty frame or one written by the page itself holds nothing from elsewhere.
    return address == "about:blank" || address == "about:srcdoc" || m_gameCard.allows(address) ||
           m_loginPage.allows(address);
}

void PageView::routeMessage(const std::string& token, const std::string& text) {
    const ViewType view = m_controller.getViewToLoad();
    const char* shown = webkit_web_view_get_uri(m_view);
    const std::string address = shown != nullptr ? shown : "";
    if (token != m_bridgeToken) {
        Logger::LogChannelWarning("JavaScript", "Refused a bridge message from a frame or a foreign script of %s: %s",
                                  withoutQuery(address).c_str(), text.c_str());
        return;
    }
    if (!isOwnPage(address, view)) {
        Logger::LogChannelWarning("JavaScript", "Refused a bridge message from %s, which is not the page shown: %s",
                                  withoutQuery(address).c_str(), text.c_str());
        return;
    }
    Logger::LogChannelInfo("JavaScript", "Received %s with script=%s", "sendMessage", text.c_str());
    if (view == GameCardView) {
        if (Poco::SharedPtr<GameViewHandler> card = m_controller.gameViewHandler()) card->onMessageFromBrowser(text);
    } else if (view == LoginPageView) {
        if (Poco::SharedPtr<LoginPageHandler> login = m_controller.loginPageHandler()) login->onMessageFromBrowser(text);
    }
}

bool PageView::refuseOwnScheme(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    WebKitNavigationAction* action = navigationOf(decision, type);
    if (action == nullptr) return false;
    const std::string address = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    if (!startsWith(address, std::string(API_LOGIN_SUCCESS_SCHEME) + ":")) return false;
    Logger::LogChannelInfo("Browser", "Refused navigation to %s", withoutQuery(address).c_str());
    webkit_policy_decision_ignore(decision);
    return true;
}

bool PageView::refuseForeignDestination(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    WebKitNavigationAction* action = navigationOf(decision, type);
    if (action == nullptr) return false;
    const std::string address = webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const bool newWindow = type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION;
    if (!newWindow && isDestination(address)) return false;
    webkit_policy_decision_ignore(decision);
    // A new window is never opened in the client, whatever it would show.
    if (newWindow) Logger::LogChannelWarning("Browser", "Refused a new window for %s", withoutQuery(address).c_str());
    // Only a person's click reaches the browser: a script that navigates by
    // itself must not open pages on the desktop, one after another.
    if (!webkit_navigation_action_is_user_gesture(action)) {
        Logger::LogChannelWarning("Browser", "Refused navigation to %s: no page of the client",
                                  withoutQuery(address).c_str());
        return true;
    }
    openInBrowser(address);
    return true;
}

void PageView::openInBrowser(const std::string& address) {
    Logger::LogChannelInfo("Browser", "Opening %s in the desktop's browser", withoutQuery(address).c_str());
    // The launcher starts the opener cleanly (no secrets, no descriptors) and
    // waits for its answer: on a worker, so that the view never freezes meanwhile.
    GTask* task = g_task_new(nullptr, nullptr, nullptr, nullptr);
    g_task_set_task_data(task, new std::string(address), [](gpointer data) { delete static_cast<std::string*>(data); });
    g_task_run_in_thread(task, openOnWorker);
    g_object_unref(task);
}

void PageView::openOnWorker(GTask*, gpointer, gpointer address, GCancellable*) {
    const std::string& target = *static_cast<const std::string*>(address);
    std::string error;
    if (Platform::DesktopLauncher()->open(target, error)) return;
    Logger::LogChannelWarning("Browser", "Could not open %s in the desktop's browser: %s",
                              withoutQuery(target).c_str(), error.c_str());
}

bool PageView::refuseDownload(WebKitPolicyDecision* decision, WebKitPolicyDecisionType type) {
    if (type != WEBKIT_POLICY_DECISION_TYPE_RESPONSE) return false;
    WebKitResponsePolicyDecision* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    if (webkit_response_policy_decision_is_mime_type_supported(response)) return false;
    const std::string address = webkit_uri_request_get_uri(webkit_response_policy_decision_get_request(response));
    Logger::LogChannelWarning("Browser", "Refused a download of %s: the client downloads nothing for a page",
                              withoutQuery(address).c_str());
    webkit_policy_decision_ignore(decision);
    return true;
}

bool PageView::loadFailed(const std::string& failingUri, const GError* error) {
    m_loadFailed = true;
    // The top-level document was sent to the client's redirect: the refused
    // load is the sign-in's answer.
    if (startsWith(failingUri, LOGIN_REDIRECT_PREFIX)) {
        m_controller.handleLoginRedirect(failingUri);
        return true;
    }
    if (isReplacedLoad(error)) return false;
    Logger::LogChannelWarning("Browser", "Failed to load content with error %s", error->message);
    if (m_page != Page::LoginPage) return false;
    m_controller.onLoginPageLoadFailed();
    return true;
}

bool PageView::retryTrusted(const std::string& failingUri, GTlsCertificate* certificate) {
    // The refused load ends all the same; its page is no page to set up.
    m_loadFailed = true;
    const std::string host = hostOf(failingUri);
    std::string why;
    // Trusted once already and refused again: the exception did not help.
    if (host.empty() || m_hostsTrustedByBundle.count(host) > 0 || !m_trust.accepts(certificate, host, why)) {
        Logger::LogChannelWarning("Browser", "Refused the certificate of %s: %s", host.c_str(),
                                  why.empty() ? "not trusted" : why.c_str());
        return false;
    }
    m_hostsTrustedByBundle.insert(host);
    webkit_web_context_allow_tls_certificate_for_host(m_context, certificate, host.c_str());
    load(failingUri);
    return true;
}

void PageView::onScriptMessage(WebKitUserContentManager*, WebKitJavascriptResult* result, gpointer self) {
    JSCValue* value = webkit_javascript_result_get_js_value(result);
    if (!jsc_value_is_string(value)) {
        Logger::LogChannelWarning("JavaScript", "Ignored a message from the page that is no text");
        return;
    }
    gchar* raw = jsc_value_to_string(value);
    const std::string message = raw;
    g_free(raw);
    // "<token> <text>" from the top frame's bridge.
    const size_t space = message.find(' ');
    static_cast<PageView*>(self)->routeMessage(space == std::string::npos ? std::string() : message.substr(0, space),
                                               space == std::string::npos ? message : message.substr(space + 1));
}

gboolean PageView::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog, gpointer) {
    Logger::LogChannelInfo("JavaScript", "Received %s with '%s'", scriptDialogKind(dialog),
                           webkit_script_dialog_get_message(dialog));
    // Handled: WebKit shows nothing, and a confirm or prompt stays unanswered.
    return TRUE;
}

gboolean PageView::onAuthenticate(WebKitWebView*, WebKitAuthenticationRequest* request, gpointer) {
    Logger::LogChannelWarning("Browser", "Cancelled a request for credentials from %s:%u",
                              webkit_authentication_request_get_host(request),
                              webkit_authentication_request_get_port(request));
    webkit_authentication_request_cancel(request);
    return TRUE;
}

GtkWidget* PageView::onCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer) {
    Logger::LogChannelWarning("Browser", "Refused a new window for %s",
                              withoutQuery(webkit_uri_request_get_uri(webkit_navigation_action_get_request(action)))
                                  .c_str());
    return nullptr;
}

void PageView::onDownloadStarted(WebKitWebContext*, WebKitDownload* download, gpointer) {
    WebKitURIRequest* request = webkit_download_get_request(download);
    Logger::LogChannelWarning("Browser", "Refused a download of %s: the client downloads nothing for a page",
                              request != nullptr ? withoutQuery(webkit_uri_request_get_uri(request)).c_str() : "");
    webkit_download_cancel(download);
}

gboolean PageView::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision, WebKitPolicyDecisionType type,
                                  gpointer self) {
    PageView* page = static_cast<PageView*>(self);
    const bool decided = page->refuseOwnScheme(decision, type) || page->refuseForeignDestination(decision, type) ||
                         page->refuseDownload(decision, type);
    return decided ? TRUE : FALSE;
}

void PageView::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer self) {
    PageView* page = static_cast<PageView*>(self);
    if (event == WEBKIT_LOAD_STARTED) {
        page->m_loadFailed = false;
        if (page->m_loadingListener) page->m_loadingListener(true);
    } else if (event == WEBKIT_LOAD_FINISHED) {
        if (page->m_loadingListener) page->m_loadingListener(false);
        if (page->m_loadFailed) return;
        page->runPageScripts();
    }
}

gboolean PageView::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* failingUri, GError* error, gpointer self) {
    return static_cast<PageView*>(self)->loadFailed(failingUri != nullptr ? failingUri : "", error) ? TRUE : FALSE;
}

gboolean PageView::onTlsErrors(WebKitWebView*, gchar* failingUri, GTlsCertificate* certificate, GTlsCertificateFlags,
                               gpointer self) {
    return static_cast<PageView*>(self)->retryTrusted(failingUri != nullptr ? failingUri : "", certificate) ? TRUE
                                                                                                           : FALSE;
}

void PageView::onResourceLoadStarted(WebKitWebView*, WebKitWebResource*, WebKitURIRequest* request, gpointer self) {
    PageView* page = static_cast<PageView*>(self);
    page->m_cacheFiller.requestWillBeSent(webkit_uri_request_get_uri(request), page->m_gameCardEndpoint,
                                          page->m_controller.getCurrentGameId());
}

gboolean PageView::onContextMenu(WebKitWebView*, WebKitContextMenu*, GdkEvent*, WebKitHitTestResult*, gpointer) {
    return TRUE;
}

}  // namespace VantisClient
