// Follows a depot manifest's text as the JSON parser reads it and hands each
// entry of "depot"."files" to a sink as a small object of its own, so that a
// manifest of a hundred thousand files is never held as one document tree.
// Reads as the whole tree would: the last "depot" and its last "files" count
// (a sink is told when a "files" list starts over), and a root "version" must
// be a count.
// Thread-safety: none; one parse at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <Poco/Dynamic/Var.h>
#include <Poco/JSON/Handler.h>
#include <Poco/JSON/Object.h>
#include <Poco/JSON/ParseHandler.h>

namespace VantisClient {

class DepotManifestHandler : public Poco::JSON::Handler {
public:
    // Takes one entry (null for one that is no object); false when the entry
    // makes the depot unusable, after which no further entry of that list is
    // handed over.
    using EntrySink = std::function<bool(const Poco::JSON::Object::Ptr& entry)>;
    using ListStart = std::function<void()>;

    DepotManifestHandler(EntrySink takeEntry, ListStart startList);

    // After a parse that raised no error:
    bool rootIsObject() const { return m_rootIsObject; }
    // "depot" is an object holding a "files" list, and "version", when there
    // is one, is a count.
    bool listsFiles() const;
    // The sink took every entry of that list.
    bool tookEveryEntry() const { return m_entriesTaken; }

    void reset() override;
    void startObject() override;
    void endObject() override;
    void startArray() override;
    void endArray() override;
    void key(const std::string& name) override;
    void null() override;
    void value(int number) override { scalar(number); }
    void value(unsigned number) override { scalar(number); }
    void value(Poco::Int64 number) override { scalar(number); }
    void value(Poco::UInt64 number) override { scalar(number); }
    void value(const std::string& text) override { scalar(text); }
    void value(double number) override { scalar(number); }
    void value(bool flag) override { scalar(flag); }

private:
    // Where an open container sits, outside any entry.
    enum class Place { Root, Depot, Files, Other };
    enum class Kind { Object, Array, Scalar };

    template <typename T>
    void scalar(const T& value);
    bool insideEntry() const { return m_entryDepth > 0; }
    // Notes what the value about to open or be read means to the depot.
    void noteValue(Kind kind, const Poco::Dynamic::Var& scalar = Poco::Dynamic::Var());
    bool at(Place parent, const char* key) const;
    void offerEntry(const Poco::JSON::Object::Ptr& entry);

    EntrySink m_takeEntry;
    ListStart m_startList;
    std::vector<Place> m_places;
    std::string m_key;  // the last key read in the innermost open object
    std::size_t m_entryDepth;
    Poco::JSON::ParseHandler m_entry;
    bool m_rootIsObject;
    bool m_depotIsObject;
    bool m_filesIsList;
    bool m_entriesTaken;
    bool m_versionSeen;
    Poco::Dynamic::Var m_version;
};

}  // namespace VantisClient
