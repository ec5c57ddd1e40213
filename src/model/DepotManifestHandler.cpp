#include "model/DepotManifestHandler.h"

#include <cstdint>
#include <utility>

#include <Poco/Exception.h>

namespace VantisClient {

DepotManifestHandler::DepotManifestHandler(EntrySink takeEntry, ListStart startList)
    : m_takeEntry(std::move(takeEntry)), m_startList(std::move(startList)), m_entry(false) {
    reset();
}

bool DepotManifestHandler::listsFiles() const {
    if (!m_depotIsObject || !m_filesIsList) return false;
    if (!m_versionSeen) return true;
    try {
        m_version.convert<uint32_t>();
        return true;
    } catch (const Poco::Exception&) {
        return false;
    }
}

void DepotManifestHandler::reset() {
    m_places.clear();
    m_key.clear();
    m_entryDepth = 0;
    m_entry.reset();
    m_rootIsObject = false;
    m_depotIsObject = false;
    m_filesIsList = false;
    m_entriesTaken = false;
    m_versionSeen = false;
    m_version.empty();
}

void DepotManifestHandler::startObject() {
    if (insideEntry()) {
        m_entry.startObject();
        ++m_entryDepth;
        return;
    }
    if (m_places.empty()) {
        m_rootIsObject = true;
        m_places.push_back(Place::Root);
        return;
    }
    if (m_places.back() == Place::Files) {
        m_entry.reset();
        m_entry.startObject();
        m_entryDepth = 1;
        return;
    }
    const bool isDepot = at(Place::Root, "depot");
    noteValue(Kind::Object);
    m_places.push_back(isDepot ? Place::Depot : Place::Other);
}

void DepotManifestHandler::endObject() {
    if (!insideEntry()) {
        m_places.pop_back();
        return;
    }
    m_entry.endObject();
    if (--m_entryDepth == 0) offerEntry(m_entry.asVar().extract<Poco::JSON::Object::Ptr>());
}

void DepotManifestHandler::startArray() {
    if (insideEntry()) {
        m_entry.startArray();
        ++m_entryDepth;
        return;
    }
    const bool isFiles = at(Place::Depot, "files");
    noteValue(Kind::Array);
    m_places.push_back(isFiles ? Place::Files : Place::Other);
}

void DepotManifestHandler::endArray() {
    if (!insideEntry()) {
        m_places.pop_back();
        return;
    }
    m_entry.endArray();
    --m_entryDepth;
}

void DepotManifestHandler::key(const std::string& name) {
    if (insideEntry()) {
        m_entry.key(name);
    } else {
        m_key = name;
    }
}

void DepotManifestHandler::null() {
    if (insideEntry()) {
        m_entry.null();
    } else {
        noteValue(Kind::Scalar);
    }
}

template <typename T>
void DepotManifestHandler::scalar(const T& value) {
    if (insideEntry()) {
        m_entry.value(value);
    } else {
        noteValue(Kind::Scalar, Poco::Dynamic::Var(value));
    }
}

void DepotManifestHandler::noteValue(Kind kind, const Poco::Dynamic::Var& scalar) {
    if (m_places.empty()) return;  // a root that is no object
    if (m_places.back() == Place::Files) {
        offerEntry(Poco::JSON::Object::Ptr());
    } else if (at(Place::Root, "depot")) {
        m_depotIsObject = kind == Kind::Object;
        m_filesIsList = false;
    } else if (at(Place::Depot, "files")) {
        m_filesIsList = kind == Kind::Array;
        m_entriesTaken = m_filesIsList;
        if (m_filesIsList) m_startList();
    } else if (at(Place::Root, "version")) {
        m_versionSeen = true;
        m_version = kind == Kind::Scalar ? scalar : Poco::Dynamic::Var("not a count");
    }
}

bool DepotManifestHandler::at(Place parent, const char* key) const {
    return !m_places.empty() && m_places.back() == parent && m_key == key;
}

void DepotManifestHandler::offerEntry(const Poco::JSON::Object::Ptr& entry) {
    if (m_entriesTaken) m_entriesTaken = m_takeEntry(entry);
}

}  // namespace VantisClient
