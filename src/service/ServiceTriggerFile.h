// The file whose presence asks for the service to run. It lives in a directory
// that every user may write, so it is never reached through a symbolic link,
// only a regular file of our own is touched, and whatever is done to it is done
// through the descriptor opened for it.
// Thread-safety: stateless apart from the path; safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class ServiceTriggerFile {
public:
    enum EResult {
        CREATED,        // it did not exist and was created (mode 0644)
        TOUCHED,        // our own file's modification time is now
        CREATE_FAILED,  // nothing was there and it could not be created
        TOUCH_FAILED,   // our own file whose time could not be changed
        REFUSED,        // a symbolic link, another user's file, or not a regular file
    };

    explicit ServiceTriggerFile(std::string path);

    const std::string& path() const { return m_path; }
    // Creates the file, or sets the modification time of the existing one to now.
    EResult createOrTouch() const;
    // True when nothing is left at the path; otherwise `error` holds the reason.
    bool remove(std::string& error) const;

private:
    EResult touchExisting() const;

    std::string m_path;
};

}  // namespace VantisClient
