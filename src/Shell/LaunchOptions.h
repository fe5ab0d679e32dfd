#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

// What the command line and the environment say about one run of tandry:
// where its home lives, and the settings given for this run only.
//
// The home is `--home DIR`, else $TANDRY_HOME, else $XDG_DATA_HOME/tandry,
// else ~/.local/share/tandry. Pairs of the form `-Key value` are kept, in
// order, for the settings' argument domain. `--password-file F` gives the
// remote-access password as the first line of F, so that it never shows in
// the process list; it is never written anywhere.
class LaunchOptions {
public:
    enum class Action { Run, Help, Version };
    // How much of the application runs: the server alone, or everything
    // (the window where a display can show one).
    enum class Mode { Automatic, ServerOnly, NoWindow };

    using Environment = std::map<std::string, std::string>;

    // Parses argv (argv[0] is the program name). On bad arguments returns
    // nothing and sets `error` to a one-line message.
    static std::optional<LaunchOptions> parse(const std::vector<std::string>& arguments,
        const Environment& environment, std::string& error);

    // The process environment as a map, for parse().
    static Environment processEnvironment();

    // Makes the home directory (with its parents) and checks that it is a
    // writable directory. Returns false with a one-line message otherwise.
    static bool prepareHome(const std::string& home, std::string& error);

    static std::string usage();

    Action action() const { return m_action; }
    const std::string& home() const { return m_home; }
    // The `-Key value` pairs, flattened in command-line order.
    const std::vector<std::string>& settingsArguments() const { return m_settingsArguments; }
    // The first line of the password file, without its line end.
    const std::optional<std::string>& password() const { return m_password; }

    Mode mode() const { return m_mode; }
    // `--open FILE`: an existing, readable file (absolute) handed over as
    // another application would.
    const std::optional<std::string>& openPath() const { return m_openPath; }
    // `--scale N`: the desktop window's pixels per point (1–3), when given.
    std::optional<int> scale() const { return m_scale; }
    // `--reset-passcode`: the passcode lock is turned off before the run
    // starts (the way back in when its passcode can no longer be read).
    bool resetPasscode() const { return m_resetPasscode; }

    // A password file's first line is read up to this many bytes.
    static constexpr size_t MaxPasswordLength = 4096;

private:
    Action m_action = Action::Run;
    std::string m_home;
    std::vector<std::string> m_settingsArguments;
    std::optional<std::string> m_password;
    Mode m_mode = Mode::Automatic;
    std::optional<std::string> m_openPath;
    std::optional<int> m_scale;
    bool m_resetPasscode = false;
};
