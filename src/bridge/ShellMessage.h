// One named message from the controller or a page bridge to the shell: a
// request (show a page, deliver a text to the page, update the status
// indicator, notify the user) or an event the shell may react to (the engine
// is initialized or has shut down, a sign-in failed, a game started or ended,
// what the backend offers). The values are keyed by name; integers stay
// integers, lists of texts are arrays.
// Thread-safety: a plain value.
#pragma once

#include <string>
#include <vector>

#include <Poco/Dynamic/Struct.h>

namespace VantisClient {

struct ShellMessage {
    static const char* const LOAD_LOGIN_PAGE;
    static const char* const LOAD_GAME_CARD;
    static const char* const API_STATUS_CODE_CHANGED;
    static const char* const ON_PRODUCT_INSTALL_RESULT;
    static const char* const WEB_VIEW_UPDATE;
    // The engine's initialization made the page bridges and set the product.
    static const char* const ENGINE_INITIALIZED;
    // The engine answered the shutdown: the drain loop ends.
    static const char* const SHUTDOWN_DONE;
    // "userName" and "userId": the account now signed in.
    static const char* const SIGNED_IN;
    // "credentialsRejected": 1 when the backend refused them, 0 when it could not be asked.
    static const char* const SIGN_IN_FAILED;
    // A game's program was started for the user: "task", the play task's
    // name; "pid", the program's process id.
    static const char* const GAME_STARTED;
    // The started program ended: "task"; "exitStatus" as a shell reports it
    // (128 plus the signal that ended it), -1 when it is not known.
    static const char* const GAME_ENDED;
    // "name": a play task that is no program (a document, a web address) was
    // handed to the desktop, which took it.
    static const char* const PLAY_TASK_OPENED;
    // "name" and "reason": a play task was not launched, and why.
    static const char* const PLAY_TASK_FAILED;
    // An install's progress as numbers, after the card's layout that shows it:
    // "status" (EInstallStatusCode), "progress" (0 to 1), "bytesTotal".
    static const char* const INSTALL_PROGRESS;
    // "gameId"; "result": 0 when the backend offers the game, otherwise the
    // install result that says why not; "languages" and "gameIds": what it
    // offers; "content": per game id a record of "gameId", "name" and
    // "sizes" (bytes to download per language).
    static const char* const ON_PRODUCT_OFFER;
    // "gameId"; "missing" and "damaged": the files' paths; "repairing": 1 when
    // an install fetches them again next (its result follows), else 0.
    static const char* const ON_PRODUCT_VERIFIED;
    // "gameId"; "outcome": a ProductUninstallResultStruct::Outcome; "kept": the
    // files the install did not place, which stay; "failed": what could not be
    // removed and why; "detail": what refused the removal.
    static const char* const ON_PRODUCT_UNINSTALLED;
    // "outcome": a RefreshTokenProvider::ERemoval, after the user signed out.
    static const char* const ON_SIGN_OUT;

    explicit ShellMessage(std::string name_) : name(std::move(name_)) {}
    // A text for the page's receiveMessage, under "webViewUpdate".
    static ShellMessage WebViewUpdate(const std::string& text);
    static ShellMessage PlayTaskFailed(const std::string& taskName, const std::string& reason);

    // The string under `key`; empty when the key is missing.
    std::string text(const std::string& key) const;
    // The integer under `key`; `fallback` when the key is missing or not a number.
    int64_t integer(const std::string& key, int64_t fallback = 0) const;
    // The texts of the array under `key`; empty when the key is missing or no array.
    std::vector<std::string> texts(const std::string& key) const;
    // The records of the array under `key`; empty when the key is missing or
    // no array, without the elements that are no records.
    std::vector<Poco::DynamicStruct> records(const std::string& key) const;

    std::string name;
    Poco::DynamicStruct values;
};

}  // namespace VantisClient
