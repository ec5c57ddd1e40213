// The client's own secrets that a script may hand it in the environment: the
// password, VANTIS_PASSWORD. Taken out of the environment in main, before any
// thread starts (setenv and unsetenv race with every other reader of the
// environment), so that no program the client starts inherits them; a
// program that must have one again gets it by name (the updater, which
// starts the client anew).
// Thread-safety: TakePassword() only while the process has one thread.
#pragma once

#include <optional>
#include <string>

namespace VantisClient {

class ClientSecrets {
public:
    static const char* const PASSWORD_VARIABLE;

    // The password the environment held, gone from it afterwards; unset when there was none.
    static std::optional<std::string> TakePassword();
    // The "NAME=value" entry that hands `password` to a program of the client's own.
    static std::string PasswordEntry(const std::string& password);
};

}  // namespace VantisClient
