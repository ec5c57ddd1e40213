// The TLS settings of every HTTPS client of the program, so that the engine's
// requests and the headless sign-in trust the same servers in the same way.
// Thread-safety: Create() may be called from any thread.
#pragma once

#include <string>

#include <Poco/Net/Context.h>

namespace VantisClient {
namespace Http {

class TlsClientContext {
public:
    // Verifies strictly against the authorities in `certificateAuthorityFile`
    // (none when empty); throws Poco::Exception when the file cannot be read.
    static Poco::Net::Context::Ptr Create(const std::string& certificateAuthorityFile);
};

}  // namespace Http
}  // namespace VantisClient
