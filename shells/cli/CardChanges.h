// Follows the game card through its layout messages for a view without a
// page: the title, the state line and the progress's activity as words the
// shell shows, each reported once when it changes, and the progress object of
// the message. The card's
// "Offline" means that nobody is signed in; beside the backend's status it
// would read as a contradiction, so it is shown as "Signed out".
// Thread-safety: one thread at a time.
#pragma once

#include <string>

#include <Poco/JSON/Object.h>

namespace VantisClient {

class CardChanges {
public:
    static const char* const SIGNED_OUT;

    // Reads one page update. False when it is no layout (the login page's
    // bridge speaks through the same message) or, with `problem`, when it
    // cannot be read; the changes of the last layout are then cleared.
    bool read(const std::string& pageText, std::string& problem);

    bool titleChanged() const { return m_titleChanged; }
    const std::string& title() const { return m_title; }
    // A hidden or missing state line is the empty state, so that the same
    // state after an install is reported again.
    bool stateChanged() const { return m_stateChanged; }
    const std::string& state() const { return m_state; }
    // Null when the layout carries no progress.
    const Poco::JSON::Object::Ptr& progress() const { return m_progress; }
    // What the progress says is going on ("Installing", "Updating"); empty
    // without progress.
    bool activityChanged() const { return m_activityChanged; }
    const std::string& activity() const { return m_activity; }

private:
    void readLayout(const Poco::JSON::Object& arguments);
    void readTitle(const Poco::JSON::Object::Ptr& title);
    void readState(const Poco::JSON::Object::Ptr& stateLabel);
    void readActivity();
    void clearChanges();

    std::string m_title;
    std::string m_state;
    bool m_titleChanged = false;
    bool m_stateChanged = false;
    std::string m_activity;
    bool m_activityChanged = false;
    Poco::JSON::Object::Ptr m_progress;
};

}  // namespace VantisClient
