#include "common/Constants.h"

namespace VantisClient {

const char* const API_HOST = VANTIS_API_HOST;
const char* const WEB_HOST = VANTIS_WEB_HOST;
const char* const LOG_HOST = VANTIS_LOG_HOST;

const char* const API_STATUS_ENDPOINT_HOST_PRODUCTION = VANTIS_API_HOST;

const char* const CLIENT_ID = VANTIS_CLIENT_ID;
const char* const CLIENT_SECRET = VANTIS_CLIENT_SECRET;
const char* const API_STATUS_FILENAME = "vantis-client-config.json";
const char* const API_LOGIN_SUCCESS_SCHEME = "vantisclient";
const char* const API_LOGIN_SUCCESS_HOST = "login_success";
const char* const API_LOGIN_SUCCESS_AUTHORIZATION_PARAM = "code";
const char* const PROBLEM_REPORTER_ENDPOINT = "http://" VANTIS_WEB_HOST "/problem.php";
const char* const OPERATING_SYSTEM_STRING = "linux";
const char* const UPDATECHANNEL_VALUE_NAME = "updateChannel";

}  // namespace VantisClient
