// Measures the client's HTTP stack the way an install uses it: 1 MiB ranged
// GETs of one signed link with two requests in flight, answers delivered on
// one loop thread woken by each completion; then many small JSON requests.
// Run by bench/http-throughput, next to curl on the same ranges.
//   vantis-bench-http <link> <object-bytes> <ranges> <json-url> <json-requests> <user> <password> [--no-reuse]
// The link's host serves as the auth host too.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <Poco/Event.h>
#include <Poco/URI.h>

#include "net/HttpManager.h"
#include "net/RequestFactory.h"

using VantisClient::HttpManager;
using VantisClient::Http::HttpRequest;
using VantisClient::Http::HttpResponse;
using VantisClient::Http::IHttpClient;

namespace {

const uint32_t PART_BYTES = 1 << 20;
const int IN_FLIGHT = 2;

class Counter : public IHttpClient::IResponseListener {
public:
    void OnResponse(const HttpRequest&, const HttpResponse& response) override {
        if (response.statusCode >= 300) ++failures;
        bytes += response.body.size();
        ++done;
    }
    void OnError(const HttpRequest&) override {
        ++failures;
        ++done;
    }

    uint64_t bytes = 0;
    int done = 0;
    int failures = 0;
};

// Runs `count` requests, `IN_FLIGHT` at a time, through `send(i)`; seconds taken.
template <class Send>
double run(int count, Poco::SharedPtr<Counter>& counter, Send send, Poco::Event& woken) {
    const auto started = std::chrono::steady_clock::now();
    int sent = 0;
    while (counter->done < count) {
        while (sent < count && sent - counter->done < IN_FLIGHT) send(sent++);
        woken.tryWait(50);
        HttpManager::ProcessDataThread();
    }
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
}

// File parts travel as the signed-in user, as in an install.
bool signIn(HttpManager* manager, const std::string& user, const std::string& password, Poco::Event& woken) {
    manager->signInWithPassword(user, password);
    for (int i = 0; i < 200 && manager->getSignInState() == HttpManager::SIGNING_IN; ++i) {
        woken.tryWait(50);
        HttpManager::ProcessDataThread();
    }
    return manager->getSignInState() == HttpManager::SIGNED_IN;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 8) {
        std::fprintf(stderr,
                     "usage: %s <link> <object-bytes> <ranges> <json-url> <json-requests> <user> <password> "
                     "[--no-reuse]\n",
                     argv[0]);
        return 2;
    }
    const std::string link = argv[1];
    const uint64_t objectBytes = std::strtoull(argv[2], nullptr, 10);
    const int ranges = std::atoi(argv[3]);
    const std::string jsonUrl = argv[4];
    const int jsonRequests = std::atoi(argv[5]);
    const bool reuse = !(argc > 8 && std::string(argv[8]) == "--no-reuse");
    const uint64_t partsPerObject = objectBytes / PART_BYTES;

    HttpManager* manager = HttpManager::Instance();
    Poco::Event woken;
    manager->setCompletionHook([&woken] { woken.set(); });
    manager->setConnectionReuse(reuse);
    const Poco::URI linkUri(link);
    manager->getHostProvider()->setHost("auth", linkUri.getAuthority());
    manager->getHostProvider()->setHost("products", linkUri.getAuthority());
    if (!signIn(manager, argv[6], argv[7], woken)) {
        std::fprintf(stderr, "could not sign in as %s\n", argv[6]);
        return 1;
    }

    Poco::SharedPtr<Counter> parts = new Counter();
    Poco::SharedPtr<IHttpClient::IResponseListener> partListener(parts);
    const double partSeconds = run(ranges, parts, [&](int i) {
        manager->downloadFilePart(link, (i % partsPerObject) * PART_BYTES, 0, PART_BYTES, 0, partListener);
    }, woken);

    Poco::SharedPtr<Counter> json = new Counter();
    Poco::SharedPtr<IHttpClient::IResponseListener> jsonListener(json);
    const double jsonSeconds = run(jsonRequests, json, [&](int) {
        HttpRequest request = VantisClient::Http::RequestFactory::getManifestOrBinaryFile(jsonUrl);
        manager->sendRequest(request, jsonListener, false);
    }, woken);
    HttpManager::Shutdown();

    std::printf("parts %d bytes %llu seconds %.3f MiBps %.1f failures %d\n", ranges,
                static_cast<unsigned long long>(parts->bytes), partSeconds, parts->bytes / 1048576.0 / partSeconds,
                parts->failures);
    std::printf("json %d seconds %.3f rps %.1f failures %d\n", jsonRequests, jsonSeconds, jsonRequests / jsonSeconds,
                json->failures);
    return parts->failures + json->failures == 0 ? 0 : 1;
}
