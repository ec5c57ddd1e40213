// The sign-in server's answer to a token request, under each status a reply
// can carry: the reader may find it unusable, but what it accepts is a token
// pair with a lifetime it can hold.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzSupport.h"
#include "net/TokenReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using VantisClient::Http::TokenReply;
    const std::string body = VantisFuzz::ToText(data, size);
    for (int32_t status : {200, 400, 401, 500}) {
        const TokenReply reply = TokenReply::Read(status, body);
        if (!reply.usable) continue;
        if (reply.lifetimeSeconds < 0 || reply.lifetimeSeconds > TokenReply::MAX_LIFETIME_SECONDS) {
            std::fprintf(stderr, "accepted lifetime %lld\n", static_cast<long long>(reply.lifetimeSeconds));
            std::abort();
        }
    }
    return 0;
}
