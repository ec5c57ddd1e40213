#include "support/ProcessProbe.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "support/Sandbox.h"
#include "support/WaitFor.h"

namespace VantisTest {

std::vector<int> ProcessProbe::descriptors() const {
    std::vector<int> numbers;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(path("fd"), error), end; !error && entry != end;
         entry.increment(error)) {
        numbers.push_back(std::stoi(entry->path().filename().string()));
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

bool ProcessProbe::awaitProgram(const std::string& program) const {
    // The environment comes last; every program the tests start has one.
    return WaitFor([&] { return command() == program && !environment().empty(); }, SETTLE_MS);
}

std::vector<int> ProcessProbe::settledDescriptors(int highest) const {
    std::vector<int> numbers;
    WaitFor(
        [&] {
            numbers = descriptors();
            return numbers.empty() || numbers.back() <= highest;
        },
        SETTLE_MS);
    return numbers;
}

std::vector<std::string> ProcessProbe::environment() const {
    std::vector<std::string> entries;
    std::istringstream text(ReadWholeFile(path("environ")));
    for (std::string entry; std::getline(text, entry, '\0');) entries.push_back(entry);
    return entries;
}

std::string ProcessProbe::status(const std::string& field) const {
    std::istringstream text(ReadWholeFile(path("status")));
    const std::string prefix = field + ":";
    for (std::string line; std::getline(text, line);) {
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        const size_t value = line.find_first_not_of(" \t", prefix.size());
        return value == std::string::npos ? std::string() : line.substr(value);
    }
    return std::string();
}

std::string ProcessProbe::command() const {
    std::string name = ReadWholeFile(path("comm"));
    if (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

std::string ProcessProbe::path(const std::string& entry) const {
    return "/proc/" + std::to_string(m_pid) + "/" + entry;
}

}  // namespace VantisTest
