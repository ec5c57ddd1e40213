// Tells the backend's collector about faults on the server's side that the user
// cannot mend: manifests that cannot be fetched or read, redistributables the
// server does not define, files that keep failing their hash check, downloads
// that fail for good. Each report is a small JSON document sent with the recent
// log lines from a thread of its own ("ProblemReporter"). Reports are spaced by
// the complain interval; the time of the last one is kept as "lastReportTime" in
// "Config.json", so the spacing holds across restarts. Nothing waits for a
// report and nothing depends on its arrival.
//
// Thread-safety: every operation may be called from any thread. One lock
// serialises the spacing test, the time update, the rewrite of "Config.json" and
// the start of the report thread; at most one report is in flight, and a report
// raised meanwhile is dropped.
#pragma once

#include <atomic>
#include <string>

#include <Poco/Net/HTTPResponse.h>
#include <Poco/Timestamp.h>

#include "common/JsonMessageBuilder.h"
#include "common/ManifestFetchingProblem.h"
#include "common/Thread.h"
#include "common/VantisMutex.h"

namespace VantisClient {

class ProblemReporter {
public:
    static const unsigned int DEFAULT_COMPLAIN_INTERVAL = 600;

    // Created on first use, never destroyed: a report may still be in flight at exit.
    static ProblemReporter& Instance();
    // Back to a new reporter's state: waits for a report in flight, then the
    // default interval and endpoint; the persisted time is read again at the next
    // report. For tests.
    static void Reset();

    // Least spacing of two sent reports, in seconds. Any value is safe.
    void setComplainInterval(unsigned int seconds);
    // Where reports go: an http:// address; its port is used as written.
    void setEndpoint(const std::string& url);
    // True while a report is in flight.
    bool isSending();

    // The reports. Addresses are written with their secrets masked: a signed
    // content link works for anyone who reads it.
    void miniManifestFailedParsing(const std::string& gid, const std::string& gameName,
                                   const std::string& errorBuffer);
    void redistDefinitionNotFound(const std::string& gid, const std::string& redistName);
    void depotManifestUrlFailed(const std::string& gid, const std::string& gameName, const std::string& url,
                                Poco::Net::HTTPResponse::HTTPStatus status, bool isRedist,
                                ManifestFetchingProblem problem);
    void permanentDownloadFailure(const std::string& gid, const std::string& gameName, const std::string& filePath,
                                  const std::string& url, Poco::Net::HTTPResponse::HTTPStatus status,
                                  unsigned int downloadErrorCount);
    void persistentHashMismatch(const std::string& gid, const std::string& gameName, const std::string& filePath,
                                const std::string& probableSourceUrl);
    void failedGettingFileUrl(const std::string& gid, const std::string& gameName, const std::string& filePath,
                              const std::string& url, Poco::Net::HTTPResponse::HTTPStatus status);

    // Spaces and dispatches a finished report text.
    void sendProblemReport(const std::string& text);

    // OPERATING_SYSTEM_STRING, ": ", the system's name, a blank and its version.
    static std::string osIdentification();

private:
    ProblemReporter();
    ProblemReporter(const ProblemReporter&) = delete;
    ProblemReporter& operator=(const ProblemReporter&) = delete;

    void reset();
    // The kind's own fields go into the returned object; send() adds the common ones.
    static JsonMessageBuilder::JsonObject& beginReport(JsonMessageBuilder& builder, const std::string& kind,
                                                       const std::string& gid);
    void send(JsonMessageBuilder& builder);

    // The members below are guarded by m_mutex.
    bool isDueLocked(Poco::Timestamp::TimeDiff elapsed) const;
    void dispatchLocked(const std::string& text);
    void readLastSendTimestampLocked();
    void storeLastSendTimestampLocked();
    static std::string configPath();

    static std::atomic<ProblemReporter*> sm_created;

    VantisMutex m_mutex;
    unsigned int m_complainInterval = DEFAULT_COMPLAIN_INTERVAL;
    Poco::Timestamp m_lastSendTime;
    bool m_lastSendTimeRead = false;
    std::string m_endpoint;
    Thread m_thread;
};

}  // namespace VantisClient
