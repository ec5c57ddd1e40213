// A file system that does what the real one does, except for the calls a test
// tells it to fail: one operation, on paths that contain a given text, from
// the n-th such call on, in one of the ways a disk fails. A failed write may
// first put part of its data down, as a short write does.
// Thread-safety: every call may come from any thread; parts are written on the
// pipeline's workers.
#pragma once

#include <cerrno>
#include <mutex>
#include <string>

#include "install/PosixFileSystem.h"

namespace VantisTest {

class FaultyFileSystem : public VantisClient::FileSystem {
public:
    enum class Operation { CreateNewFile, WriteToFile, MoveFile, DeleteFile, DeleteDir, CreateDir };
    enum class Failure { Errno, ShortWrite };

    struct Fault {
        Operation operation;
        std::string pathPart;
        // The first call that fails, counted from 1 among the matching calls.
        int fromCall = 1;
        Failure failure = Failure::Errno;
        int error = EIO;
    };

    void inject(const Fault& fault);
    void heal();
    int failures() const;

    bool createNewFile(const std::string& path, uint64_t size) override;
    bool writeToFile(const std::string& path, uint64_t offset, const char* data, uint32_t length) override;
    bool moveFile(const std::string& from, const std::string& to) override;
    bool deleteFile(const std::string& path) override;
    bool deleteDir(const std::string& path, bool onlyIfEmpty) override;
    bool createDir(const std::string& path) override;
    bool setHidden(const std::string& path) override { return m_real.setHidden(path); }
    bool getFileSize(const std::string& path, uint64_t& size) override { return m_real.getFileSize(path, size); }
    bool getAllocatedSize(const std::string& path, uint64_t& size) override {
        return m_real.getAllocatedSize(path, size);
    }

private:
    // True when this call is to fail; errno is then the fault's.
    bool fails(Operation operation, const std::string& path);

    VantisClient::PosixFileSystem m_real;
    mutable std::mutex m_mutex;
    Fault m_fault{};
    bool m_armed = false;
    int m_matchingCalls = 0;
    int m_failures = 0;
};

}  // namespace VantisTest
