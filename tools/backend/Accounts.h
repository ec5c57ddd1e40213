// The store's users, read from a JSON file:
//   {"users": [{"username": "player", "password": "secret", "games": ["1207658924"],
//               "id": "12345" (optional decimal), "avatar": "..." (optional)}]}
// A user without "id" gets a stable one derived from the user name.
// Thread-safety: read-only after Load; safe from any thread.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace VantisClient {
namespace Backend {

struct Account {
    std::string userId;
    std::string username;
    std::string password;
    std::string avatar;
    std::set<std::string> games;
};

class Accounts {
public:
    // False with a reason when the file exists but cannot be read; a missing file
    // gives no accounts.
    bool load(const std::string& path, std::string& error);
    void add(const Account& account);

    const Account* findByName(const std::string& username) const;
    const Account* findById(const std::string& userId) const;
    bool owns(const std::string& userId, const std::string& gameId) const;

private:
    std::vector<Account> m_accounts;
};

}  // namespace Backend
}  // namespace VantisClient
