// A private application-support root for one test, and the reset of every
// process-wide object so that tests never depend on their order.
#pragma once

#include <string>

#include <gtest/gtest.h>

namespace VantisTest {

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return m_root; }
    // `relative` joined below the root.
    std::string path(const std::string& relative) const;
    void writeFile(const std::string& relative, const std::string& contents) const;
    std::string readFile(const std::string& relative) const;

private:
    std::string m_root;
};

// A fixture that gives each test its own sandbox.
class SandboxTest : public ::testing::Test {
protected:
    Sandbox sandbox;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& path);

}  // namespace VantisTest
