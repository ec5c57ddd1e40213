#include "common/StringUtils.h"

#include <cstdio>

namespace VantisClient {
namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

bool StringUtils::StringsMatchCaseInsensitive(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i]) != asciiLower(b[i])) return false;
    }
    return true;
}

std::string StringUtils::Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = FormatArguments(format, arguments);
    va_end(arguments);
    return text;
}

std::string StringUtils::FormatArguments(const char* format, va_list arguments) {
    char buffer[MAX_FORMATTED_LENGTH + 1];
    int written = std::vsnprintf(buffer, sizeof(buffer), format, arguments);
    if (written < 0) return std::string();
    size_t length = static_cast<size_t>(written) < MAX_FORMATTED_LENGTH ? static_cast<size_t>(written)
                                                                        : MAX_FORMATTED_LENGTH;
    return std::string(buffer, length);
}

}  // namespace VantisClient
