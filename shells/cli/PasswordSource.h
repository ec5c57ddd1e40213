// Where the headless shell gets the user's password. With --password-stdin it
// is the first line of standard input (for scripts and secret managers),
// whatever the environment holds. Otherwise it is the one the environment held
// when the client started (VANTIS_PASSWORD, for scripts; main takes it out of
// the environment), else a prompt on the terminal with the typed characters
// not echoed. Without either there is no way to ask, and that is an error
// rather than a read of whatever the input holds. On a terminal standard input
// is always asked with the prompt.
//
// A wait for the input ends at once when the interrupt descriptor becomes
// readable (the shell's Ctrl-C), and the terminal is left as it was.
// Thread-safety: one caller at a time; the terminal's settings are changed
// while it reads.
#pragma once

#include <optional>
#include <ostream>
#include <string>

namespace VantisClient {

class PasswordSource {
public:
    enum class Outcome { Read, Failed, Interrupted };

    // `fromEnvironment` is what ClientSecrets::TakePassword() found;
    // `fromInput` asks for the first line of `input` instead. Typed passwords
    // are read from `input` after a prompt on `prompts`. `interrupt` is a
    // descriptor that becomes readable when the wait must end (-1: none).
    PasswordSource(std::optional<std::string> fromEnvironment, bool fromInput, int input, int interrupt,
                   std::ostream& prompts);

    // Failed, with `error`, when there is no password to be had; an empty one
    // is none. A password ends at the line's end, which is not part of it.
    Outcome read(const std::string& prompt, std::string& password, std::string& error) const;

private:
    Outcome readWithoutEcho(std::string& password, std::string& error) const;
    Outcome readLine(std::string& password, std::string& error) const;
    // False when the interrupt came first, or the wait failed (with `error`).
    bool awaitInput(bool& interrupted, std::string& error) const;

    std::optional<std::string> m_fromEnvironment;
    bool m_fromInput;
    int m_input;
    int m_interrupt;
    std::ostream& m_prompts;
};

}  // namespace VantisClient
