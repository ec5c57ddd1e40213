// Why a depot manifest could not be used, as a depot-manifest problem report
// names it. Values outside the list are reported as "?".
#pragma once

namespace VantisClient {

enum ManifestFetchingProblem : int { FetchFailed = 0, ParsingFailed = 1 };

}  // namespace VantisClient
