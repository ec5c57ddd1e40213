// Delivers the HTTP manager's answers on a thread of its own while it lives,
// as the engine's loop thread does, so blocking requests can be tested alone.
#pragma once

#include <atomic>
#include <chrono>
#include <thread>

#include "net/HttpManager.h"

namespace VantisTest {

class DeliveryLoop {
public:
    DeliveryLoop()
        : m_thread([this] {
              while (!m_stop) {
                  VantisClient::HttpManager::ProcessDataThread();
                  std::this_thread::sleep_for(std::chrono::milliseconds(2));
              }
          }) {}
    ~DeliveryLoop() {
        m_stop = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

}  // namespace VantisTest
