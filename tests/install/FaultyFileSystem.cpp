#include "FaultyFileSystem.h"

#include <cstring>

#include "common/Logger.h"

namespace VantisTest {

using VantisClient::Logger;

void FaultyFileSystem::inject(const Fault& fault) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fault = fault;
    m_armed = true;
    m_matchingCalls = 0;
}

void FaultyFileSystem::heal() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_armed = false;
}

int FaultyFileSystem::failures() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

bool FaultyFileSystem::fails(Operation operation, const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_armed || operation != m_fault.operation || path.find(m_fault.pathPart) == std::string::npos) return false;
    if (++m_matchingCalls < m_fault.fromCall) return false;
    ++m_failures;
    errno = m_fault.error;
    Logger::LogError("Injected failure on '%s': %s", path.c_str(), std::strerror(m_fault.error));
    return true;
}

bool FaultyFileSystem::createNewFile(const std::string& path, uint64_t size) {
    return !fails(Operation::CreateNewFile, path) && m_real.createNewFile(path, size);
}

bool FaultyFileSystem::writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length) {
    if (!fails(Operation::WriteToFile, path)) return m_real.writeToFile(path, offset, data, length);
    // What a disk that fills up halfway through a write leaves behind.
    if (m_fault.failure == Failure::ShortWrite) m_real.writeToFile(path, offset, data, length / 2);
    return false;
}

bool FaultyFileSystem::moveFile(const std::string& from, const std::string& to) {
    return !fails(Operation::MoveFile, to) && m_real.moveFile(from, to);
}

bool FaultyFileSystem::deleteFile(const std::string& path) {
    return !fails(Operation::DeleteFile, path) && m_real.deleteFile(path);
}

bool FaultyFileSystem::deleteDir(const std::string& path, bool onlyIfEmpty) {
    return !fails(Operation::DeleteDir, path) && m_real.deleteDir(path, onlyIfEmpty);
}

bool FaultyFileSystem::createDir(const std::string& path) {
    return !fails(Operation::CreateDir, path) && m_real.createDir(path);
}

}  // namespace VantisTest
