// Sends one problem report to the collector as a URL-encoded form POST: the
// report's JSON text as "problem_message" and the recent log lines, in Base64,
// as "log_snippet". Nothing waits for the answer; a failure is logged once and
// not retried.
//
// Thread-safety: created by the reporter, then run once on the "ProblemReporter"
// thread; it touches only its own copies and the logger, and deletes itself when
// run() ends.
#pragma once

#include <string>

#include <Poco/Runnable.h>

namespace VantisClient {

class ProblemReportRunner : public Poco::Runnable {
public:
    // Bounds connecting and sending, so that a silent collector never keeps the
    // reporter busy (and every later report dropped) for long.
    static const int SEND_TIMEOUT_SECONDS = 10;

    // `endpoint` is an http:// address; its own port is used.
    ProblemReportRunner(const std::string& report, const std::string& logSnippet, const std::string& endpoint);

    // Sends, then deletes this runner.
    void run() override;

    // Base64 with the encoder's defaults: a CR LF after every 72 characters, the
    // last group padded with "=".
    static std::string EncodeSnippet(const std::string& snippet);

private:
    void send() const;

    const std::string m_report;
    const std::string m_logSnippet;
    const std::string m_endpoint;
};

}  // namespace VantisClient
