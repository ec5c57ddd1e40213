// The single entry point to the local library on disk: the index of all
// products ("index.db", SQLite) and one product database per product. It keeps
// a serializer per storage format, checks the format version stored in each
// database file, migrates an older format to the current one, and recreates a
// database whose format it cannot read (the reading operation then fails and
// the caller works from an empty list). A file that cannot be read at all
// (busy, I/O) is left as it is and the operation fails. A file that SQLite
// finds damaged is moved aside to "<file>.damaged", replacing an older one, and
// the operation goes on with a new file in its place, as for an unknown format.
//
// Each call on a product opens its databases and closes them again, unless a
// ProductStorageSession keeps that product open.
//
// Thread-safety: every operation may be called from any thread; one lock keeps
// them from overlapping, because the serializers keep per-call state (sessions,
// open databases). FetchVersion and StoreVersion touch only the session given.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/VantisMutex.h"
#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"
#include "model/ProductInfo.h"
#include "storage/IStorageDBSerializer.h"
#include "storage/IStorageIndexSerializer.h"

namespace Poco {
namespace Data {
class Session;
}
}  // namespace Poco

namespace VantisClient {

class StorageDBSerializer {
public:
    using Products = std::vector<ProductInfo::Ptr>;

    static const int32_t s_currentVersion;

    // Registers the SQLite connector and the serializers, which keep their
    // files in `storagePath`; again only after Shutdown.
    static void Start(const std::string& storagePath);
    // Closes the products kept open, unregisters and deletes the serializers;
    // nothing happens when not started. Also the reset between tests.
    static void Shutdown();

    // From the first call on the product that opens its databases until as many
    // Release calls as successful KeepOpen calls were made, or Shutdown, the
    // calls on that product work on the same open databases instead of opening
    // and closing them. KeepOpen fails when storage is not started or the game
    // id cannot name a product. ProductStorageSession pairs the two.
    static bool KeepOpen(const std::string& gameId);
    static void Release(const std::string& gameId);

    static std::string getDBpath(const std::string& gameId);
    static std::string getIndexDBPath();
    // Where the newer formats keep a product's databases.
    static std::string getProductDirectory(const std::string& gameId);
    // A game id names a file and a directory below the storage directory, and
    // that directory is deleted with its contents: only a plain name will do.
    static bool IsStorableGameId(const std::string& gameId);

    // -1 when the version table is missing, empty, holds several rows or cannot be read.
    static int32_t FetchVersion(Poco::Data::Session& session);
    // Always stores the current version, whatever `version` says.
    static void StoreVersion(Poco::Data::Session& session, int32_t version);
    // True when the database is in the current format, after migrating it if
    // it was in an older known one.
    static bool CheckIndexIntegrity(Poco::Data::Session& session);
    static bool CheckDBIntegrity(Poco::Data::Session& session);

    static bool SerializeIndex(const Products& products);
    // Appends to `products`.
    static bool DeserializeIndex(Products& products);
    // The game's index entry; null when the index has none or cannot be read.
    static ProductInfo::Ptr DeserializeIndexEntry(const std::string& gameId);
    static bool UpdateProductInIndex(ProductInfo* product);
    static bool DeleteProductFromIndex(const std::string& gameId);

    static bool SerializeProduct(ProductInfo* product);
    static bool DeserializeProduct(const std::string& gameId, ProductInfo* product);
    static bool UpdateFileInProduct(const std::string& gameId, const InstalledFileInfo::Ptr& file);
    static bool UpdateFileInProduct(const std::string& gameId, const DownloadingFileInfo::Ptr& file);
    static bool UpdateFilesInProduct(const std::string& gameId, const std::vector<InstalledFileInfo::Ptr>& files);
    static bool UpdateFilesInProduct(const std::string& gameId, const std::vector<DownloadingFileInfo::Ptr>& files);
    // Removes the product file only.
    static bool DeleteProductDB(const std::string& gameId);

private:
    using DBSerializers = std::map<int32_t, std::unique_ptr<IStorageDBSerializer>>;
    using IndexSerializers = std::map<int32_t, std::unique_ptr<IStorageIndexSerializer>>;
    class SessionDBWrapper;
    class IndexSessionScope;
    struct HeldProduct;

    // What a database file's version table tells of its format.
    enum class FormatCheck {
        // The current format, after migrating an older known one.
        Current,
        // No version table, an empty one or one that holds no known version:
        // the file is to be recreated in the current format.
        Unknown,
        // The file could not be read or migrated (busy, I/O): nothing is known
        // of its format, so it must be left as it is.
        Unreadable,
        // SQLite finds the file damaged (not a database, a malformed image):
        // it will not get better, and nothing in it can be trusted.
        Damaged
    };

    static DBSerializers makeDBSerializers();
    // False when the file could not be read, and then `failure` tells whether it
    // is Unreadable or Damaged; `version` is -1 when it holds none.
    static bool readVersion(Poco::Data::Session& session, int32_t& version, FormatCheck& failure);
    static FormatCheck checkIndexFormat(Poco::Data::Session& session);
    // With the serializers that have the product's databases open.
    static FormatCheck checkDBFormat(Poco::Data::Session& session, const DBSerializers& serializers);
    static bool logUnreadable(const char* operation, const std::string& path);
    // Renames the file to "<path>.damaged"; false, with a log line, when it could not.
    static bool moveDamagedAside(const char* operation, const std::string& path);
    static IStorageDBSerializer* currentDBSerializer();
    static IStorageIndexSerializer* currentIndexSerializer();
    static void recreateIndex(Poco::Data::Session& session);
    // Checks the index of a session handed to the index serializers. A new file,
    // or one in an unknown format, gets empty tables in the current format
    // (Unknown); one that cannot be read is logged and left alone (Unreadable).
    // A damaged one is closed, moved aside and replaced by a new file that the
    // session is opened on (Unknown), or else left alone (Unreadable).
    static FormatCheck prepareIndex(const char* operation, Poco::Data::Session& session, bool existed);
    static FormatCheck replaceDamagedIndex(const char* operation, Poco::Data::Session& session);
    // The same for a product's file and databases, which get a version row
    // when recreated only with `storeVersion`.
    static FormatCheck prepareProduct(const char* operation, SessionDBWrapper& databases, bool existed,
                                      bool storeVersion);
    static FormatCheck replaceDamagedProduct(const char* operation, SessionDBWrapper& databases);
    // How an index operation uses the index: only one that exists already and
    // is current (ReadExisting); created when missing, and current (Modify);
    // created when missing, possibly made anew (Write).
    enum class IndexUse { ReadExisting, Modify, Write };
    // Opens the index under the lock, hands its session to the index serializers
    // and brings it to the current format, then runs `work` on the current index
    // serializer when `use` allows. False, with a log line naming `operation`,
    // when the index could not be used.
    template <typename Work>
    static bool withIndex(const char* operation, IndexUse use, Work work);
    // Runs `work` on the product's databases: those kept open for it, or else
    // ones opened for this call only. False when they could not be opened.
    template <typename Work>
    static bool withProductDatabases(const std::string& gameId, Work work);
    // Runs `action` on the current serializer for a product whose file exists and
    // whose format is current; a product in an unknown format, or whose damaged
    // file was replaced, is recreated empty (with a version row when
    // `storeVersionOnRecreate`) and gives false.
    template <typename Action>
    static bool onExistingProduct(const char* operation, const std::string& gameId, bool storeVersionOnRecreate,
                                  Action action);
    template <typename Files>
    static bool updateFiles(const char* operation, const std::string& gameId, const Files& files);

    static DBSerializers s_dbSerializersMap;
    static IndexSerializers s_indexSerializersMap;
    static std::map<std::string, HeldProduct> s_heldProducts;
    static VantisMutex s_mutex;
    static std::string s_storagePath;
    static VantisMutex s_pathMutex;
};

}  // namespace VantisClient
