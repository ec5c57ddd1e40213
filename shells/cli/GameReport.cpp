#include "cli/GameReport.h"

#include <algorithm>

#include "cli/GameSelection.h"
#include "common/ProgressMeter.h"
#include "model/LanguageInfo.h"

namespace VantisClient {
namespace {

// The neutral language is the part every language shares, not a choice.
std::vector<std::string> choosableLanguages(const std::vector<std::string>& languages) {
    std::vector<std::string> choosable;
    for (const std::string& language : languages) {
        if (language != LanguageInfo::NeutralLanguageString) choosable.push_back(language);
    }
    return choosable.empty() ? languages : choosable;
}

// Small extra content would read "0.0 MiB".
std::string sizeText(uint64_t bytes) {
    const uint64_t KIB = 1024;
    if (bytes < KIB) return std::to_string(bytes) + " bytes";
    if (bytes < KIB * KIB) return std::to_string((bytes + KIB / 2) / KIB) + " KiB";
    return ProgressMeter::FormatMiB(bytes);
}

std::string joined(const std::vector<std::string>& texts) {
    std::string line;
    for (const std::string& text : texts) line += (line.empty() ? "" : ", ") + text;
    return line;
}

}  // namespace

GameReport::GameReport(const ProductPresentationData& product, uint64_t installedBytes)
    : m_product(product), m_installedBytes(installedBytes) {}

void GameReport::addOffer(const ShellMessage& offer) {
    const int64_t result = offer.integer("result", static_cast<int64_t>(EInstallResult::ServerError));
    if (result != static_cast<int64_t>(EInstallResult::Success)) {
        offerUnavailable(GameSelection::NotOfferedText(static_cast<EInstallResult>(result), m_product.gameId));
        return;
    }
    m_offerKnown = true;
    m_languages = choosableLanguages(offer.texts("languages"));
    for (const Poco::DynamicStruct& record : offer.records("content")) {
        Content content;
        content.gameId = record["gameId"].toString();
        content.name = record["name"].toString();
        const Poco::Dynamic::Var& sizes = record["sizes"];
        for (const std::string& language : m_languages) {
            content.sizes.emplace_back(language, sizes.isStruct() ? sizes[language].convert<uint64_t>() : 0);
        }
        m_offered.push_back(content);
    }
}

void GameReport::offerUnavailable(const std::string& why) {
    m_offerKnown = false;
    m_offerProblem = why;
}

std::string GameReport::title() const {
    if (!m_product.contents.name.empty()) return m_product.contents.name;
    const std::string offered = nameOf(m_product.gameId);
    return offered.empty() ? "game " + m_product.gameId : offered;
}

// The library's names first: they are those of the installed version.
std::string GameReport::nameOf(const std::string& gameId) const {
    for (const AvailableGameIDInfo& available : m_product.availableGameIds) {
        if (available.gameId == gameId) return available.names.getText();
    }
    for (const Content& content : m_offered) {
        if (content.gameId == gameId) return content.name;
    }
    return std::string();
}

std::string GameReport::text() const {
    std::string report = title() + " (game " + m_product.gameId + ")\n";
    report += "Install directory: " + m_product.contents.installPath + "\n";
    report += installedText();
    std::vector<std::string> tasks;
    for (const PlayTaskStruct& task : m_product.contents.playTasks) {
        tasks.push_back(task.isPrimary ? task.name + " (primary)" : task.name);
    }
    report += "Play tasks: " + (tasks.empty() ? std::string("none") : joined(tasks)) + "\n";
    return report + offerText();
}

std::string GameReport::installedText() const {
    if (m_product.revisions.empty()) return "Installed: nothing\n";
    std::string text = "Installed: version " + std::to_string(m_product.manifestTimestamp) + ", language " +
                       m_product.language + ", " + sizeText(m_installedBytes) + " on disk\n";
    for (const std::string& gameId : m_product.revisions) text += "  " + gameId + " " + nameOf(gameId) + "\n";
    return text;
}

std::string GameReport::offerText() const {
    if (!m_offerKnown) return "Offered: not known: " + m_offerProblem + "\n";
    std::string text = "Offered languages: " + joined(m_languages) + "\nOffered content:\n";
    for (const Content& content : m_offered) {
        std::vector<std::string> sizes;
        for (const auto& size : content.sizes) sizes.push_back(size.first + " " + sizeText(size.second));
        text += "  " + content.gameId + " " + content.name + ": " + joined(sizes) + "\n";
    }
    return text;
}

JsonLine GameReport::json() const {
    JsonLine report;
    report.text("gameId", m_product.gameId).text("title", title());
    report.text("installDirectory", m_product.contents.installPath);
    if (m_product.revisions.empty()) {
        report.null("installed");
    } else {
        report.object("installed", installedJson());
    }
    Poco::JSON::Array::Ptr tasks = new Poco::JSON::Array;
    for (const PlayTaskStruct& task : m_product.contents.playTasks) {
        tasks->add(JsonLine().text("name", task.name).flag("primary", task.isPrimary).value());
    }
    report.array("playTasks", tasks);
    if (m_offerKnown) {
        report.object("offer", offerJson());
    } else {
        report.null("offer").text("offerProblem", m_offerProblem);
    }
    return report;
}

JsonLine GameReport::installedJson() const {
    Poco::JSON::Array::Ptr content = new Poco::JSON::Array;
    for (const std::string& gameId : m_product.revisions) {
        content->add(JsonLine().text("gameId", gameId).text("name", nameOf(gameId)).value());
    }
    return JsonLine()
        .number("version", m_product.manifestTimestamp)
        .text("language", m_product.language)
        .number("bytesOnDisk", static_cast<int64_t>(m_installedBytes))
        .array("content", content);
}

JsonLine GameReport::offerJson() const {
    Poco::JSON::Array::Ptr content = new Poco::JSON::Array;
    for (const Content& offered : m_offered) {
        JsonLine sizes;
        for (const auto& size : offered.sizes) {
            sizes.number(JsonLine::ValidUtf8(size.first), static_cast<int64_t>(size.second));
        }
        content->add(JsonLine().text("gameId", offered.gameId).text("name", offered.name).object("sizes", sizes).value());
    }
    return JsonLine().texts("languages", m_languages).array("content", content);
}

}  // namespace VantisClient
