// The client's side of its service: asks for the service through the trigger
// file and asks it, over the framed link, to fix the permissions of a
// directory. Each request uses its own short connection and a budget of 10
// tries shared by connection attempts and reads of 1 second each.
//
// Thread-safety: no mutable state; the operations block their caller (the
// shell's main thread) for at most the budget. Concurrent requests are
// independent but share the trigger file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include <Poco/Net/StreamSocket.h>

#include "service/ProtobufReader.h"
#include "service/ServiceTriggerFile.h"

namespace VantisClient {

class VantisServiceInterface {
public:
    static constexpr int MAX_TRIES = 10;
    static constexpr unsigned RESPONSE_TIMEOUT_SECONDS = 1;

    // The installed service: SERVICE_TRIGGER_FILE_PATH and SERVICE_PORT.
    VantisServiceInterface();
    // Another trigger file and port on 127.0.0.1, for private setups and tests.
    VantisServiceInterface(std::string triggerPath, uint16_t port);

    // A new interface to the installed service that has already asked for it.
    static std::unique_ptr<VantisServiceInterface> initWithServiceStart();

    // Creates the trigger file or renews its modification time. False when it
    // could not be created, or when something not ours stands at its path.
    bool startService();
    // Removes the trigger file; false only when an existing one stays.
    bool stopService();
    // True only when the service accepted the request (an OK answer to this
    // very request). Only an absolute path of an existing directory is sent.
    bool requestServiceToFixPrivileges(const std::string& path);

private:
    // One connection; each attempt and each read takes one of `triesLeft`.
    // How one connection's request ended: only a transport failure or an
    // unreadable frame is worth another try; an answer is final.
    enum Outcome { ACCEPTED, REFUSED, RETRY };
    Outcome attemptRequest(const std::string& path, int& triesLeft);
    Outcome awaitAnswer(ProtobufReader& reader, uint32_t oseq, int& triesLeft);
    static uint32_t drawSequenceNumber();

    ServiceTriggerFile m_trigger;
    uint16_t m_port;
};

}  // namespace VantisClient
