#include "cli/CardChanges.h"

#include <exception>

#include <Poco/Exception.h>
#include <Poco/JSON/Parser.h>

namespace VantisClient {
namespace {

const char* const TITLE_SEPARATOR = " \xE2\x80\x94 ";  // an em dash between blanks
const char* const CARD_SIGNED_OUT = "Offline";

}  // namespace

const char* const CardChanges::SIGNED_OUT = "Signed out";

bool CardChanges::read(const std::string& pageText, std::string& problem) {
    clearChanges();
    try {
        Poco::JSON::Parser parser;
        Poco::JSON::Object::Ptr command = parser.parse(pageText).extract<Poco::JSON::Object::Ptr>();
        if (command->optValue<std::string>("Command", "") != "UpdateLayout") return false;
        Poco::JSON::Object::Ptr arguments = command->getObject("Arguments");
        if (!arguments) throw Poco::DataFormatException("the layout has no Arguments object");
        readLayout(*arguments);
        return true;
    } catch (const Poco::Exception& error) {
        problem = error.displayText();
    } catch (const std::exception& error) {
        problem = error.what();
    }
    clearChanges();
    return false;
}

void CardChanges::clearChanges() {
    m_titleChanged = false;
    m_stateChanged = false;
    m_activityChanged = false;
    m_progress = nullptr;
}

void CardChanges::readLayout(const Poco::JSON::Object& arguments) {
    readTitle(arguments.getObject("Title"));
    readState(arguments.getObject("GameStateLabel"));
    m_progress = arguments.getObject("Progress");
    readActivity();
}

void CardChanges::readActivity() {
    const std::string activity = m_progress ? m_progress->optValue<std::string>("LeftLabelText", "") : std::string();
    if (activity == m_activity) return;
    m_activity = activity;
    m_activityChanged = true;
}

void CardChanges::readTitle(const Poco::JSON::Object::Ptr& title) {
    if (!title) return;
    const std::string label = title->optValue<std::string>("Label", "");
    const std::string subtitle = title->optValue<std::string>("Subtitle", "");
    const std::string line = subtitle.empty() ? label : label + TITLE_SEPARATOR + subtitle;
    if (line.empty() || line == m_title) return;
    m_title = line;
    m_titleChanged = true;
}

void CardChanges::readState(const Poco::JSON::Object::Ptr& stateLabel) {
    const bool visible = stateLabel && stateLabel->optValue<bool>("Visible", false);
    std::string state = visible ? stateLabel->optValue<std::string>("Label", "") : std::string();
    if (state == CARD_SIGNED_OUT) state = SIGNED_OUT;
    if (state == m_state) return;
    m_state = state;
    m_stateChanged = true;
}

}  // namespace VantisClient
