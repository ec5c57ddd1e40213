// Where the headless shell gets the user's password: the environment variable
// VANTIS_PASSWORD for scripts, else a prompt on the terminal with the typed
// characters not echoed. Without either there is no way to ask, and that is
// an error rather than a read of whatever the input holds.
// Thread-safety: one caller at a time; the terminal's settings are changed
// while it reads.
#pragma once

#include <ostream>
#include <string>

namespace VantisClient {

class PasswordSource {
public:
    static const char* const ENVIRONMENT_VARIABLE;

    // Reads typed passwords from `terminalDescriptor`; the prompt goes to `prompts`.
    PasswordSource(int terminalDescriptor, std::ostream& prompts);

    // False with `error` when there is no password to be had. A typed
    // password ends at the line's end, which is not part of it.
    bool read(const std::string& prompt, std::string& password, std::string& error) const;

private:
    bool readWithoutEcho(std::string& password, std::string& error) const;
    bool readLine(std::string& password, std::string& error) const;

    int m_terminal;
    std::ostream& m_prompts;
};

}  // namespace VantisClient
