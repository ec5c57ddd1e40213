#include "core/CheckAPIStatusTask.h"

#include <algorithm>

#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "common/json/Serializer.h"
#include "net/HostProvider.h"
#include "net/RequestFactory.h"
#include "net/SyncHTTPRequest.h"

namespace VantisClient {
namespace {

// Update checks are never paced faster than this, whatever the file says.
const int64_t MIN_TALK_INTERVAL_SECONDS = 600;
const int64_t MAX_INTERVAL_SECONDS = 365LL * 24 * 3600;

}  // namespace

const char* const CheckAPIStatusTask::STR_ID = "CheckAPIStatusTask";

CheckAPIStatusTask::CheckAPIStatusTask(bool singleAttempt)
    : m_singleAttempt(singleAttempt), m_abortSignal(new AbortSignal) {}

const char* CheckAPIStatusTask::GetStrId() const { return STR_ID; }

void CheckAPIStatusTask::doWork() {
    ClientTask::doWork();
    APIStatusResult result;
    result.status = APIStatusResult::STATUS_OFFLINE;
    result.interval = DEFAULT_TALK_INTERVAL_SECONDS;
    Http::HttpRequest request = Http::RequestFactory::getAPIStatus();
    Http::HttpResponse response;
    const SyncRequestPolicy policy = m_singleAttempt ? SyncHTTPRequest::ONE_ATTEMPT : SyncHTTPRequest::FIVE_ATTEMPTS;
    if (SyncHTTPRequest::makeRequest(request, response, policy, false, m_abortSignal) != SyncHTTPRequest::ANSWERED) {
        Logger::LogWarning("APIStatus: Probably a timeout occurred on CheckAPIStatusTask.");
        return report(result);
    }
    ISerializable::json configuration;
    if (!Serializer::DeserializeFromBuffer(configuration, response.body, Serializer::JSON)) {
        // Without a usable configuration the backend cannot be used either.
        Logger::LogWarning("APIStatus: Could not deserialize vantis config json file.");
        return report(result);
    }
    readConfiguration(configuration, result);
    report(result);
}

void CheckAPIStatusTask::readConfiguration(const Poco::JSON::Object::Ptr& configuration,
                                           APIStatusResult& result) const {
    const bool online = configuration->has("status") && configuration->get("status").isString() &&
                        configuration->getValue<std::string>("status") == "online";
    result.status = online ? APIStatusResult::STATUS_ONLINE : APIStatusResult::STATUS_OFFLINE;
    result.answered = true;
    if (configuration->has("channel")) {
        Logger::LogInfo("APIStatus: Using channel: %s", configuration->get("channel").toString().c_str());
    } else {
        Logger::LogError("APIStatus: Error getting channel name from config file.");
    }
    Poco::JSON::Object::Ptr endPoints = configuration->getObject("end_points");
    if (endPoints) applyEndPoints(endPoints, result);
    result.interval = readInterval(configuration, "talkInterval", DEFAULT_TALK_INTERVAL_SECONDS,
                                   MIN_TALK_INTERVAL_SECONDS, "APIStatus: Could not read [talkInterval] from config file.");
    const int64_t complain = readInterval(configuration, "complainInterval", DEFAULT_COMPLAIN_INTERVAL_SECONDS, 0,
                                          "APIStatus: Could not read [complainInterval] from config file");
    ProblemReporter::Instance().setComplainInterval(static_cast<unsigned>(complain));
}

void CheckAPIStatusTask::applyEndPoints(const Poco::JSON::Object::Ptr& endPoints, APIStatusResult& result) const {
    for (const auto& member : *endPoints) {
        const std::string value = member.second.isEmpty() ? std::string() : member.second.toString();
        if (member.first.empty() || value.empty()) {
            Logger::LogError("APIStatus:  Empty key [%s] or value [%s] found in config file.", member.first.c_str(),
                             value.c_str());
            continue;
        }
        Http::HostProvider::Instance()->setHost(member.first, value);
    }
    result.gamecardEndpoint = Http::HostProvider::Instance()->getGamecardHost();
}

int64_t CheckAPIStatusTask::readInterval(const Poco::JSON::Object::Ptr& configuration, const char* key,
                                         int64_t fallback, int64_t floor, const char* missingWarning) {
    int64_t seconds = fallback;
    try {
        if (!configuration->has(key)) throw Poco::NotFoundException(key);
        seconds = configuration->getValue<Poco::Int64>(key);
    } catch (const Poco::Exception&) {
        Logger::LogWarning("%s", missingWarning);
        return fallback;
    }
    // A negative or absurd value is the backend's mistake, not a reason to
    // check or complain constantly or never.
    const int64_t clamped = std::min(std::max(seconds, floor), MAX_INTERVAL_SECONDS);
    if (clamped != seconds) {
        Logger::LogWarning("APIStatus: %s of %lld s is out of range; using %lld s", key, static_cast<long long>(seconds),
                           static_cast<long long>(clamped));
    }
    return clamped;
}

void CheckAPIStatusTask::report(APIStatusResult& result) { apiStatusEvent.notify(this, result); }

void CheckAPIStatusTask::abort() {
    m_abortSignal->raise();
    apiStatusEvent.clear();
}

void CheckAPIStatusTask::onAuthLost() {}

}  // namespace VantisClient
