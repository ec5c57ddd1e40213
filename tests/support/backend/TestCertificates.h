// Server certificates made at run time for the TLS tests: signed by the
// development CA (valid, expired, or for another host) or by a CA of their
// own that the client does not trust. Files go below a directory the test owns.
#pragma once

#include <string>

namespace VantisTest {

struct CertificateFiles {
    std::string certificate;
    std::string key;
};

class TestCertificates {
public:
    enum Kind { VALID, EXPIRED, OTHER_HOST, UNKNOWN_AUTHORITY };

    // Writes "<kind>.pem" and "<kind>.key" into `directory`.
    static CertificateFiles Make(Kind kind, const std::string& directory);
};

}  // namespace VantisTest
