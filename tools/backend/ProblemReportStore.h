// Keeps every problem report the collector receives, with its log snippet
// decoded from Base64, in memory and, when a directory is given, appended as one
// JSON line per report to "reports.jsonl" there.
// Thread-safety: every operation takes the store's mutex.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include <Poco/JSON/Array.h>

namespace VantisClient {
namespace Backend {

struct ProblemReport {
    std::string message;  // the report's JSON text as sent
    std::string log;      // the decoded log snippet
    bool logDecoded = true;
};

class ProblemReportStore {
public:
    explicit ProblemReportStore(const std::string& directory);

    // Stores the report; a snippet that is not Base64 is kept as sent, flagged.
    ProblemReport add(const std::string& message, const std::string& base64Log);
    std::vector<ProblemReport> reports() const;
    Poco::JSON::Array::Ptr asJson() const;

private:
    const std::string m_directory;
    mutable std::mutex m_mutex;
    std::vector<ProblemReport> m_reports;
};

}  // namespace Backend
}  // namespace VantisClient
