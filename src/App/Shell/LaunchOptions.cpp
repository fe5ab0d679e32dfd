#include "App/Shell/LaunchOptions.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string environmentValue(const LaunchOptions::Environment& environment, const char* name)
{
    auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
}

std::string defaultHome(const LaunchOptions::Environment& environment, std::string& error)
{
    if (auto home = environmentValue(environment, "TANDRY_HOME"); !home.empty())
        return home;
    if (auto data = environmentValue(environment, "XDG_DATA_HOME"); !data.empty() && data[0] == '/')
        return data + "/tandry";
    if (auto user = environmentValue(environment, "HOME"); !user.empty())
        return user + "/.local/share/tandry";
    error = "no home directory: give --home DIR or set TANDRY_HOME";
    return {};
}

// Settings keys are single-dash words starting with a letter ("-VKPortNumber").
bool isSettingsKey(const std::string& argument)
{
    return argument.size() > 1 && argument[0] == '-' && argument[1] != '-'
        && (std::isalpha(static_cast<unsigned char>(argument[1])) || argument[1] == '_');
}

} // namespace

std::optional<LaunchOptions> LaunchOptions::parse(const std::vector<std::string>& arguments,
    const Environment& environment, std::string& error)
{
    LaunchOptions options;
    std::optional<std::string> home;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.m_action = Action::Help;
        } else if (argument == "--version") {
            options.m_action = Action::Version;
        } else if (argument == "--home" || argument.starts_with("--home=")) {
            std::string value;
            if (argument == "--home") {
                if (i + 1 >= arguments.size()) {
                    error = "--home needs a directory";
                    return std::nullopt;
                }
                value = arguments[++i];
            } else {
                value = argument.substr(7);
            }
            if (value.empty()) {
                error = "--home needs a directory";
                return std::nullopt;
            }
            home = value;
        } else if (isSettingsKey(argument)) {
            if (i + 1 >= arguments.size()) {
                error = "setting " + argument + " needs a value";
                return std::nullopt;
            }
            options.m_settingsArguments.push_back(argument);
            options.m_settingsArguments.push_back(arguments[++i]);
        } else {
            error = "unknown option " + argument + " (try --help)";
            return std::nullopt;
        }
    }
    if (options.m_action != Action::Run)
        return options;

    options.m_home = home ? *home : defaultHome(environment, error);
    if (options.m_home.empty())
        return std::nullopt;
    if (options.m_home.find('\0') != std::string::npos) {
        error = "home path contains a NUL byte";
        return std::nullopt;
    }
    // Keep the home absolute so that later changes of the working directory
    // cannot move it.
    if (options.m_home[0] != '/') {
        char cwd[PATH_MAX];
        if (!getcwd(cwd, sizeof cwd)) {
            error = std::string("cannot resolve home: ") + std::strerror(errno);
            return std::nullopt;
        }
        options.m_home = std::string(cwd) + "/" + options.m_home;
    }
    while (options.m_home.size() > 1 && options.m_home.back() == '/')
        options.m_home.pop_back();
    return options;
}

LaunchOptions::Environment LaunchOptions::processEnvironment()
{
    Environment environment;
    for (char** entry = environ; entry && *entry; ++entry) {
        std::string text(*entry);
        auto equals = text.find('=');
        if (equals != std::string::npos)
            environment.emplace(text.substr(0, equals), text.substr(equals + 1));
    }
    return environment;
}

bool LaunchOptions::prepareHome(const std::string& home, std::string& error)
{
    // Create each missing component in turn so that a file in the way is
    // named precisely.
    for (size_t slash = home.find('/', 1);; slash = home.find('/', slash + 1)) {
        std::string prefix = slash == std::string::npos ? home : home.substr(0, slash);
        struct stat info;
        if (stat(prefix.c_str(), &info) == 0) {
            if (!S_ISDIR(info.st_mode)) {
                error = "home " + home + " is unusable: " + prefix + " is not a directory";
                return false;
            }
        } else if (errno != ENOENT || (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST)) {
            error = "cannot create home " + home + ": " + std::strerror(errno);
            return false;
        }
        if (slash == std::string::npos)
            break;
    }
    if (access(home.c_str(), W_OK | X_OK) != 0) {
        error = "home " + home + " is not writable";
        return false;
    }
    return true;
}

std::string LaunchOptions::usage()
{
    return "usage: tandry [--home DIR] [-Key value ...]\n"
           "\n"
           "  --home DIR   where Tandry keeps its files (default: $TANDRY_HOME,\n"
           "               else $XDG_DATA_HOME/tandry, else ~/.local/share/tandry)\n"
           "  -Key value   a setting for this run only, e.g. -VKPortNumber 0\n"
           "  --help       this text\n"
           "  --version    the version\n";
}
