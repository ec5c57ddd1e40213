// Keeps the problem reports the collector receives, with their log snippets
// decoded from Base64. When a directory is given, every report is appended as
// one JSON line to "reports.jsonl" there; in memory only the most recent ones
// are kept, within a byte budget, for the control endpoint to list. A report
// larger than the per-report cap is refused whole.
// Thread-safety: every operation takes the store's mutex.
#pragma once

#include <deque>
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

    size_t size() const { return message.size() + log.size(); }
};

class ProblemReportStore {
public:
    static const size_t REPORT_LIMIT = 512 * 1024;        // message and decoded snippet together
    static const size_t RECENT_BYTES = 8 * 1024 * 1024;  // what the recent list may hold

    explicit ProblemReportStore(const std::string& directory, size_t reportLimit = REPORT_LIMIT,
                                size_t recentBytes = RECENT_BYTES);

    // Stores the report; a snippet that is not Base64 is kept as sent, flagged.
    // False, storing nothing, when the report is larger than the cap.
    bool add(const std::string& message, const std::string& base64Log);
    // The most recent reports, oldest first.
    std::vector<ProblemReport> reports() const;
    Poco::JSON::Array::Ptr asJson() const;
    // What the recent list holds, in bytes of message and snippet.
    size_t recentBytes() const;

private:
    const std::string m_directory;
    const size_t m_reportLimit;
    const size_t m_recentBudget;
    mutable std::mutex m_mutex;
    std::deque<ProblemReport> m_recent;
    size_t m_recentBytes = 0;
};

}  // namespace Backend
}  // namespace VantisClient
