// Reads a program's arguments into typed option values, and turns the options
// that are set back into arguments for another program of the family: the
// client parses its own command line with it, adds what it works out itself
// (bundle path, update channel, game path and id) and hands the result to the
// updater. The option names and the argument syntax (OptionNames.h) are
// therefore an interface between the programs.
//
// Each option has a full name only, may be given once, and is either a flag
// ("--forceUpdate") or takes one value ("--gameId=12", "--gameId:12" or
// "--gameId" "12"). Names match regardless of case and may be shortened while
// they stay unambiguous. A lone "--" ends the options. Parsing never throws and
// never stops early: a rejected argument adds a sentence to parseErrors() and
// says what was wrong with it in rejections().
//
// Thread-safety: none; one owner at a time. A parsed object may be read from
// several threads while nobody changes it.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace Poco {
namespace Util {
class OptionProcessor;
class OptionSet;
}  // namespace Util
}  // namespace Poco

namespace VantisClient {

class CmdlineOptions {
public:
    // An optional value is given in the same argument ("--play" or "--play=x"),
    // never taken from the next one.
    enum class EOptionKind { Flag, Value, OptionalValue };

    // An option a shell registers for itself beside the family's table: parsed
    // by the same rules, kept among the specified options (so it is forwarded
    // with the others) and read back with extraOption().
    struct ExtraOption {
        std::string name;
        EOptionKind kind;
    };

    // An argument the parser did not take, and why: "unknown option",
    // "given more than once", "needs a value", ...
    struct Rejection {
        std::string argument;
        std::string reason;
    };

    // `arguments` starts with the program path. An extra option is not registered
    // when its name is empty, holds "=" or ":", or is a table option's name in
    // any case.
    explicit CmdlineOptions(const std::vector<std::string>& arguments,
                            const std::vector<ExtraOption>& extraOptions = {});

    // Each records the option among the specified options unless it is there
    // already (then the earlier value is still what gets forwarded) and sets the
    // member.
    void setRunWithoutUpdating();
    void setFallback();
    void setWaitForPreviousInstance();
    void setClientPath(const std::string& value);
    void setInstallationPath(const std::string& value);
    void setUpdateChannel(const std::string& value);
    void setBundlePath(const std::string& value);
    void setGameId(const std::string& value);
    void setGamePath(const std::string& value);
    // Unlike the setters, replaces a game path given before (a relative one
    // made absolute), in the member and in what is forwarded.
    void replaceGamePath(const std::string& value);

    const std::optional<std::string>& gameId() const { return m_gameId; }
    const std::optional<std::string>& command() const { return m_command; }
    bool waitForPreviousInstance() const { return m_waitForPreviousInstance; }
    bool runWithoutUpdating() const { return m_runWithoutUpdating; }
    // The embedded browser's logging setting, "disable" unless given.
    const std::string& logging() const { return m_logging; }
    bool debugLaunch() const { return m_debugLaunch; }
    bool skipServiceRunningCheck() const { return m_skipServiceRunningCheck; }
    bool showDebugWindow() const { return m_showDebugWindow; }
    bool deelevated() const { return m_deelevated; }
    const std::string& installationPath() const { return m_installationPath; }
    const std::string& bundlePath() const { return m_bundlePath; }
    const std::string& clientPath() const { return m_clientPath; }
    const std::optional<std::string>& gamePath() const { return m_gamePath; }
    const std::string& updateChannel() const { return m_updateChannel; }
    bool fallback() const { return m_fallback; }
    bool forceUpdate() const { return m_forceUpdate; }

    // The first argument, empty when there was none.
    const std::string& programPath() const { return m_programPath; }
    // Every argument that did not complete an option, in order: the program
    // path, words, the "--" that ended the options and what followed it, and an
    // option name whose value came in the next argument.
    const std::vector<std::string>& otherArguments() const { return m_otherArguments; }
    // The words among the other arguments: without the program path, the "--"
    // that ended the options, or an option name that only opened a value.
    std::vector<std::string> positionalArguments() const { return m_positionalArguments; }
    // One sentence per rejected argument, each ending in "; ".
    const std::string& parseErrors() const { return m_parseErrors; }
    // Every rejected argument with its reason, in order; also a value option
    // that ended the arguments without its value (which parseErrors() passes over).
    const std::vector<Rejection>& rejections() const { return m_rejections; }
    // Full option name to value (empty for a flag), ascending by name: every
    // option parsed or set through a setter above.
    const std::map<std::string, std::string>& specifiedOptions() const { return m_specifiedOptions; }
    // The value an extra option was given, empty for a flag; nothing when it was
    // not given or was not registered as an extra option.
    std::optional<std::string> extraOption(const std::string& name) const;

    // "--name" ("/name" in the Windows style), then "=value" unless the value is empty.
    static std::string createArgument(const std::string& name, const std::string& value);
    // One argument per specified option, in the map's order. A value option
    // whose value is empty keeps its "=" so that, parsed again, it does not
    // take the next argument as its value.
    std::vector<std::string> createArgumentsList() const;
    // Each argument as ` "argument" `, concatenated. For showing the list only:
    // nothing inside an argument is escaped.
    std::string createArgumentsStringQuoted() const;
    static bool IsWindows();
    // The names of the family's options, in the order they are registered.
    static std::vector<std::string> TableOptionNames();

private:
    using Setter = void (CmdlineOptions::*)(const std::string& name, const std::string& value);
    struct TableOption {
        const char* name;
        EOptionKind kind;
        Setter setter;
    };

    static const std::vector<TableOption>& Table();

    void registerTableOptions(Poco::Util::OptionSet& options);
    void registerExtraOptions(Poco::Util::OptionSet& options, const std::vector<ExtraOption>& extraOptions);
    void registerOption(Poco::Util::OptionSet& options, const std::string& name, EOptionKind kind, Setter setter);
    // True when the argument only opened an option whose value is the next argument.
    bool parseArgument(Poco::Util::OptionProcessor& processor, const Poco::Util::OptionSet& options,
                       const std::string& argument, bool isProgramPath);
    void reject(const std::string& argument, const std::string& reason);
    void applyOption(const Poco::Util::OptionSet& options, const std::string& name, const std::string& value);
    std::string createForwardedArgument(const std::string& name, const std::string& value) const;
    // Records the option unless it is recorded already, then runs its setter.
    void specify(const std::string& name, const std::string& value, Setter setter);

    // What the parser runs for an option it read: stores the value or raises the flag.
    void setGameId(const std::string& name, const std::string& value);
    void setCommand(const std::string& name, const std::string& value);
    void setWaitForPreviousInstance(const std::string& name, const std::string& value);
    void setRunWithoutUpdating(const std::string& name, const std::string& value);
    void setLogging(const std::string& name, const std::string& value);
    void setDebugLaunch(const std::string& name, const std::string& value);
    void setSkipServiceRunningCheck(const std::string& name, const std::string& value);
    void setShowDebugWindow(const std::string& name, const std::string& value);
    void setDeelevated(const std::string& name, const std::string& value);
    void setInstallationPath(const std::string& name, const std::string& value);
    void setBundlePath(const std::string& name, const std::string& value);
    void setClientPath(const std::string& name, const std::string& value);
    void setGamePath(const std::string& name, const std::string& value);
    void setUpdateChannel(const std::string& name, const std::string& value);
    void setFallback(const std::string& name, const std::string& value);
    void setForceUpdate(const std::string& name, const std::string& value);

    std::optional<std::string> m_gameId;
    std::optional<std::string> m_command;
    bool m_waitForPreviousInstance = false;
    bool m_runWithoutUpdating = false;
    std::string m_logging = "disable";
    bool m_debugLaunch = false;
    bool m_skipServiceRunningCheck = false;
    bool m_showDebugWindow = false;
    bool m_deelevated = false;
    std::string m_installationPath;
    std::string m_bundlePath;
    std::string m_clientPath;
    std::optional<std::string> m_gamePath;
    std::string m_updateChannel;
    bool m_fallback = false;
    bool m_forceUpdate = false;

    std::string m_programPath;
    std::map<std::string, std::string> m_specifiedOptions;
    std::vector<std::string> m_otherArguments;
    std::vector<std::string> m_positionalArguments;
    std::string m_parseErrors;
    std::vector<Rejection> m_rejections;
    std::set<std::string> m_valueOptionNames;
    std::set<std::string> m_extraOptionNames;
};

}  // namespace VantisClient
