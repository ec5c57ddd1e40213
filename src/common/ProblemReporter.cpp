#include "common/ProblemReporter.h"

#include <algorithm>
#include <cstdint>

#include <Poco/Environment.h>
#include <Poco/Exception.h>
#include <Poco/JSON/Object.h>
#include <Poco/NumberParser.h>

#include "common/ApplicationEnvironment.h"
#include "common/BuildInfo.h"
#include "common/Constants.h"
#include "common/Logger.h"
#include "common/ProblemReportRunner.h"
#include "common/RecentMemoryBufferChannel.h"
#include "common/ScopedLock.h"
#include "common/SecretRedactor.h"
#include "common/Utilities.h"
#include "common/json/JsonFile.h"

namespace VantisClient {
namespace {

const char* const LAST_REPORT_TIME_KEY = "lastReportTime";
const Poco::Timestamp::TimeDiff MICROSECONDS_PER_SECOND = 1000000;

uint64_t statusNumber(Poco::Net::HTTPResponse::HTTPStatus status) {
    return static_cast<uint64_t>(std::max(0, static_cast<int>(status)));
}

const char* manifestProblemName(ManifestFetchingProblem problem) {
    switch (problem) {
        case FetchFailed: return "Fetch-Failed";
        case ParsingFailed: return "Parsing-Failed";
        default: return "?";
    }
}

}  // namespace

std::atomic<ProblemReporter*> ProblemReporter::sm_created{nullptr};

ProblemReporter& ProblemReporter::Instance() {
    static ProblemReporter* const instance = new ProblemReporter();
    return *instance;
}

void ProblemReporter::Reset() {
    // A reset never creates the reporter: tests that do not report stay untouched.
    ProblemReporter* reporter = sm_created.load();
    if (reporter != nullptr) reporter->reset();
}

ProblemReporter::ProblemReporter()
    : m_lastSendTime(0), m_endpoint(PROBLEM_REPORTER_ENDPOINT), m_thread("ProblemReporter") {
    ScopedLock lock(m_mutex);
    readLastSendTimestampLocked();
    sm_created.store(this);
}

void ProblemReporter::reset() {
    ScopedLock lock(m_mutex);
    m_thread.join();
    m_complainInterval = DEFAULT_COMPLAIN_INTERVAL;
    m_lastSendTime = Poco::Timestamp(0);
    m_lastSendTimeRead = false;
    m_endpoint = PROBLEM_REPORTER_ENDPOINT;
}

void ProblemReporter::setComplainInterval(unsigned int seconds) {
    ScopedLock lock(m_mutex);
    m_complainInterval = seconds;
}

void ProblemReporter::setEndpoint(const std::string& url) {
    ScopedLock lock(m_mutex);
    m_endpoint = url;
}

bool ProblemReporter::isSending() {
    ScopedLock lock(m_mutex);
    return m_thread.isRunning();
}

void ProblemReporter::miniManifestFailedParsing(const std::string& gid, const std::string& gameName,
                                                const std::string& errorBuffer) {
    JsonMessageBuilder builder;
    beginReport(builder, "MiniManifest-Failed-Parsing", gid)
        .addStringProperty("gameName", gameName)
        .addStringProperty("errorBuffer", errorBuffer);
    send(builder);
}

void ProblemReporter::redistDefinitionNotFound(const std::string& gid, const std::string& redistName) {
    JsonMessageBuilder builder;
    beginReport(builder, "Redist-Definition-Not-Found", gid).addStringProperty("redistName", redistName);
    send(builder);
}

void ProblemReporter::depotManifestUrlFailed(const std::string& gid, const std::string& gameName,
                                             const std::string& url, Poco::Net::HTTPResponse::HTTPStatus status,
                                             bool isRedist, ManifestFetchingProblem problem) {
    JsonMessageBuilder builder;
    beginReport(builder, std::string("Depot-Manifest-Url-") + manifestProblemName(problem), gid)
        .addStringProperty("gameName", gameName)
        .addStringProperty("url", SecretRedactor::maskUrl(url))
        .addNumericProperty("httpStatus", statusNumber(status))
        .addBoolProperty("isRedist", isRedist);
    send(builder);
}

void ProblemReporter::permanentDownloadFailure(const std::string& gid, const std::string& gameName,
                                               const std::string& filePath, const std::string& url,
                                               Poco::Net::HTTPResponse::HTTPStatus status,
                                               unsigned int downloadErrorCount) {
    JsonMessageBuilder builder;
    beginReport(builder, "Permanent-Download-Failure", gid)
        .addStringProperty("gameName", gameName)
        .addStringProperty("filePath", filePath)
        .addStringProperty("url", SecretRedactor::maskUrl(url))
        .addNumericProperty("httpStatus", statusNumber(status))
        .addNumericProperty("downloadErrorCount", downloadErrorCount);
    send(builder);
}

void ProblemReporter::persistentHashMismatch(const std::string& gid, const std::string& gameName,
                                             const std::string& filePath, const std::string& probableSourceUrl) {
    JsonMessageBuilder builder;
    beginReport(builder, "Hash-Mismatch", gid)
        .addStringProperty("gameName", gameName)
        .addStringProperty("filePath", filePath)
        .addStringProperty("probableSourceUrl", SecretRedactor::maskUrl(probableSourceUrl));
    send(builder);
}

void ProblemReporter::failedGettingFileUrl(const std::string& gid, const std::string& gameName,
                                           const std::string& filePath, const std::string& url,
                                           Poco::Net::HTTPResponse::HTTPStatus status) {
    JsonMessageBuilder builder;
    beginReport(builder, "Failed-Getting-File-Url", gid)
        .addStringProperty("gameName", gameName)
        .addStringProperty("filePath", filePath)
        .addStringProperty("url", SecretRedactor::maskUrl(url))
        .addNumericProperty("httpStatus", statusNumber(status));
    send(builder);
}

std::string ProblemReporter::osIdentification() {
    return std::string(OPERATING_SYSTEM_STRING) + ": " + Poco::Environment::osDisplayName() + " " +
           Poco::Environment::osVersion();
}

JsonMessageBuilder::JsonObject& ProblemReporter::beginReport(JsonMessageBuilder& builder, const std::string& kind,
                                                             const std::string& gid) {
    return builder.makeProblemReport(kind)
        .addStringProperty("gid", gid)
        .addStringProperty("clientVersion", BuildInfo::Version())
        .addStringProperty("osIdentification", osIdentification())
        .addStringProperty("os", OPERATING_SYSTEM_STRING);
}

void ProblemReporter::send(JsonMessageBuilder& builder) { sendProblemReport(builder.toString()); }

void ProblemReporter::sendProblemReport(const std::string& text) {
    ScopedLock lock(m_mutex);
    if (!m_lastSendTimeRead) readLastSendTimestampLocked();
    Poco::Timestamp now;
    const Poco::Timestamp::TimeDiff elapsed = now - m_lastSendTime;
    if (!isDueLocked(elapsed)) {
        Logger::LogInfo("Discarding problem report because %llds elapsed since last sending",
                        static_cast<long long>(elapsed / MICROSECONDS_PER_SECOND));
        return;
    }
    m_lastSendTime = now;
    storeLastSendTimestampLocked();
    dispatchLocked(text);
}

bool ProblemReporter::isDueLocked(Poco::Timestamp::TimeDiff elapsed) const {
    // A last time in the future (a clock set back, a hand-edited file) must not
    // silence reports for ever.
    if (elapsed < 0) return true;
    // In unsigned 64 bits: any interval times a million fits.
    return static_cast<uint64_t>(elapsed) >=
           static_cast<uint64_t>(m_complainInterval) * static_cast<uint64_t>(MICROSECONDS_PER_SECOND);
}

void ProblemReporter::dispatchLocked(const std::string& text) {
    // One report in flight at most; the interval still counts from this one.
    if (m_thread.isRunning()) return;
    m_thread.join();
    ProblemReportRunner* runner =
        new ProblemReportRunner(text, RecentMemoryBufferChannel::Instance().getContents(), m_endpoint);
    try {
        m_thread.start(*runner);
    } catch (const Poco::Exception& exception) {
        delete runner;
        Logger::LogWarning("Error during sending problem report: %s", exception.what());
    }
}

void ProblemReporter::readLastSendTimestampLocked() {
    m_lastSendTimeRead = true;
    Poco::JSON::Object::Ptr config;
    if (!JsonFile::Read(configPath(), config)) return;
    Poco::Dynamic::Var value = config->get(LAST_REPORT_TIME_KEY);
    if (!value.isString()) return;
    const std::string text = value.extract<std::string>();
    Poco::Int64 microseconds = 0;
    // Anything but the decimal text this reporter writes leaves the time at 0, so
    // the next report is sent; a time before 1970 is no time at all.
    if (text.empty() || !Poco::NumberParser::tryParse64(text, microseconds, ',') || microseconds < 0) return;
    m_lastSendTime = Poco::Timestamp(microseconds);
}

void ProblemReporter::storeLastSendTimestampLocked() {
    const std::string microseconds = std::to_string(m_lastSendTime.epochMicroseconds());
    // A file that does not parse keeps the user's other settings: it is left as it
    // is, and the time then lives only in memory.
    JsonFile::Update(configPath(), [&microseconds](Poco::JSON::Object& config) {
        config.set(LAST_REPORT_TIME_KEY, microseconds);
    });
}

std::string ProblemReporter::configPath() {
    return Utilities::AppendPath(ApplicationEnvironment::GetApplicationSupportRootPath(), "Config.json");
}

}  // namespace VantisClient
