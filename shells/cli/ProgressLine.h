// The install progress of the game card's layout messages as text. On a
// terminal it is one line redrawn in place ("\r"): a bar, the percentage, the
// bytes done and the total, the speed and the time left. Elsewhere (a pipe, a
// log file) it is a plain line now and then: at each further tenth, when the
// phase changes, or after a few quiet seconds, so a long install does not
// flood the output.
// Thread-safety: one thread at a time (the shell's main thread).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include <Poco/JSON/Object.h>

#include "common/ProgressMeter.h"

namespace VantisClient {

class ProgressLine {
public:
    static const int BAR_WIDTH = 30;
    static const std::chrono::seconds PLAIN_LINE_INTERVAL;

    ProgressLine(std::ostream& output, bool isTerminal, ProgressMeter::Clock clock);

    // One "Progress" object of a layout message. Throws Poco::Exception when
    // it has no readable "ProgressValue", before anything is shown.
    void show(const Poco::JSON::Object& progress);
    // The layout carries no progress any more: the line is finished and the
    // next progress starts afresh.
    void end();
    // Another line is about to be printed: a line being redrawn is finished
    // first so that the other line does not land on the bar.
    void interrupt();

private:
    struct Reading {
        double percent = 0;
        // Known from the "NN% (MMM MB)" label only.
        bool sizeKnown = false;
        uint64_t bytesTotal = 0;
        uint64_t bytesDone = 0;
        std::string leftLabel;
        std::string rightLabel;
    };

    static Reading read(const Poco::JSON::Object& progress);
    std::string describe(const Reading& reading) const;
    static std::string bar(double percent);
    void redraw(const std::string& line);
    void printPlain(const Reading& reading, const std::string& line);
    bool plainLineDue(const Reading& reading) const;

    std::ostream& m_output;
    bool m_isTerminal;
    ProgressMeter::Clock m_clock;
    ProgressMeter m_meter;

    // Terminal: a line is open and how long the last drawing was.
    bool m_lineOpen = false;
    size_t m_drawnLength = 0;

    // Plain lines: what the last one showed, and when.
    bool m_plainPrinted = false;
    int m_plainTenth = 0;
    std::string m_plainPhase;
    std::chrono::steady_clock::time_point m_plainTime;
};

}  // namespace VantisClient
