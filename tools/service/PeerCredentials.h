// Who is at the other end of a loopback TCP connection. Loopback TCP carries
// no credentials, but the kernel's table of TCP sockets (/proc/net/tcp) names
// the owner of the peer's socket: the entry whose local address is our peer's
// and whose remote address is ours.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <sys/types.h>

#include <istream>

#include <Poco/Net/SocketAddress.h>

namespace VantisClient {
namespace Service {

class PeerCredentials {
public:
    static const char* const TCP_TABLE_PATH;

    // The uid owning the socket at `peer` connected to `local` (IPv4); false
    // when the kernel's table has no such entry.
    static bool FindPeerUid(const Poco::Net::SocketAddress& peer, const Poco::Net::SocketAddress& local, uid_t& uid);
    // The same, from a table in the kernel's format.
    static bool FindPeerUid(const Poco::Net::SocketAddress& peer, const Poco::Net::SocketAddress& local,
                            std::istream& table, uid_t& uid);
};

}  // namespace Service
}  // namespace VantisClient
