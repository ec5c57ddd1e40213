// What the headless shell shows of a run: the shell messages as they come,
// the failures that end it, what it waits out, and the game's report (--info).
// A view decides the form: terminal text, JSON events, or errors alone.
// Thread-safety: one thread at a time (the shell's main thread).
#pragma once

#include <string>

#include "bridge/ShellMessage.h"

namespace VantisClient {

class GameReport;

class IShellView {
public:
    virtual ~IShellView() = default;

    virtual void show(const ShellMessage& message) = 0;
    // A failure that ends the run.
    virtual void error(const std::string& text) = 0;
    // Something the run waits out, such as a backend that cannot be used yet.
    virtual void notice(const std::string& text) = 0;
    virtual void showReport(const GameReport& report) = 0;
};

}  // namespace VantisClient
