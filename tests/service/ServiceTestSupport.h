// Helpers of the service tests: a connected loopback socket pair, frames built
// by hand, the real vantis-service run as a child process with its log in a
// file, and file-mode and process look-ups.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/StreamSocket.h>

#include "service/zorv_pb.pb.h"

namespace VantisTest {

// Not this process's user: the owner of what must be someone else's (set only as root).
const uid_t OTHER_UID = 65534;

// Two connected ends on 127.0.0.1.
struct LoopbackPair {
    LoopbackPair();

    Poco::Net::ServerSocket listener;
    Poco::Net::StreamSocket client;
    Poco::Net::StreamSocket server;
};

// The bytes of one frame: length, header, payload.
std::string FrameBytes(const zorv::protocols::pb::Header& header, const std::string& payload = "");
// A request header of `type` with `oseq`, announcing `payloadSize` bytes.
zorv::protocols::pb::Header RequestHeader(uint32_t type, uint32_t oseq, size_t payloadSize = 0);
void SendAll(Poco::Net::StreamSocket& socket, const std::string& bytes);
// Polls until at least `count` bytes wait to be received on `socket`.
bool WaitForBytes(Poco::Net::StreamSocket& socket, size_t count);
// A request header whose frame, payload included, is exactly `total` bytes.
zorv::protocols::pb::Header HeaderForFrameOf(size_t total);

// The permission bits of what is at `path` (not following a link); -1 when nothing is there.
int ModeOf(const std::string& path);
// True while `pid` runs (a zombie does not count).
bool IsAlive(pid_t pid);

// vantis-service as a child process; killed when still running at destruction.
class ServiceProcess {
public:
    ServiceProcess(std::string logPath);
    ~ServiceProcess();
    ServiceProcess(const ServiceProcess&) = delete;
    ServiceProcess& operator=(const ServiceProcess&) = delete;

    bool start(const std::vector<std::string>& arguments);
    std::string log() const;
    // Polls the log until `text` appears `count` times.
    bool waitForLog(const std::string& text, size_t count = 1) const;
    // The port of the `count`-th "Listening on" line; 0 when none appears.
    uint16_t waitForPort(size_t count = 1) const;
    // Polls for the end of the process; its exit status, or -1 when it keeps running.
    int waitForExit();
    void signal(int number) const;

private:
    std::string m_logPath;
    pid_t m_pid = -1;
};

}  // namespace VantisTest
