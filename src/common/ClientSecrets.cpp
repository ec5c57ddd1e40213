#include "common/ClientSecrets.h"

#include <cstdlib>

namespace VantisClient {

const char* const ClientSecrets::PASSWORD_VARIABLE = "VANTIS_PASSWORD";

std::optional<std::string> ClientSecrets::TakePassword() {
    const char* value = std::getenv(PASSWORD_VARIABLE);
    if (value == nullptr) return std::nullopt;
    const std::string password = value;
    ::unsetenv(PASSWORD_VARIABLE);
    return password;
}

std::string ClientSecrets::PasswordEntry(const std::string& password) {
    return std::string(PASSWORD_VARIABLE) + "=" + password;
}

}  // namespace VantisClient
