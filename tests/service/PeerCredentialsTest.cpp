#include <netinet/in.h>

#include <cstdio>
#include <sstream>
#include <string>

#include <Poco/Net/SocketAddress.h>
#include <gtest/gtest.h>

#include "ServiceTestSupport.h"
#include "service/PeerCredentials.h"

using VantisClient::Service::PeerCredentials;

namespace {

// An address and port as the kernel's TCP table prints them.
std::string tableEndpoint(const Poco::Net::SocketAddress& address) {
    char text[16];
    std::snprintf(text, sizeof(text), "%08X:%04X",
                  static_cast<unsigned>(reinterpret_cast<const sockaddr_in*>(address.addr())->sin_addr.s_addr),
                  static_cast<unsigned>(address.port()));
    return text;
}

std::string tableLine(int slot, const std::string& local, const std::string& remote, const char* state, unsigned uid) {
    return "  " + std::to_string(slot) + ": " + local + " " + remote + " " + state +
           " 00000000:00000000 00:00000000 00000000 " + std::to_string(uid) +
           " 0 4242 1 0000000000000000 20 4 30 10 -1\n";
}

TEST(PeerCredentialsTest, OwnerIsTheUidOfThePeersSocketInTheKernelsTable) {
    const Poco::Net::SocketAddress service("127.0.0.1", 9977);
    const Poco::Net::SocketAddress client("127.0.0.1", 54321);
    const Poco::Net::SocketAddress closing("127.0.0.1", 54322);
    const Poco::Net::SocketAddress other("127.0.0.2", 54321);
    const std::string table =
        "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid  timeout inode\n" +
        tableLine(0, tableEndpoint(service), "00000000:0000", "0A", 1000) +
        // The service's own end of the connection comes first: it must not be taken for the peer's.
        tableLine(1, tableEndpoint(service), tableEndpoint(client), "01", 1000) +
        tableLine(2, tableEndpoint(client), tableEndpoint(service), "01", 1001) +
        tableLine(3, tableEndpoint(closing), tableEndpoint(service), "06", 0) + "  4: garbage\n";
    struct Case {
        const char* name;
        Poco::Net::SocketAddress peer;
        bool found;
        uid_t uid;
    };
    const Case cases[] = {
        {"connected peer", client, true, 1001},
        {"only a socket in TIME_WAIT", closing, false, 0},
        {"another address with the same port", other, false, 0},
        {"an IPv6 peer", Poco::Net::SocketAddress("::1", 54321), false, 0},
    };
    for (const Case& c : cases) {
        std::istringstream stream(table);
        uid_t uid = 0;
        EXPECT_EQ(c.found, PeerCredentials::FindPeerUid(c.peer, service, stream, uid)) << c.name;
        if (c.found) {
            EXPECT_EQ(c.uid, uid) << c.name;
        }
    }
}

TEST(PeerCredentialsTest, OwnerOfARealLoopbackConnectionIsThisProcesssUser) {
    VantisTest::LoopbackPair pair;
    uid_t uid = 12345;
    ASSERT_TRUE(PeerCredentials::FindPeerUid(pair.server.peerAddress(), pair.server.address(), uid));
    EXPECT_EQ(::geteuid(), uid);
}

}  // namespace
