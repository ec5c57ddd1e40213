#include "common/ProblemReportRunner.h"

#include <exception>
#include <sstream>

#include <Poco/Base64Encoder.h>
#include <Poco/Exception.h>
#include <Poco/Net/HTMLForm.h>
#include <Poco/Net/HTTPClientSession.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/URI.h>

#include "common/Logger.h"

namespace VantisClient {

ProblemReportRunner::ProblemReportRunner(const std::string& report, const std::string& logSnippet,
                                         const std::string& endpoint)
    : m_report(report), m_logSnippet(logSnippet), m_endpoint(endpoint) {}

void ProblemReportRunner::run() {
    try {
        send();
    } catch (const Poco::Exception& exception) {
        Logger::LogWarning("Error during sending problem report: %s", exception.what());
    } catch (const std::exception& exception) {
        // Nothing depends on a report: its failure must never end the process.
        Logger::LogWarning("Error during sending problem report: %s", exception.what());
    }
    delete this;
}

std::string ProblemReportRunner::EncodeSnippet(const std::string& snippet) {
    std::ostringstream encoded;
    Poco::Base64Encoder encoder(encoded);
    encoder << snippet;
    // Closing writes the last group and its padding.
    encoder.close();
    return encoded.str();
}

void ProblemReportRunner::send() const {
    const std::string snippet = EncodeSnippet(m_logSnippet);
    Poco::URI uri(m_endpoint);
    // The URI's own port: the collector is not always on port 80.
    Poco::Net::HTTPClientSession session(uri.getHost(), uri.getPort());
    session.setTimeout(Poco::Timespan(SEND_TIMEOUT_SECONDS, 0));
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_POST, uri.getPathAndQuery(),
                                   Poco::Net::HTTPMessage::HTTP_1_1);
    Poco::Net::HTMLForm form(Poco::Net::HTMLForm::ENCODING_URL);
    form.add("problem_message", m_report);
    form.add("log_snippet", snippet);
    form.prepareSubmit(request);

    Logger::LogInfo("Sending problem report: %s", m_report.c_str());
    std::ostream& body = session.sendRequest(request);
    form.write(body);
    // The session's buffer is not flushed when it closes: the form's tail would be lost.
    body.flush();
    if (!body.good()) throw Poco::IOException("the report body could not be sent");
}

}  // namespace VantisClient
