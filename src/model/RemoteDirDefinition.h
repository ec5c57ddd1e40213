// One directory entry of a depot manifest: its relative path and whether it
// belongs under the product's support path.
// Thread-safety: immutable after construction; shared freely.
#pragma once

#include <string>

#include <Poco/SharedPtr.h>

namespace VantisClient {

class RemoteDirDefinition {
public:
    using Ptr = Poco::SharedPtr<RemoteDirDefinition>;

    RemoteDirDefinition(bool support, const std::string& path) : m_support(support), m_path(path) {}

    bool isSupport() const { return m_support; }
    const std::string& getPath() const { return m_path; }

private:
    bool m_support;
    std::string m_path;
};

}  // namespace VantisClient
