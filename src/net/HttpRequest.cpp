#include "net/HttpRequest.h"

#include <Poco/DateTime.h>
#include <Poco/DateTimeFormatter.h>
#include <Poco/NumberFormatter.h>
#include <Poco/Timestamp.h>

namespace VantisClient {
namespace Http {
namespace {

const char* const HTTP_DATE_FORMAT = "%w, %d %b %Y %H:%M:%S GMT";

Poco::Timestamp::TimeVal idEpoch() {
    static const Poco::Timestamp::TimeVal epoch = Poco::DateTime(2014, 3, 1).timestamp().epochMicroseconds();
    return epoch;
}

}  // namespace

HttpRequest::HttpRequest() {
    const Poco::Timestamp::TimeVal elapsed = Poco::Timestamp().epochMicroseconds() - idEpoch();
    requestId = Poco::NumberFormatter::formatHex(static_cast<Poco::UInt64>(elapsed));
}

void HttpRequest::addTimeStamp(const std::string& headerName) {
    headers.emplace(headerName, Poco::DateTimeFormatter::format(Poco::Timestamp(), HTTP_DATE_FORMAT));
}

}  // namespace Http
}  // namespace VantisClient
