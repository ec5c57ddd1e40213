// Constants shared by the family's programs. Hosts default to the local store
// backend and are fixed when the tree is configured; a host may carry ":port".
#pragma once

#include <string>

namespace VantisClient {

// Auth, users, products and the client configuration file (HTTPS).
extern const char* const API_HOST;
// Game cards and the problem-report collector (plain HTTP).
extern const char* const WEB_HOST;
// Remote syslog collector; the port, 514, is added by the logger.
extern const char* const LOG_HOST;

// The config host unless the environment names another (HostProvider).
extern const char* const API_STATUS_ENDPOINT_HOST_PRODUCTION;

extern const char* const CLIENT_ID;
extern const char* const CLIENT_SECRET;
extern const char* const API_STATUS_FILENAME;
extern const char* const API_LOGIN_SUCCESS_SCHEME;
extern const char* const API_LOGIN_SUCCESS_HOST;
extern const char* const API_LOGIN_SUCCESS_AUTHORIZATION_PARAM;
extern const char* const PROBLEM_REPORTER_ENDPOINT;
extern const char* const OPERATING_SYSTEM_STRING;
extern const char* const UPDATECHANNEL_VALUE_NAME;

}  // namespace VantisClient
