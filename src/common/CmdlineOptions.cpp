#include "common/CmdlineOptions.h"

#include <cstring>

#include <Poco/Exception.h>
#include <Poco/Util/Option.h>
#include <Poco/Util/OptionCallback.h>
#include <Poco/Util/OptionException.h>
#include <Poco/Util/OptionProcessor.h>
#include <Poco/Util/OptionSet.h>

#include "common/Constants.h"
#include "common/OptionNames.h"

namespace VantisClient {

// The option set lives only while the constructor parses: its callbacks point
// at this object, and a copy of the object must not carry them along.
CmdlineOptions::CmdlineOptions(const std::vector<std::string>& arguments,
                               const std::vector<ExtraOption>& extraOptions) {
    Poco::Util::OptionSet options;
    registerTableOptions(options);
    registerExtraOptions(options, extraOptions);

    Poco::Util::OptionProcessor processor(options);
    processor.setUnixStyle(!IsWindows());
    if (!arguments.empty()) m_programPath = arguments.front();
    bool valuePending = false;
    for (size_t index = 0; index < arguments.size(); ++index) {
        valuePending = parseArgument(processor, options, arguments[index], index == 0);
    }
    // Dropped without a sentence, as the family's programs expect; a shell may still refuse it.
    if (valuePending) m_rejections.push_back({arguments.back(), "needs a value"});
}

// The order of registration is the order the family's programs share.
const std::vector<CmdlineOptions::TableOption>& CmdlineOptions::Table() {
    static const std::vector<TableOption> table = {
        {OptionNames::GAME_ID, EOptionKind::Value, &CmdlineOptions::setGameId},
        {OptionNames::COMMAND, EOptionKind::Value, &CmdlineOptions::setCommand},
        {OptionNames::WAIT_FOR_PREVIOUS_INSTANCE, EOptionKind::Flag, &CmdlineOptions::setWaitForPreviousInstance},
        {OptionNames::RUN_WITHOUT_UPDATING, EOptionKind::Flag, &CmdlineOptions::setRunWithoutUpdating},
        {OptionNames::CEF_LOGGING, EOptionKind::Value, &CmdlineOptions::setLogging},
        {OptionNames::DEBUG_LAUNCH, EOptionKind::Flag, &CmdlineOptions::setDebugLaunch},
        {OptionNames::SKIP_SERVICE_RUNNING_CHECK, EOptionKind::Flag, &CmdlineOptions::setSkipServiceRunningCheck},
        {OptionNames::SHOW_DEBUG_WINDOW, EOptionKind::Flag, &CmdlineOptions::setShowDebugWindow},
        {OptionNames::DEELEVATED, EOptionKind::Flag, &CmdlineOptions::setDeelevated},
        {OptionNames::INSTALLATION_PATH, EOptionKind::Value, &CmdlineOptions::setInstallationPath},
        {OptionNames::BUNDLE_PATH, EOptionKind::Value, &CmdlineOptions::setBundlePath},
        {OptionNames::CLIENT_PATH, EOptionKind::Value, &CmdlineOptions::setClientPath},
        {OptionNames::GAME_PATH, EOptionKind::Value, &CmdlineOptions::setGamePath},
        {OptionNames::CHANNEL, EOptionKind::Value, &CmdlineOptions::setUpdateChannel},
        {OptionNames::FALLBACK_RUN, EOptionKind::Flag, &CmdlineOptions::setFallback},
        {OptionNames::FORCE_UPDATE, EOptionKind::Flag, &CmdlineOptions::setForceUpdate},
    };
    return table;
}

void CmdlineOptions::registerTableOptions(Poco::Util::OptionSet& options) {
    for (const TableOption& option : Table()) registerOption(options, option.name, option.kind, option.setter);
}

std::vector<std::string> CmdlineOptions::TableOptionNames() {
    std::vector<std::string> names;
    for (const TableOption& option : Table()) names.push_back(option.name);
    return names;
}

void CmdlineOptions::registerExtraOptions(Poco::Util::OptionSet& options,
                                          const std::vector<ExtraOption>& extraOptions) {
    for (const ExtraOption& extra : extraOptions) {
        // The processor would always pick the table's option of the same name, and
        // would read a name holding "=" or ":" as a name and a value.
        bool usable = !extra.name.empty() && extra.name.find_first_of("=:") == std::string::npos;
        if (!usable || options.hasOption(extra.name, false)) continue;
        registerOption(options, extra.name, extra.kind, nullptr);
        m_extraOptionNames.insert(extra.name);
    }
}

void CmdlineOptions::registerOption(Poco::Util::OptionSet& options, const std::string& name, EOptionKind kind,
                                    Setter setter) {
    Poco::Util::Option option(name, "");
    option.required(false).repeatable(false);
    if (kind == EOptionKind::Value) {
        option.argument(name);
        m_valueOptionNames.insert(name);
    } else if (kind == EOptionKind::OptionalValue) {
        option.argument(name, false);
    }
    if (setter != nullptr) option.callback(Poco::Util::OptionCallback<CmdlineOptions>(this, setter));
    options.addOption(option);
}

bool CmdlineOptions::parseArgument(Poco::Util::OptionProcessor& processor, const Poco::Util::OptionSet& options,
                                   const std::string& argument, bool isProgramPath) {
    std::string name;
    std::string value;
    try {
        if (!processor.process(argument, name, value)) {
            m_otherArguments.push_back(argument);
            if (!isProgramPath) m_positionalArguments.push_back(argument);
        } else if (name.empty()) {
            // The "--" that ends the options, or a name whose value is the next argument.
            m_otherArguments.push_back(argument);
            return argument != "--";
        } else {
            applyOption(options, name, value);
        }
    } catch (const Poco::Util::DuplicateOptionException&) {
        m_parseErrors += "Ignoring duplicate option " + argument + "; ";
        m_rejections.push_back({argument, "given more than once"});
    } catch (const Poco::Util::UnknownOptionException&) {
        reject(argument, "unknown option");
    } catch (const Poco::Util::AmbiguousOptionException&) {
        reject(argument, "ambiguous: it begins the names of several options");
    } catch (const Poco::Util::UnexpectedArgumentException&) {
        reject(argument, "takes no value");
    } catch (const Poco::Exception& error) {
        reject(argument, error.displayText());
    }
    return false;
}

void CmdlineOptions::reject(const std::string& argument, const std::string& reason) {
    m_parseErrors += "Failed parsing option " + argument + ", ignoring; ";
    m_rejections.push_back({argument, reason});
}

void CmdlineOptions::applyOption(const Poco::Util::OptionSet& options, const std::string& name,
                                 const std::string& value) {
    m_specifiedOptions.insert({name, value});
    const Poco::Util::AbstractOptionCallback* setter = options.getOption(name).callback();
    if (setter != nullptr) setter->invoke(name, value);
}

std::optional<std::string> CmdlineOptions::extraOption(const std::string& name) const {
    if (m_extraOptionNames.count(name) == 0) return std::nullopt;
    auto specified = m_specifiedOptions.find(name);
    if (specified == m_specifiedOptions.end()) return std::nullopt;
    return specified->second;
}

void CmdlineOptions::setRunWithoutUpdating() {
    specify(OptionNames::RUN_WITHOUT_UPDATING, "", &CmdlineOptions::setRunWithoutUpdating);
}
void CmdlineOptions::setFallback() { specify(OptionNames::FALLBACK_RUN, "", &CmdlineOptions::setFallback); }
void CmdlineOptions::setWaitForPreviousInstance() {
    specify(OptionNames::WAIT_FOR_PREVIOUS_INSTANCE, "", &CmdlineOptions::setWaitForPreviousInstance);
}
void CmdlineOptions::setClientPath(const std::string& value) {
    specify(OptionNames::CLIENT_PATH, value, &CmdlineOptions::setClientPath);
}
void CmdlineOptions::setInstallationPath(const std::string& value) {
    specify(OptionNames::INSTALLATION_PATH, value, &CmdlineOptions::setInstallationPath);
}
void CmdlineOptions::setUpdateChannel(const std::string& value) {
    specify(OptionNames::CHANNEL, value, &CmdlineOptions::setUpdateChannel);
}
void CmdlineOptions::setBundlePath(const std::string& value) {
    specify(OptionNames::BUNDLE_PATH, value, &CmdlineOptions::setBundlePath);
}
void CmdlineOptions::setGameId(const std::string& value) {
    specify(OptionNames::GAME_ID, value, &CmdlineOptions::setGameId);
}
void CmdlineOptions::setGamePath(const std::string& value) {
    specify(OptionNames::GAME_PATH, value, &CmdlineOptions::setGamePath);
}
void CmdlineOptions::replaceGamePath(const std::string& value) {
    m_specifiedOptions[OptionNames::GAME_PATH] = value;
    m_gamePath = value;
}

void CmdlineOptions::specify(const std::string& name, const std::string& value, Setter setter) {
    m_specifiedOptions.insert({name, value});
    (this->*setter)(name, value);
}

void CmdlineOptions::setGameId(const std::string&, const std::string& value) { m_gameId = value; }
void CmdlineOptions::setCommand(const std::string&, const std::string& value) { m_command = value; }
void CmdlineOptions::setWaitForPreviousInstance(const std::string&, const std::string&) {
    m_waitForPreviousInstance = true;
}
void CmdlineOptions::setRunWithoutUpdating(const std::string&, const std::string&) { m_runWithoutUpdating = true; }
void CmdlineOptions::setLogging(const std::string&, const std::string& value) { m_logging = value; }
void CmdlineOptions::setDebugLaunch(const std::string&, const std::string&) { m_debugLaunch = true; }
void CmdlineOptions::setSkipServiceRunningCheck(const std::string&, const std::string&) {
    m_skipServiceRunningCheck = true;
}
void CmdlineOptions::setShowDebugWindow(const std::string&, const std::string&) { m_showDebugWindow = true; }
void CmdlineOptions::setDeelevated(const std::string&, const std::string&) { m_deelevated = true; }
void CmdlineOptions::setInstallationPath(const std::string&, const std::string& value) { m_installationPath = value; }
void CmdlineOptions::setBundlePath(const std::string&, const std::string& value) { m_bundlePath = value; }
void CmdlineOptions::setClientPath(const std::string&, const std::string& value) { m_clientPath = value; }
void CmdlineOptions::setGamePath(const std::string&, const std::string& value) { m_gamePath = value; }
void CmdlineOptions::setUpdateChannel(const std::string&, const std::string& value) { m_updateChannel = value; }
void CmdlineOptions::setFallback(const std::string&, const std::string&) { m_fallback = true; }
void CmdlineOptions::setForceUpdate(const std::string&, const std::string&) { m_forceUpdate = true; }

std::string CmdlineOptions::createArgument(const std::string& name, const std::string& value) {
    std::string argument = (IsWindows() ? "/" : "--") + name;
    if (!value.empty()) argument += "=" + value;
    return argument;
}

std::vector<std::string> CmdlineOptions::createArgumentsList() const {
    std::vector<std::string> arguments;
    for (const auto& [name, value] : m_specifiedOptions) arguments.push_back(createForwardedArgument(name, value));
    return arguments;
}

std::string CmdlineOptions::createForwardedArgument(const std::string& name, const std::string& value) const {
    std::string argument = createArgument(name, value);
    if (value.empty() && m_valueOptionNames.count(name) > 0) argument += "=";
    return argument;
}

std::string CmdlineOptions::createArgumentsStringQuoted() const {
    std::string quoted;
    for (const std::string& argument : createArgumentsList()) quoted += " \"" + argument + "\" ";
    return quoted;
}

bool CmdlineOptions::IsWindows() { return std::strcmp(OPERATING_SYSTEM_STRING, "windows") == 0; }

}  // namespace VantisClient
