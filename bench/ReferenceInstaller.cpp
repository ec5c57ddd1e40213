// The work of an install and nothing else, as the floor the client is measured
// against: reads the game's depot manifests from the catalogue on disk, asks
// the backend once for a signed link to each object, fetches every file's parts
// over kept-alive TLS connections (as many workers as the client has parts in
// flight, each taking whole files), inflates the zip parts with zlib checking
// their CRC, writes each file with one pwrite a part and digests it (MD5) from
// the bytes as they are produced. None of the client's code is used.
//   vantis-bench-reference <api-url> <token> <ca-file> <catalogue> <game-id> <language> <dir> <in-flight>
// Exits 0 when every file has the manifest's MD5; prints the requests made.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <Poco/Exception.h>
#include <Poco/File.h>
#include <Poco/JSON/Array.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/Parser.h>
#include <Poco/Net/Context.h>
#include <Poco/Net/HTTPRequest.h>
#include <Poco/Net/HTTPResponse.h>
#include <Poco/Net/HTTPSClientSession.h>
#include <Poco/Path.h>
#include <Poco/StreamCopier.h>
#include <Poco/URI.h>
#include <openssl/evp.h>
#include <zlib.h>

namespace {

const uint64_t PLAIN_PART = 1 << 20;
const uint64_t ZIP_PART = 6 << 20;

struct Options {
    Poco::URI api;
    std::string token;
    std::string caFile;
    std::string catalogue;
    std::string gameId;
    std::string language;
    std::string directory;
    int inFlight = 2;
};

struct GameFile {
    std::string path;
    std::string object;  // the manifest's url: "<game>/<name>"
    uint64_t offset = 0;
    uint64_t size = 0;
    std::string md5;
    std::vector<uint64_t> parts;  // bytes of each part on the wire
    bool zip() const { return object.find(".zip") != std::string::npos; }
};

Poco::JSON::Object::Ptr readJson(const std::string& path) {
    std::ifstream input(path);
    return Poco::JSON::Parser().parse(input).extract<Poco::JSON::Object::Ptr>();
}

// A depot of the game in the neutral or the chosen language; not a redistributable.
bool wanted(const Poco::JSON::Object::Ptr& depot, const Options& options) {
    if (!depot->has("gameIDs") || !depot->has("languages")) return false;
    bool game = false, language = false;
    for (const auto& id : *depot->getArray("gameIDs")) game = game || id.toString() == options.gameId;
    for (const auto& name : *depot->getArray("languages"))
        language = language || name.toString() == "Neutral" || name.toString() == options.language;
    return game && language;
}

// The plain part sizes the client cuts when a manifest names none.
std::vector<uint64_t> plainParts(uint64_t size) {
    std::vector<uint64_t> parts;
    for (uint64_t done = 0; done < size; done += PLAIN_PART) parts.push_back(std::min(PLAIN_PART, size - done));
    return parts;
}

void addFiles(const Poco::JSON::Object::Ptr& manifest, const Options& options, std::vector<GameFile>& files) {
    for (const auto& item : *manifest->getObject("depot")->getArray("files")) {
        auto entry = item.extract<Poco::JSON::Object::Ptr>();
        std::string path = options.directory + "/" + entry->getValue<std::string>("path");
        if (entry->has("directory")) {
            Poco::File(path).createDirectories();
            continue;
        }
        // Links are made as they come; support files install elsewhere, and
        // the benchmarks' games have none.
        if (entry->has("target")) {
            Poco::File(Poco::Path(path).parent()).createDirectories();
            if (symlink(entry->getValue<std::string>("target").c_str(), path.c_str()) != 0) throw Poco::FileException(path);
            continue;
        }
        if (entry->optValue<bool>("support", false)) continue;
        GameFile file;
        file.path = path;
        file.size = entry->getValue<uint64_t>("size");
        file.md5 = entry->optValue<std::string>("hash", "");
        file.object = entry->optValue<std::string>("url", "");
        file.offset = entry->optValue<uint64_t>("offset", 0);
        if (entry->has("parts")) {
            for (const auto& part : *entry->getArray("parts")) file.parts.push_back(part.convert<uint64_t>());
        } else {
            file.parts = plainParts(file.size);
        }
        files.push_back(file);
    }
}

std::vector<GameFile> readGame(const Options& options) {
    std::string game = options.catalogue + "/games/" + options.gameId;
    std::vector<GameFile> files;
    Poco::JSON::Object::Ptr product = readJson(game + "/product.json");
    for (const auto& item : *product->getObject("product")->getArray("depots")) {
        auto depot = item.extract<Poco::JSON::Object::Ptr>();
        if (wanted(depot, options)) addFiles(readJson(game + "/manifests/" + depot->getValue<std::string>("manifest")), options, files);
    }
    return files;
}

class Digest {
public:
    Digest() : m_context(EVP_MD_CTX_new()) { EVP_DigestInit_ex(m_context, EVP_md5(), nullptr); }
    ~Digest() { EVP_MD_CTX_free(m_context); }
    void update(const char* data, size_t size) { EVP_DigestUpdate(m_context, data, size); }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context, digest, &length);
        std::string text;
        char byte[3];
        for (unsigned i = 0; i < length; ++i) {
            std::snprintf(byte, sizeof byte, "%02x", digest[i]);
            text += byte;
        }
        return text;
    }

private:
    EVP_MD_CTX* m_context;
};

// One worker: its own kept-alive connections, its own buffers.
class Worker {
public:
    Worker(const Options& options, Poco::Net::Context::Ptr context) : m_options(options), m_context(context) {}

    bool install(const GameFile& file, const std::string& link);
    std::string signedLink(const std::string& object);
    uint64_t requests = 0;

private:
    Poco::Net::HTTPSClientSession& session(const Poco::URI& uri);
    bool get(const Poco::URI& uri, const std::string& range, const std::string& authorization, std::string& body);
    bool inflatePart(const std::string& zip, uint64_t expected);
    bool writeAll(int fd, const char* data, size_t size, uint64_t offset);

    const Options& m_options;
    Poco::Net::Context::Ptr m_context;
    std::map<std::string, std::unique_ptr<Poco::Net::HTTPSClientSession>> m_sessions;
    std::string m_body;
    std::string m_inflated;
};

Poco::Net::HTTPSClientSession& Worker::session(const Poco::URI& uri) {
    std::string key = uri.getHost() + ":" + std::to_string(uri.getPort());
    auto& slot = m_sessions[key];
    if (!slot) {
        slot.reset(new Poco::Net::HTTPSClientSession(uri.getHost(), uri.getPort(), m_context));
        slot->setKeepAlive(true);
    }
    return *slot;
}

bool Worker::get(const Poco::URI& uri, const std::string& range, const std::string& authorization, std::string& body) {
    Poco::Net::HTTPRequest request(Poco::Net::HTTPRequest::HTTP_GET, uri.getPathAndQuery(), Poco::Net::HTTPMessage::HTTP_1_1);
    if (!range.empty()) request.set("Range", range);
    if (!authorization.empty()) request.set("Authorization", authorization);
    Poco::Net::HTTPSClientSession& connection = session(uri);
    connection.sendRequest(request);
    Poco::Net::HTTPResponse response;
    std::istream& stream = connection.receiveResponse(response);
    body.clear();
    if (response.getContentLength64() > 0) body.reserve(static_cast<size_t>(response.getContentLength64()));
    Poco::StreamCopier::copyToString64(stream, body, 1 << 16);
    ++requests;
    return response.getStatus() < 300;
}

std::string Worker::signedLink(const std::string& object) {
    size_t slash = object.find('/');
    Poco::URI uri(m_options.api);
    uri.setPath("/games/" + object.substr(0, slash) + "/os/linux/depots/1/" + object.substr(slash + 1));
    std::string body;
    if (!get(uri, "", "Bearer " + m_options.token, body)) return "";
    return Poco::JSON::Parser().parse(body).extract<Poco::JSON::Object::Ptr>()->getValue<std::string>("link");
}

// A zip part holds one stored-size entry: its local header, then raw deflate.
bool Worker::inflatePart(const std::string& zip, uint64_t expected) {
    if (zip.size() < 30 || std::memcmp(zip.data(), "PK\3\4", 4) != 0) return false;
    auto field = [&zip](size_t at, size_t bytes) {
        uint32_t value = 0;
        for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(static_cast<unsigned char>(zip[at + i])) << (8 * i);
        return value;
    };
    uint32_t crc = field(14, 4);
    size_t data = 30 + field(26, 2) + field(28, 2);
    if (data > zip.size()) return false;
    m_inflated.resize(expected);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zip.data() + data));
    stream.avail_in = static_cast<uInt>(zip.size() - data);
    stream.next_out = reinterpret_cast<Bytef*>(&m_inflated[0]);
    stream.avail_out = static_cast<uInt>(expected);
    int status = inflate(&stream, Z_FINISH);
    bool whole = status == Z_STREAM_END && stream.total_out == expected;
    inflateEnd(&stream);
    return whole && crc32(0, reinterpret_cast<const Bytef*>(m_inflated.data()), static_cast<uInt>(expected)) == crc;
}

bool Worker::writeAll(int fd, const char* data, size_t size, uint64_t offset) {
    while (size > 0) {
        ssize_t written = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (written <= 0) return false;
        data += written;
        size -= static_cast<size_t>(written);
        offset += static_cast<uint64_t>(written);
    }
    return true;
}

bool Worker::install(const GameFile& file, const std::string& link) {
    Poco::File(Poco::Path(file.path).parent()).createDirectories();
    int fd = open(file.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    Digest digest;
    Poco::URI uri(link);
    uint64_t wireOffset = file.offset, written = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < file.parts.size(); ++i) {
        uint64_t wire = file.parts[i];
        std::string range = "bytes=" + std::to_string(wireOffset) + "-" + std::to_string(wireOffset + wire - 1);
        wireOffset += wire;
        ok = get(uri, range, "", m_body);
        if (ok && file.zip()) {
            uint64_t expected = i + 1 < file.parts.size() ? ZIP_PART : file.size - written;
            ok = inflatePart(m_body, expected);
            if (ok) m_body.swap(m_inflated);
        }
        ok = ok && writeAll(fd, m_body.data(), m_body.size(), written);
        if (ok) digest.update(m_body.data(), m_body.size());
        written += m_body.size();
    }
    ok = close(fd) == 0 && ok && written == file.size && digest.hex() == file.md5;
    if (!ok) std::fprintf(stderr, "%s: not installed as its manifest says\n", file.path.c_str());
    return ok;
}

Options parse(char** argv) {
    Options options;
    options.api = Poco::URI(argv[1]);
    options.token = argv[2];
    options.caFile = argv[3];
    options.catalogue = argv[4];
    options.gameId = argv[5];
    options.language = argv[6];
    options.directory = argv[7];
    options.inFlight = std::max(1, std::atoi(argv[8]));
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fprintf(stderr, "usage: %s <api-url> <token> <ca-file> <catalogue> <game-id> <language> <dir> <in-flight>\n", argv[0]);
        return 2;
    }
    const Options options = parse(argv);
    std::vector<GameFile> files;
    try {
        files = readGame(options);
    } catch (const Poco::Exception& error) {
        std::fprintf(stderr, "the game's manifests: %s\n", error.displayText().c_str());
        return 1;
    }
    Poco::Net::Context::Ptr context = new Poco::Net::Context(Poco::Net::Context::TLS_CLIENT_USE, "", "", options.caFile,
                                                             Poco::Net::Context::VERIFY_STRICT);
    std::map<std::string, std::string> links;
    std::mutex linksMutex;
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    std::atomic<uint64_t> requests{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < options.inFlight; ++t) {
        threads.emplace_back([&] {
            Worker worker(options, context);
            try {
                for (size_t i = next++; i < files.size() && !failed; i = next++) {
                    const GameFile& file = files[i];
                    std::string link;
                    if (!file.object.empty()) {
                        std::lock_guard<std::mutex> lock(linksMutex);
                        std::string& known = links[file.object];
                        if (known.empty()) known = worker.signedLink(file.object);
                        link = known;
                    }
                    if (!worker.install(file, link)) failed = true;
                }
            } catch (const Poco::Exception& error) {
                std::fprintf(stderr, "%s\n", error.displayText().c_str());
                failed = true;
            }
            requests += worker.requests;
        });
    }
    for (auto& thread : threads) thread.join();
    std::printf("%zu files, %llu requests\n", files.size(), static_cast<unsigned long long>(requests.load()));
    return failed ? 1 : 0;
}
