#include "ServiceTestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>

#include <Poco/NumberParser.h>

#include "support/Sandbox.h"
#include "support/WaitFor.h"

extern char** environ;

namespace VantisTest {
namespace {

size_t occurrences(const std::string& text, const std::string& what) {
    size_t found = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
    return found;
}

}  // namespace

LoopbackPair::LoopbackPair() {
    listener.bind(Poco::Net::SocketAddress("127.0.0.1", 0), true);
    listener.listen();
    client.connect(listener.address());
    server = listener.acceptConnection();
}

std::string FrameBytes(const zorv::protocols::pb::Header& header, const std::string& payload) {
    const std::string headerBytes = header.SerializePartialAsString();
    std::string frame;
    frame.push_back(static_cast<char>(headerBytes.size() >> 8));
    frame.push_back(static_cast<char>(headerBytes.size() & 0xFF));
    return frame + headerBytes + payload;
}

zorv::protocols::pb::Header RequestHeader(uint32_t type, uint32_t oseq, size_t payloadSize) {
    zorv::protocols::pb::Header header;
    header.set_sort(1);
    header.set_type(type);
    header.set_size(static_cast<uint32_t>(payloadSize));
    header.set_oseq(oseq);
    header.SetExtension(zorv::protocols::pb::Response::rseq, 0);
    return header;
}

void SendAll(Poco::Net::StreamSocket& socket, const std::string& bytes) {
    size_t sent = 0;
    while (sent < bytes.size()) {
        sent += static_cast<size_t>(socket.sendBytes(bytes.data() + sent, static_cast<int>(bytes.size() - sent)));
    }
}

bool WaitForBytes(Poco::Net::StreamSocket& socket, size_t count) {
    return WaitFor([&] { return static_cast<size_t>(socket.available()) >= count; });
}

zorv::protocols::pb::Header HeaderForFrameOf(size_t total) {
    zorv::protocols::pb::Header header = RequestHeader(7, 1);
    // The size's own varint grows the header, so the fit is searched for.
    for (uint32_t size = static_cast<uint32_t>(total); size > 0; --size) {
        header.set_size(size);
        if (2 + header.ByteSizeLong() + size == total) return header;
    }
    return header;
}

int ModeOf(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0) return -1;
    return static_cast<int>(status.st_mode & 07777);
}

bool IsAlive(pid_t pid) {
    // "<pid> (<name>) <state> ...": a zombie has ended, even when nobody reaps it.
    const std::string stat = ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t nameEnd = stat.rfind(')');
    return nameEnd != std::string::npos && nameEnd + 2 < stat.size() && stat[nameEnd + 2] != 'Z';
}

ServiceProcess::ServiceProcess(std::string logPath) : m_logPath(std::move(logPath)) {}

ServiceProcess::~ServiceProcess() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
}

bool ServiceProcess::start(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv = {VANTIS_TEST_SERVICE_PROGRAM};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<char*> pointers;
    for (std::string& argument : argv) pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, m_logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int error = posix_spawn(&m_pid, argv[0].c_str(), &actions, nullptr, pointers.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) m_pid = -1;
    return error == 0;
}

std::string ServiceProcess::log() const { return ReadWholeFile(m_logPath); }

bool ServiceProcess::waitForLog(const std::string& text, size_t count) const {
    return WaitFor([&] { return occurrences(log(), text) >= count; }, 30000);
}

uint16_t ServiceProcess::waitForPort(size_t count) const {
    const std::string marker = "Listening on 127.0.0.1:";
    if (!waitForLog(marker, count)) return 0;
    const std::string text = log();
    size_t at = std::string::npos;
    for (size_t seen = 0; seen < count; ++seen) at = text.find(marker, at == std::string::npos ? 0 : at + 1);
    unsigned port = 0;
    const size_t digits = at + marker.size();
    Poco::NumberParser::tryParseUnsigned(text.substr(digits, text.find('\n', digits) - digits), port);
    return static_cast<uint16_t>(port);
}

int ServiceProcess::waitForExit() {
    int status = -1;
    const bool ended = WaitFor([&] { return ::waitpid(m_pid, &status, WNOHANG) == m_pid; }, 30000);
    if (!ended) return -1;
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ServiceProcess::signal(int number) const { ::kill(m_pid, number); }

}  // namespace VantisTest
