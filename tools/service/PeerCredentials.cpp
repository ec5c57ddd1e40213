#include "service/PeerCredentials.h"

#include <netinet/in.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include <Poco/NumberParser.h>

namespace VantisClient {
namespace Service {
namespace {

// The kernel prints the state of a socket in TIME_WAIT with uid 0: never an owner.
const char* const STATE_TIME_WAIT = "06";

struct Endpoint {
    uint32_t address = 0;  // as stored in sin_addr.s_addr
    uint16_t port = 0;     // host order

    bool operator==(const Endpoint& other) const { return address == other.address && port == other.port; }
};

bool toEndpoint(const Poco::Net::SocketAddress& socketAddress, Endpoint& endpoint) {
    if (socketAddress.family() != Poco::Net::SocketAddress::IPv4) return false;
    endpoint.address = reinterpret_cast<const sockaddr_in*>(socketAddress.addr())->sin_addr.s_addr;
    endpoint.port = socketAddress.port();
    return true;
}

// "0100007F:1F90": the address word as the kernel holds it, then the port.
bool parseEndpoint(const std::string& text, Endpoint& endpoint) {
    const size_t colon = text.find(':');
    if (colon != 8 || text.size() != 13) return false;
    unsigned address = 0;
    unsigned port = 0;
    if (!Poco::NumberParser::tryParseHex(text.substr(0, colon), address) ||
        !Poco::NumberParser::tryParseHex(text.substr(colon + 1), port) || port > 0xFFFF) {
        return false;
    }
    endpoint.address = static_cast<uint32_t>(address);
    endpoint.port = static_cast<uint16_t>(port);
    return true;
}

}  // namespace

const char* const PeerCredentials::TCP_TABLE_PATH = "/proc/net/tcp";

bool PeerCredentials::FindPeerUid(const Poco::Net::SocketAddress& peer, const Poco::Net::SocketAddress& local,
                                  uid_t& uid) {
    std::ifstream table(TCP_TABLE_PATH);
    return table && FindPeerUid(peer, local, table, uid);
}

bool PeerCredentials::FindPeerUid(const Poco::Net::SocketAddress& peer, const Poco::Net::SocketAddress& local,
                                  std::istream& table, uid_t& uid) {
    Endpoint peerEndpoint;
    Endpoint localEndpoint;
    if (!toEndpoint(peer, peerEndpoint) || !toEndpoint(local, localEndpoint)) return false;
    std::string line;
    std::getline(table, line);  // the column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, localText, remoteText, state, queues, timer, retransmits;
        unsigned owner = 0;
        if (!(fields >> slot >> localText >> remoteText >> state >> queues >> timer >> retransmits >> owner)) continue;
        Endpoint entryLocal;
        Endpoint entryRemote;
        if (state == STATE_TIME_WAIT || !parseEndpoint(localText, entryLocal) ||
            !parseEndpoint(remoteText, entryRemote)) {
            continue;
        }
        if (entryLocal == peerEndpoint && entryRemote == localEndpoint) {
            uid = static_cast<uid_t>(owner);
            return true;
        }
    }
    return false;
}

}  // namespace Service
}  // namespace VantisClient
