// The records of a product's databases in format version 2: each item of the
// product's lists as a fixed-size binary structure under its key, and back.
// Encoding refuses, with the reason logged, an item whose text does not fit
// its field; decoding checks every key and value before it uses them, so a
// damaged or foreign record gives an error line and false, never a read past
// its bytes.
// Thread-safety: stateless; every function may be called from any thread.
#pragma once

#include <string>

#include <leveldb/slice.h>

#include "model/DownloadingFileInfo.h"
#include "model/InstalledFileInfo.h"
#include "model/InstalledSymLinkInfo.h"
#include "model/ProductInfo.h"
#include "storage/StorageDBSerializer_Version2.h"

namespace VantisClient {

class ProductRecordCodec {
public:
    using Database = StorageDBSerializer_Version2::Database;

    // A record ready to be stored: the database it belongs in, its key and its bytes.
    struct StoredRecord {
        Database database = StorageDBSerializer_Version2::DatabaseCount;
        std::string key;
        std::string bytes;
    };

    // The databases of downloading files, by the room their records have for
    // the parts bitmap, smallest first.
    static const Database DOWNLOADING_DATABASES[3];

    // The encoders fill `stored` (its key even for a record that does not fit)
    // and return false, with the reason logged, when the item cannot be stored.
    static bool EncodeSupport(const RemoteSupportInfo& command, StoredRecord& stored);
    static bool EncodeRedist(const RedistInfo& redist, StoredRecord& stored);
    static bool EncodeDirectory(const DirInfo& directory, StoredRecord& stored);
    static bool EncodeInstalled(const InstalledFileInfo& file, StoredRecord& stored);
    static bool EncodeSymLink(const InstalledSymLinkInfo& link, StoredRecord& stored);
    // The database follows from the bitmap's word count; a bitmap that fits
    // none leaves `stored.database` at DatabaseCount.
    static bool EncodeDownloading(const DownloadingFileInfo& file, StoredRecord& stored);

    // The decoders append the item a record holds to `product`'s list; false,
    // with the fault logged, when the record is not one.
    static bool AppendRedist(const leveldb::Slice& value, ProductInfo& product);
    static bool AppendSupport(const leveldb::Slice& value, ProductInfo& product);
    static bool AppendDirectory(const leveldb::Slice& value, ProductInfo& product);
    static bool AppendSymLink(const leveldb::Slice& value, ProductInfo& product);
    static bool AppendDownloading(Database which, const leveldb::Slice& key, const leveldb::Slice& value,
                                  ProductInfo& product);
    static bool AppendInstalled(const leveldb::Slice& key, const leveldb::Slice& value, ProductInfo& product);
};

}  // namespace VantisClient
