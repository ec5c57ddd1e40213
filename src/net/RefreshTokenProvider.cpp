#include "net/RefreshTokenProvider.h"

#include <Poco/DigestEngine.h>
#include <Poco/File.h>
#include <Poco/MD5Engine.h>

#include "common/ApplicationEnvironment.h"
#include "common/Logger.h"
#include "common/json/JsonFile.h"
#include "platform/Platform.h"

namespace VantisClient {

const char* const RefreshTokenProvider::FILE_NAME = "Tokens.json";

std::string RefreshTokenProvider::path() {
    return ApplicationEnvironment::GetApplicationSupportRootPath() + "/" + FILE_NAME;
}

std::string RefreshTokenProvider::accountKey() {
    Poco::MD5Engine md5;
    md5.update(Platform::Paths()->accountName());
    return Poco::DigestEngine::digestToHex(md5.digest());
}

bool RefreshTokenProvider::get(std::string& token) {
    if (!Poco::File(path()).exists()) return false;
    Poco::JSON::Object::Ptr tokens;
    if (!JsonFile::Read(path(), tokens)) {
        Logger::LogWarning("Failed to deserialize file %s.", path().c_str());
        return false;
    }
    const std::string key = accountKey();
    if (!tokens->has(key) || !tokens->get(key).isString() || tokens->getValue<std::string>(key).empty()) {
        Logger::LogWarning("Failed to get user refreshToken");
        return false;
    }
    token = tokens->getValue<std::string>(key);
    return true;
}

bool RefreshTokenProvider::set(const std::string& token) {
    if (!discardUnreadable("Failed to set user refreshToken")) return false;
    const std::string key = accountKey();
    if (JsonFile::Update(path(), [&](Poco::JSON::Object& stored) { stored.set(key, token); })) return true;
    Logger::LogWarning("Failed to set user refreshToken");
    return false;
}

RefreshTokenProvider::ERemoval RefreshTokenProvider::remove() {
    if (!Poco::File(path()).exists()) return ERemoval::NoneStored;
    // A file that does not parse may still hold this account's token in its
    // text; nobody can read it any more, so it goes as a whole.
    Poco::JSON::Object::Ptr tokens;
    const bool readable = JsonFile::Read(path(), tokens);
    if (!discardUnreadable("Failed to remove user refreshToken")) return ERemoval::Failed;
    if (!readable) return ERemoval::Forgotten;
    const std::string key = accountKey();
    if (!tokens->has(key)) return ERemoval::NoneStored;
    if (JsonFile::Update(path(), [&](Poco::JSON::Object& stored) { stored.remove(key); })) return ERemoval::Forgotten;
    Logger::LogWarning("Failed to remove user refreshToken");
    return ERemoval::Failed;
}

bool RefreshTokenProvider::discardUnreadable(const char* failure) {
    Poco::JSON::Object::Ptr tokens;
    if (JsonFile::Read(path(), tokens)) return true;
    Logger::LogWarning("Failed to deserialize file %s.", path().c_str());
    try {
        Poco::File(path()).remove();
        return true;
    } catch (const Poco::Exception& error) {
        Logger::LogWarning("%s: %s", failure, error.displayText().c_str());
        return false;
    }
}

}  // namespace VantisClient
