#include "gtk/PageDestinations.h"

#include <glib.h>

#include <algorithm>

namespace VantisClient {
namespace {

std::string lowerCase(const char* text) {
    gchar* lower = g_ascii_strdown(text, -1);
    const std::string result = lower;
    g_free(lower);
    return result;
}

std::string withSlash(const std::string& directory) {
    return !directory.empty() && directory.back() == '/' ? directory : directory + "/";
}

}  // namespace

std::string PageDestinations::OriginOf(const std::string& address) {
    GUri* uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (uri == nullptr) return std::string();
    const std::string scheme = lowerCase(g_uri_get_scheme(uri));
    const char* host = g_uri_get_host(uri);
    std::string origin;
    if ((scheme == "http" || scheme == "https") && host != nullptr && *host != '\0') {
        const int port = g_uri_get_port(uri);
        const int effectivePort = port > 0 ? port : scheme == "https" ? 443 : 80;
        origin = scheme + "://" + lowerCase(host) + ":" + std::to_string(effectivePort);
    }
    g_uri_unref(uri);
    return origin;
}

void PageDestinations::allowOrigin(const std::string& address) {
    const std::string origin = OriginOf(address);
    if (!origin.empty()) m_origins.insert(origin);
}

void PageDestinations::allowFilesBelow(const std::string& directory) {
    if (!directory.empty() && directory[0] == '/') m_directories.insert(withSlash(directory));
}

void PageDestinations::clear() {
    m_origins.clear();
    m_directories.clear();
}

bool PageDestinations::allows(const std::string& address) const {
    const std::string origin = OriginOf(address);
    if (!origin.empty()) return m_origins.count(origin) > 0;
    return allowsFile(address);
}

bool PageDestinations::allowsFile(const std::string& address) const {
    gchar* host = nullptr;
    gchar* path = g_filename_from_uri(address.c_str(), &host, nullptr);
    const bool local = host == nullptr || g_ascii_strcasecmp(host, "localhost") == 0;
    const std::string file = path != nullptr ? path : "";
    g_free(path);
    g_free(host);
    if (file.empty() || !local) return false;
    // A path that climbs out of a directory is no file below it, whatever it starts with.
    const std::string climb = "/..";
    if (file.find(climb + "/") != std::string::npos ||
        file.compare(file.size() - std::min(file.size(), climb.size()), climb.size(), climb) == 0) {
        return false;
    }
    for (const std::string& directory : m_directories) {
        if (file.compare(0, directory.size(), directory) == 0 && file.size() > directory.size()) return true;
    }
    return false;
}

}  // namespace VantisClient
