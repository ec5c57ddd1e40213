#include "backend/ProblemReportStore.h"

#include <fstream>
#include <sstream>

#include <Poco/Base64Decoder.h>
#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/StreamCopier.h>

namespace VantisClient {
namespace Backend {

namespace {

bool decodeBase64(const std::string& text, std::string& decoded) {
    try {
        std::istringstream input(text);
        Poco::Base64Decoder decoder(input);
        std::ostringstream output;
        Poco::StreamCopier::copyStream(decoder, output);
        decoded = output.str();
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

Poco::JSON::Object::Ptr reportAsJson(const ProblemReport& report) {
    Poco::JSON::Object::Ptr entry = new Poco::JSON::Object;
    entry->set("message", report.message);
    try {
        Poco::JSON::Parser parser;
        entry->set("report", parser.parse(report.message));
    } catch (const Poco::Exception&) {
        // Kept as text only: the collector stores what it gets.
    }
    entry->set("log", report.log);
    entry->set("logDecoded", report.logDecoded);
    return entry;
}

}  // namespace

ProblemReportStore::ProblemReportStore(const std::string& directory, size_t reportLimit, size_t recentBytes)
    : m_directory(directory), m_reportLimit(reportLimit), m_recentBudget(recentBytes) {}

bool ProblemReportStore::add(const std::string& message, const std::string& base64Log) {
    ProblemReport report;
    report.message = message;
    report.logDecoded = decodeBase64(base64Log, report.log);
    if (!report.logDecoded) report.log = base64Log;
    if (report.size() > m_reportLimit) return false;

    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_directory.empty()) {
        Poco::File(m_directory).createDirectories();
        std::ofstream output(m_directory + "/reports.jsonl", std::ios::app);
        reportAsJson(report)->stringify(output, 0);
        output << "\n";
    }
    m_recentBytes += report.size();
    m_recent.push_back(std::move(report));
    while (m_recentBytes > m_recentBudget && !m_recent.empty()) {
        m_recentBytes -= m_recent.front().size();
        m_recent.pop_front();
    }
    return true;
}

std::vector<ProblemReport> ProblemReportStore::reports() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return std::vector<ProblemReport>(m_recent.begin(), m_recent.end());
}

size_t ProblemReportStore::recentBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recentBytes;
}

Poco::JSON::Array::Ptr ProblemReportStore::asJson() const {
    Poco::JSON::Array::Ptr list = new Poco::JSON::Array;
    for (const ProblemReport& report : reports()) list->add(reportAsJson(report));
    return list;
}

}  // namespace Backend
}  // namespace VantisClient
