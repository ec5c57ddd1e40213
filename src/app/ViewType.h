// The page the shell's web view shows.
#pragma once

#include <cstdint>

namespace VantisClient {

enum ViewType : int32_t { NoView = 0, LoginPageView = 1, GameCardView = 2 };

}  // namespace VantisClient
