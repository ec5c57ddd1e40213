#include "bridge/WebCacheUsage.h"

#include <filesystem>
#include <system_error>

namespace VantisClient {

WebCacheUsage WebCacheUsage::Of(const std::string& root, const std::string& excluded) {
    namespace fs = std::filesystem;
    WebCacheUsage usage;
    std::error_code error;
    const fs::path left = fs::path(excluded).lexically_normal();
    fs::recursive_directory_iterator each(root, fs::directory_options::skip_permission_denied, error);
    for (; !error && each != fs::recursive_directory_iterator(); each.increment(error)) {
        std::error_code statusError;
        if (!each->is_regular_file(statusError) || each->is_symlink(statusError)) continue;
        if (each->path().lexically_normal() == left) continue;
        const uintmax_t size = each->file_size(statusError);
        if (statusError) continue;
        usage.bytes += size;
        ++usage.files;
    }
    return usage;
}

}  // namespace VantisClient
