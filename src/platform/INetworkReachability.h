// Whether the internet can be reached without setting up a connection first.
// Thread-safety: implementations are safe to call from any thread.
#pragma once

namespace VantisClient {

class INetworkReachability {
public:
    virtual ~INetworkReachability() = default;
    virtual bool isInternetReachable() = 0;
};

}  // namespace VantisClient
