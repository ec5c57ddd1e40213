#include "net/TlsClientContext.h"

namespace VantisClient {
namespace Http {
namespace {

// Anonymous and null suites are refused: a server must prove who it is.
const char* const CIPHER_LIST = "ALL:!ADH:!LOW:!EXP:!MD5:!aNULL:!eNULL:@STRENGTH";
const int VERIFICATION_DEPTH = 9;

}  // namespace

Poco::Net::Context::Ptr TlsClientContext::Create(const std::string& certificateAuthorityFile) {
    // Strict verification: the relaxed mode skips the host-name check for
    // loopback addresses, and the local backend lives there.
    return new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, "", "", certificateAuthorityFile,
                                  Poco::Net::Context::VERIFY_STRICT, VERIFICATION_DEPTH, false, CIPHER_LIST);
}

}  // namespace Http
}  // namespace VantisClient
