// String helpers shared by the family's programs.
// Thread-safety: stateless, safe from any thread.
#pragma once

#include <cstdarg>
#include <string>

#include "common/Printf.h"

namespace VantisClient {

class StringUtils {
public:
    // Largest formatted text kept; longer output is cut.
    static const size_t MAX_FORMATTED_LENGTH = 16383;

    // ASCII letters only are folded; then equal length and equal bytes.
    static bool StringsMatchCaseInsensitive(const std::string& a, const std::string& b);
    static std::string Format(const char* format, ...) VANTIS_PRINTF(1, 2);
    static std::string FormatArguments(const char* format, va_list arguments) VANTIS_PRINTF(1, 0);
};

}  // namespace VantisClient
