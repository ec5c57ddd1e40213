#include "service/VantisServiceInterface.h"

#include <sys/stat.h>

#include <Poco/Net/SocketAddress.h>
#include <Poco/Random.h>
#include <Poco/Thread.h>
#include <Poco/Timespan.h>

#include "common/Logger.h"
#include "platform/ProgramStarter.h"
#include "service/ProtobufWriter.h"
#include "service/ServiceLinkConstants.h"

namespace VantisClient {
namespace {

namespace pb = zorv::protocols::pb;
namespace ds = vantis::protocols::desktop_service;

const long RETRY_PAUSE_MS = 50;
const long CONNECT_TIMEOUT_SECONDS = 1;
const int RANDOM_STATE_SIZE = 256;

// The service refuses everything else, so asking for it would only spend the
// budget; the paths come from the command line.
bool isAbsoluteDirectory(const std::string& path) {
    struct stat status;
    return !path.empty() && path[0] == '/' && ::lstat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// A refusal or the answer to another request is not success.
bool isAcceptance(const pb::Header& header, uint32_t oseq) {
    return header.type() == ds::FIX_DIRECTORY_PRIVILEGES_RESPONSE &&
           header.GetExtension(pb::Response::code) == pb::Response::OK && header.HasExtension(pb::Response::rseq) &&
           header.GetExtension(pb::Response::rseq) == oseq;
}

void closeQuietly(Poco::Net::StreamSocket& socket) {
    try {
        socket.close();
    } catch (const Poco::Exception&) {
        // Closing what never connected.
    }
}

}  // namespace

VantisServiceInterface::VantisServiceInterface() : VantisServiceInterface(SERVICE_TRIGGER_FILE_PATH, SERVICE_PORT) {}

VantisServiceInterface::VantisServiceInterface(std::string triggerPath, uint16_t port)
    : m_trigger(std::move(triggerPath)), m_port(port) {}

std::unique_ptr<VantisServiceInterface> VantisServiceInterface::initWithServiceStart() {
    std::unique_ptr<VantisServiceInterface> service(new VantisServiceInterface());
    service->startService();
    return service;
}

bool VantisServiceInterface::startService() {
    Logger::LogInfo("Requesting service to start");
    switch (m_trigger.createOrTouch()) {
        case ServiceTriggerFile::CREATED:
        case ServiceTriggerFile::TOUCHED:
            return true;
        case ServiceTriggerFile::TOUCH_FAILED:
            // Our file is there all the same, which is what asks for the service.
            Logger::LogWarning("Failed to modify file's modification date");
            return true;
        case ServiceTriggerFile::REFUSED:
            Logger::LogWarning("Failed to modify file's modification date");
            return false;
        case ServiceTriggerFile::CREATE_FAILED:
            break;
    }
    Logger::LogWarning("Failed to start service");
    return false;
}

bool VantisServiceInterface::stopService() {
    Logger::LogInfo("Requesting service to stop");
    std::string error;
    if (m_trigger.remove(error)) return true;
    Logger::LogWarning("Failed to remove file %s", error.c_str());
    return false;
}

bool VantisServiceInterface::requestServiceToFixPrivileges(const std::string& path) {
    Logger::LogInfo("Requesting service to fix privileges");
    if (!isAbsoluteDirectory(path)) {
        Logger::LogWarning("Not asking the service to fix privileges of '%s': not an absolute path of a directory",
                           path.c_str());
        return false;
    }
    int triesLeft = MAX_TRIES;
    while (triesLeft > 0) {
        switch (attemptRequest(path, triesLeft)) {
            case ACCEPTED:
                return true;
            case REFUSED:
                return false;
            case RETRY:
                break;
        }
    }
    Logger::LogWarning("Sending data to service failed, aborting");
    return false;
}

VantisServiceInterface::Outcome VantisServiceInterface::attemptRequest(const std::string& path, int& triesLeft) {
    --triesLeft;
    Poco::Net::StreamSocket socket;
    try {
        socket.connect(Poco::Net::SocketAddress(SERVICE_HOST, m_port), Poco::Timespan(CONNECT_TIMEOUT_SECONDS, 0));
        ProgramStarter::KeepFromChildren(socket.impl()->sockfd());
        ProtobufWriter writer(socket);
        ProtobufReader reader(socket);
        const uint32_t oseq = drawSequenceNumber();
        Outcome outcome = RETRY;
        if (writer.sendFixDirectoryPrivilegesRequest(oseq, path)) {
            Logger::LogInfo("Request for service to fix privileges sent, waiting for response...");
            outcome = awaitAnswer(reader, oseq, triesLeft);
        }
        closeQuietly(socket);
        return outcome;
    } catch (const Poco::Exception& e) {
        // Most often nobody listens: the service is asked for once more.
        closeQuietly(socket);
        startService();
        Logger::LogInfo("Debug exception during requestServiceToFixPrivileges: %s", e.displayText().c_str());
        if (triesLeft == 0) Logger::LogError("Sending data to service failed: %s", e.displayText().c_str());
        Poco::Thread::sleep(RETRY_PAUSE_MS);
        return RETRY;
    }
}

VantisServiceInterface::Outcome VantisServiceInterface::awaitAnswer(ProtobufReader& reader, uint32_t oseq,
                                                                    int& triesLeft) {
    while (triesLeft > 0) {
        --triesLeft;
        pb::Header header;
        std::vector<char> content;
        switch (reader.readWholePacket(header, content, RESPONSE_TIMEOUT_SECONDS)) {
            case ProtobufReader::READ_COMPLETE:
                if (isAcceptance(header, oseq)) {
                    Logger::LogInfo("Sending data to service complete response %d",
                                    static_cast<int>(header.GetExtension(pb::Response::rseq)));
                    return ACCEPTED;
                }
                Logger::LogWarning(
                    "Service answered with type %u, code %d and rseq %u instead of accepting %u",
                    static_cast<unsigned>(header.type()), static_cast<int>(header.GetExtension(pb::Response::code)),
                    static_cast<unsigned>(header.GetExtension(pb::Response::rseq)), static_cast<unsigned>(oseq));
                // Asking again would only be refused again.
                return REFUSED;
            case ProtobufReader::READ_BAD_HEADER:
            case ProtobufReader::READ_CLOSED:
                Logger::LogWarning("Receiving response from service failed, retrying");
                return RETRY;
            case ProtobufReader::READ_INCOMPLETE:
            case ProtobufReader::READ_ERROR:
                Poco::Thread::sleep(RETRY_PAUSE_MS);
                break;
        }
    }
    return RETRY;
}

uint32_t VantisServiceInterface::drawSequenceNumber() {
    Poco::Random random(RANDOM_STATE_SIZE);
    random.seed();
    // 0 is the rseq of a frame that answers nothing.
    uint32_t sequence = 0;
    while (sequence == 0) sequence = random.next();
    return sequence;
}

}  // namespace VantisClient
