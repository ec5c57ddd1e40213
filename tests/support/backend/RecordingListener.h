// A response listener that records what it hears, and on which thread.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <Poco/Thread.h>

#include "net/IHttpClient.h"

namespace VantisTest {

struct HeardAnswer {
    bool error = false;
    int status = -1;
    std::string body;
    std::string threadName;
    VantisClient::Http::HttpRequest request;
    VantisClient::Http::HttpResponse response;
};

class RecordingListener : public VantisClient::Http::IHttpClient::IResponseListener {
public:
    void OnResponse(const VantisClient::Http::HttpRequest& request,
                    const VantisClient::Http::HttpResponse& response) override {
        HeardAnswer heard;
        heard.status = response.statusCode;
        heard.body = response.body;
        heard.request = request;
        heard.response = response;
        record(heard);
    }

    void OnError(const VantisClient::Http::HttpRequest& request) override {
        HeardAnswer heard;
        heard.error = true;
        heard.request = request;
        record(heard);
    }

    size_t count() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard.size();
    }

    HeardAnswer at(size_t index) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_heard.at(index);
    }

private:
    void record(HeardAnswer& heard) {
        Poco::Thread* current = Poco::Thread::current();
        heard.threadName = current != nullptr ? current->name() : "";
        std::lock_guard<std::mutex> lock(m_mutex);
        m_heard.push_back(heard);
    }

    mutable std::mutex m_mutex;
    std::vector<HeardAnswer> m_heard;
};

}  // namespace VantisTest
