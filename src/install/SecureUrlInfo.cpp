#include "install/SecureUrlInfo.h"

namespace VantisClient {

SecureUrlInfo::SecureUrlInfo(const std::string& product_, const std::string& file_, bool redist_)
    : product(product_), file(file_), redist(redist_) {}

bool SecureUrlInfo::operator==(const SecureUrlQuery& query) const {
    return product == query.product && file == query.file;
}

SecureUrlQuery SecureUrlInfo::query() const { return SecureUrlQuery{product, file}; }

}  // namespace VantisClient
