#include "cli/ProgressLine.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace VantisClient {
namespace {

const uint64_t BYTES_PER_MB = 1048576;

bool isDecimal(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

// The right label during the transfer: "50% (150 MB)", the total in MiB.
bool totalFromLabel(const std::string& label, uint64_t& bytesTotal) {
    static const std::string OPENING = "% (";
    static const std::string CLOSING = " MB)";
    // More MiB than 64 bits of bytes hold is no size at all.
    static const size_t MOST_DIGITS = 12;
    const size_t opening = label.find(OPENING);
    const size_t totalStart = opening + OPENING.size();
    if (opening == std::string::npos || label.size() < totalStart + CLOSING.size() ||
        label.compare(label.size() - CLOSING.size(), CLOSING.size(), CLOSING) != 0) {
        return false;
    }
    const std::string total = label.substr(totalStart, label.size() - CLOSING.size() - totalStart);
    if (!isDecimal(label.substr(0, opening)) || !isDecimal(total) || total.size() > MOST_DIGITS) return false;
    bytesTotal = std::stoull(total) * BYTES_PER_MB;
    return true;
}

// Transfers are told apart from the phases around them by their label.
std::string phaseOf(bool sizeKnown, const std::string& rightLabel) { return sizeKnown ? std::string() : rightLabel; }

std::string percentText(double percent) {
    char text[16];
    std::snprintf(text, sizeof(text), "%3d%%", static_cast<int>(percent));
    return text;
}

}  // namespace

const std::chrono::seconds ProgressLine::PLAIN_LINE_INTERVAL(5);

ProgressLine::ProgressLine(std::ostream& output, bool isTerminal, ProgressMeter::Clock clock)
    : m_output(output), m_isTerminal(isTerminal), m_clock(clock), m_meter(clock) {}

void ProgressLine::show(const Poco::JSON::Object& progress) {
    if (!progress.optValue<bool>("ProgressBarEnabled", true)) {
        end();
        return;
    }
    const Reading reading = read(progress);
    if (reading.sizeKnown) {
        m_meter.addSample(reading.bytesDone, reading.bytesTotal);
    } else {
        m_meter.reset();
    }
    const std::string line = describe(reading);
    if (m_isTerminal) {
        redraw(bar(reading.percent) + " " + line);
    } else {
        printPlain(reading, line);
    }
}

void ProgressLine::end() {
    interrupt();
    m_meter.reset();
    m_plainPrinted = false;
}

void ProgressLine::interrupt() {
    if (!m_lineOpen) return;
    m_output << '\n' << std::flush;
    m_lineOpen = false;
    m_drawnLength = 0;
}

ProgressLine::Reading ProgressLine::read(const Poco::JSON::Object& progress) {
    Reading reading;
    reading.percent = std::min(100.0, std::max(0.0, progress.getValue<double>("ProgressValue")));
    reading.leftLabel = progress.optValue<std::string>("LeftLabelText", "");
    reading.rightLabel = progress.optValue<std::string>("RightLabelText", "");
    reading.sizeKnown = totalFromLabel(reading.rightLabel, reading.bytesTotal);
    reading.bytesDone =
        static_cast<uint64_t>(std::llround(static_cast<double>(reading.bytesTotal) * reading.percent / 100));
    return reading;
}

std::string ProgressLine::describe(const Reading& reading) const {
    std::string line = reading.leftLabel.empty() ? std::string() : reading.leftLabel + " ";
    line += percentText(reading.percent);
    if (!reading.sizeKnown) return reading.rightLabel.empty() ? line : line + "  " + reading.rightLabel;
    line += "  " + ProgressMeter::FormatMiB(reading.bytesDone) + " / " + ProgressMeter::FormatMiB(reading.bytesTotal);
    uint64_t secondsLeft = 0;
    if (!m_meter.secondsLeft(secondsLeft)) return line + "  -- MiB/s  --:-- left";
    return line + "  " + ProgressMeter::FormatSpeed(m_meter.bytesPerSecond()) + "  " +
           ProgressMeter::FormatDuration(secondsLeft) + " left";
}

std::string ProgressLine::bar(double percent) {
    const int filled = static_cast<int>(percent * BAR_WIDTH / 100);
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(BAR_WIDTH - filled), '-') + "]";
}

void ProgressLine::redraw(const std::string& line) {
    // Blanks over what a longer earlier drawing left behind.
    const size_t padding = m_drawnLength > line.size() ? m_drawnLength - line.size() : 0;
    m_output << '\r' << line << std::string(padding, ' ') << std::flush;
    m_lineOpen = true;
    m_drawnLength = line.size();
}

void ProgressLine::printPlain(const Reading& reading, const std::string& line) {
    if (!plainLineDue(reading)) return;
    m_output << line << '\n' << std::flush;
    m_plainPrinted = true;
    m_plainTenth = static_cast<int>(reading.percent / 10);
    m_plainPhase = phaseOf(reading.sizeKnown, reading.rightLabel);
    m_plainTime = m_clock();
}

bool ProgressLine::plainLineDue(const Reading& reading) const {
    if (!m_plainPrinted) return true;
    return phaseOf(reading.sizeKnown, reading.rightLabel) != m_plainPhase ||
           static_cast<int>(reading.percent / 10) != m_plainTenth || m_clock() - m_plainTime >= PLAIN_LINE_INTERVAL;
}

}  // namespace VantisClient
