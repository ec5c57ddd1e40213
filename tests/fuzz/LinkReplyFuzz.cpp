// The backend's answer to a request for a signed link ({"link": ...}), and the
// link it names: whatever the answer, a link the client goes on to use is https.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <Poco/String.h>

#include "FuzzSupport.h"
#include "net/HttpTasks.h"
#include "net/RequestFactory.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace VantisClient::Http;
    std::string link;
    if (Tasks::readLinkReply(VantisFuzz::ToText(data, size), link) != Tasks::LinkReply::Read) return 0;
    if (RequestFactory::AcceptsContentLink(link, "fuzzed link") && Poco::icompare(link.substr(0, 8), "https://") != 0) {
        std::fprintf(stderr, "accepted a link that is not https: '%s'\n", link.c_str());
        std::abort();
    }
    return 0;
}
