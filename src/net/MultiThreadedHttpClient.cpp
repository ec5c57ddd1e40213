#include "net/MultiThreadedHttpClient.h"

#include <string>

namespace VantisClient {

MultiThreadedHttpClient::MultiThreadedHttpClient(int threadCount, const std::string& certificateAuthorityFile)
    : Http::HttpClient(certificateAuthorityFile) {
    for (int i = 0; i < threadCount; ++i) {
        m_threads.emplace_back(new VantisClient::Thread("HttpClient[" + std::to_string(i) + "]"));
        m_threads.back()->start(&MultiThreadedHttpClient::runWorker, this);
    }
}

MultiThreadedHttpClient::~MultiThreadedHttpClient() {
    Finish();
    for (std::unique_ptr<VantisClient::Thread>& thread : m_threads) {
        thread->join();
        thread.reset();
    }
}

void MultiThreadedHttpClient::runWorker(void* client) { static_cast<MultiThreadedHttpClient*>(client)->Thread(); }

}  // namespace VantisClient
