#include "common/TransferRate.h"

#include <cctype>
#include <limits>

namespace VantisClient {
namespace {

// More digits than these cannot make a rate below the limit, or add to one.
const size_t MAX_WHOLE_DIGITS = 10;
const size_t MAX_FRACTION_DIGITS = 3;

bool isDigits(const std::string& text, size_t maxDigits) {
    if (text.empty() || text.size() > maxDigits) return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    }
    return true;
}

uint64_t unitOf(char suffix) {
    switch (std::toupper(static_cast<unsigned char>(suffix))) {
        case 'K': return 1024ULL;
        case 'M': return 1024ULL * 1024;
        case 'G': return 1024ULL * 1024 * 1024;
        default: return 0;
    }
}

}  // namespace

bool TransferRate::Parse(const std::string& text, uint32_t& bytesPerSecond, std::string& error) {
    std::string number = text;
    uint64_t unit = 1;
    if (!number.empty() && std::isalpha(static_cast<unsigned char>(number.back()))) {
        unit = unitOf(number.back());
        number.pop_back();
    }
    const size_t point = number.find('.');
    const std::string whole = number.substr(0, point);
    const std::string fraction = point == std::string::npos ? "0" : number.substr(point + 1);
    if (unit == 0 || !isDigits(whole, MAX_WHOLE_DIGITS) || !isDigits(fraction, MAX_FRACTION_DIGITS)) {
        error = "'" + text + "' is no rate: give bytes per second with an optional K, M or G, like 500K or 20M";
        return false;
    }
    uint64_t scale = 1;
    for (size_t digit = 0; digit < fraction.size(); ++digit) scale *= 10;
    const uint64_t bytes = std::stoull(whole) * unit + std::stoull(fraction) * unit / scale;
    if (bytes > std::numeric_limits<uint32_t>::max()) {
        error = "'" + text + "' is too high: at most 4095M";
        return false;
    }
    if (bytes == 0 && (std::stoull(whole) != 0 || std::stoull(fraction) != 0)) {
        error = "'" + text + "' is below 1 byte per second";
        return false;
    }
    bytesPerSecond = static_cast<uint32_t>(bytes);
    return true;
}

}  // namespace VantisClient
