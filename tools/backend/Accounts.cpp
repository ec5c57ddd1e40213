#include "backend/Accounts.h"

#include <fstream>
#include <sstream>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Parser.h>

#include "common/Utilities.h"

namespace VantisClient {
namespace Backend {

namespace {

std::string derivedUserId(const std::string& username) {
    // 17 digits, never starting with 0, so that every id prints the same length.
    const uint64_t span = 90000000000000000ULL;
    return std::to_string(10000000000000000ULL + Utilities::Hash64bit(username.c_str()) % span);
}

}  // namespace

bool Accounts::load(const std::string& path, std::string& error) {
    if (!Poco::File(path).exists()) return true;
    try {
        std::ifstream input(path);
        std::ostringstream text;
        text << input.rdbuf();
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr root = parser.parse(text.str()).extract<Poco::JSON::Object::Ptr>();
        Poco::JSON::Array::Ptr users = root->getArray("users");
        if (!users) {
            error = path + ": \"users\" must be an array";
            return false;
        }
        for (size_t i = 0; i < users->size(); ++i) {
            Poco::JSON::Object::Ptr user = users->getObject(static_cast<unsigned>(i));
            if (!user) throw Poco::DataFormatException("users must be objects");
            Account account;
            account.username = user->getValue<std::string>("username");
            account.password = user->getValue<std::string>("password");
            account.userId = user->has("id") ? user->getValue<std::string>("id") : derivedUserId(account.username);
            account.avatar = user->optValue<std::string>("avatar", "");
            Poco::JSON::Array::Ptr games = user->getArray("games");
            for (size_t g = 0; games && g < games->size(); ++g) account.games.insert(games->getElement<std::string>(g));
            add(account);
        }
        return true;
    } catch (const Poco::Exception& exception) {
        error = path + ": " + exception.displayText();
        return false;
    }
}

void Accounts::add(const Account& account) {
    m_accounts.push_back(account);
}

const Account* Accounts::findByName(const std::string& username) const {
    for (const Account& account : m_accounts) {
        if (account.username == username) return &account;
    }
    return nullptr;
}

const Account* Accounts::findById(const std::string& userId) const {
    for (const Account& account : m_accounts) {
        if (account.userId == userId) return &account;
    }
    return nullptr;
}

bool Accounts::owns(const std::string& userId, const std::string& gameId) const {
    const Account* account = findById(userId);
    return account && account->games.count(gameId) > 0;
}

}  // namespace Backend
}  // namespace VantisClient
