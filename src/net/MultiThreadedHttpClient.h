// The HTTP client with its own pool of worker threads, named
// "HttpClient[0]", "HttpClient[1]", ... Destruction stops the workers after
// their current request, cutting transfers in flight short, and joins them.
// Thread-safety: as HttpClient.
#pragma once

#include <memory>
#include <vector>

#include "common/Thread.h"
#include "net/HttpClient.h"

namespace VantisClient {

class MultiThreadedHttpClient : public Http::HttpClient {
public:
    explicit MultiThreadedHttpClient(int threadCount,
                                     const std::string& certificateAuthorityFile = DefaultCertificateAuthorityFile());
    ~MultiThreadedHttpClient() override;

private:
    static void runWorker(void* client);

    std::vector<std::unique_ptr<VantisClient::Thread>> m_threads;
};

}  // namespace VantisClient
