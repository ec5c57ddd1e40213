#include "support/Sandbox.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <Poco/File.h>
#include <Poco/Path.h>
#include <Poco/TemporaryFile.h>

#include "bridge/ShellMessageCenter.h"
#include "common/Logger.h"
#include "common/ProblemReporter.h"
#include "core/ClientCore.h"
#include "model/LocString.h"
#include "net/HostProvider.h"
#include "net/HttpManager.h"
#include "platform/Platform.h"
#include "storage/StorageDBSerializer.h"

namespace VantisTest {
namespace {

void resetProcessWideObjects() {
    // The engine first: its threads use everything below.
    if (VantisClient::ClientCore::isStarted()) VantisClient::ClientCore::Shutdown();
    VantisClient::HttpManager::Shutdown();
    VantisClient::HttpManager::Open();
    VantisClient::Http::HostProvider::Reset();
    // Before the logger: a report in flight still logs.
    VantisClient::ProblemReporter::Reset();
    VantisClient::Logger::Reset();
    VantisClient::Platform::Reset();
    VantisClient::ShellMessageCenter::Reset();
    VantisClient::StorageDBSerializer::Shutdown();
    VantisClient::LocString::SetLocalizationCode(0);
}

}  // namespace

Sandbox::Sandbox() {
    m_root = Poco::TemporaryFile::tempName(Poco::Path::temp()) + "-vantis";
    Poco::File(m_root).createDirectories();
    ::setenv("VANTIS_HOME", m_root.c_str(), 1);
    resetProcessWideObjects();
}

Sandbox::~Sandbox() {
    resetProcessWideObjects();
    ::unsetenv("VANTIS_HOME");
    try {
        Poco::File(m_root).remove(true);
    } catch (...) {
        // A test that made a file unremovable already failed on its own.
    }
}

std::string Sandbox::path(const std::string& relative) const { return m_root + "/" + relative; }

void Sandbox::writeFile(const std::string& relative, const std::string& contents) const {
    Poco::File(Poco::Path(path(relative)).parent()).createDirectories();
    std::ofstream(path(relative), std::ios::binary) << contents;
}

std::string Sandbox::readFile(const std::string& relative) const { return ReadWholeFile(path(relative)); }

std::string ReadWholeFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

}  // namespace VantisTest
