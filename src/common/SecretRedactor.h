// The one place that decides what of a URL, a header or a JSON body may be
// written to a log line, a channel or a problem report: the values of secret
// query parameters, the Authorization header and the tokens of an OAuth reply
// are replaced by a mask; everything else stays as it is.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <string>

namespace VantisClient {

class SecretRedactor {
public:
    static const char* const MASK;

    // Masks the values of "client_secret", "password", "refresh_token",
    // "code", "steam_ticket", "signature" and "token" wherever they occur as
    // query parameters of `url`.
    static std::string maskUrl(const std::string& url);
    // Whether a query parameter of this name carries a secret.
    static bool isSecretParameter(const std::string& name);
    // The value to log for a header line: masked for "Authorization".
    static std::string maskHeaderValue(const std::string& name, const std::string& value);
    // Masks the string values of "access_token" and "refresh_token" members in
    // a JSON text, and the secret query values of the links it holds, without
    // parsing it (a body that does not parse is masked too).
    static std::string maskJsonTokens(const std::string& json);
};

}  // namespace VantisClient
