// Where the headless shell gets the user's password: the one the environment
// held when the client started (VANTIS_PASSWORD, for scripts; main takes it out
// of the environment), else a prompt on the terminal with the typed
// characters not echoed. Without either there is no way to ask, and that is
// an error rather than a read of whatever the input holds.
// Thread-safety: one caller at a time; the terminal's settings are changed
// while it reads.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace VantisClient {

class PasswordSource {
public:
    // `fromEnvironment` is what ClientSecrets::TakePassword() found; without
    // it, typed passwords are read from `terminalDescriptor` after a prompt on `prompts`.
    PasswordSource(std::optional<std::string> fromEnvironment, int terminalDescriptor, std::ostream& prompts);

    // False with `error` when there is no password to be had. A typed
    // password ends at the line's end, which is not part of it.
    bool read(const std::string& prompt, std::string& password, std::string& error) const;

private:
    bool readWithoutEcho(std::string& password, std::string& error) const;
    bool readLine(std::string& password, std::string& error) const;

    std::optional<std::string> m_fromEnvironment;
    int m_terminal;
    std::ostream& m_prompts;
};

}  // namespace VantisClient
