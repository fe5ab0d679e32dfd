#include "Shell/LaunchOptions.h"

#include "Platform/Core/URL.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
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

// The value of `--name VALUE` or `--name=VALUE` at arguments[i] (moving i
// past it); nothing, with the message, when it is missing or empty.
std::optional<std::string> optionValue(const std::vector<std::string>& arguments, size_t& i, std::string_view name,
    std::string_view what, std::string& error)
{
    const std::string& argument = arguments[i];
    std::string value;
    if (argument == name) {
        if (i + 1 < arguments.size())
            value = arguments[++i];
    } else {
        value = argument.substr(name.size() + 1);
    }
    if (value.empty()) {
        error = std::string(name) + " needs " + std::string(what);
        return std::nullopt;
    }
    return value;
}

bool isOption(const std::string& argument, std::string_view name)
{
    return argument == name || (argument.starts_with(name) && argument.size() > name.size() && argument[name.size()] == '=');
}

// The first line of the file, without "\n" or "\r\n". Messages name the file,
// never what it holds.
std::optional<std::string> readPassword(const std::string& path, std::string& error)
{
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot read password file " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    std::string text(LaunchOptions::MaxPasswordLength + 1, '\0');
    size_t length = 0;
    while (length < text.size()) {
        ssize_t count = read(fd, text.data() + length, text.size() - length);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            error = "cannot read password file " + path + ": " + std::strerror(errno);
            close(fd);
            return std::nullopt;
        }
        if (count == 0)
            break;
        bool lineEnds = std::memchr(text.data() + length, '\n', static_cast<size_t>(count)) != nullptr;
        length += static_cast<size_t>(count);
        if (lineEnds)
            break;
    }
    close(fd);
    text.resize(length);
    size_t end = text.find('\n');
    if (end == std::string::npos && length > LaunchOptions::MaxPasswordLength) {
        error = "password file " + path + " has a first line over 4096 bytes";
        return std::nullopt;
    }
    text.resize(std::min(end, text.size()));
    if (!text.empty() && text.back() == '\r')
        text.pop_back();
    if (text.empty()) {
        error = "password file " + path + " has an empty first line";
        return std::nullopt;
    }
    return text;
}

} // namespace

std::optional<LaunchOptions> LaunchOptions::parse(const std::vector<std::string>& arguments,
    const Environment& environment, std::string& error)
{
    LaunchOptions options;
    std::optional<std::string> home;
    std::optional<std::string> passwordFile;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.m_action = Action::Help;
        } else if (argument == "--version") {
            options.m_action = Action::Version;
        } else if (isOption(argument, "--home")) {
            home = optionValue(arguments, i, "--home", "a directory", error);
            if (!home)
                return std::nullopt;
        } else if (isOption(argument, "--password-file")) {
            passwordFile = optionValue(arguments, i, "--password-file", "a file", error);
            if (!passwordFile)
                return std::nullopt;
        } else if (argument == "--server-only") {
            options.m_mode = Mode::ServerOnly;
        } else if (argument == "--no-window") {
            options.m_mode = Mode::NoWindow;
        } else if (argument == "--reset-passcode") {
            options.m_resetPasscode = true;
        } else if (isOption(argument, "--open")) {
            options.m_openPath = optionValue(arguments, i, "--open", "a file", error);
            if (!options.m_openPath)
                return std::nullopt;
        } else if (isOption(argument, "--scale")) {
            auto scale = optionValue(arguments, i, "--scale", "1, 2 or 3", error);
            if (!scale)
                return std::nullopt;
            if (*scale != "1" && *scale != "2" && *scale != "3") {
                error = "--scale must be 1, 2 or 3, not " + *scale;
                return std::nullopt;
            }
            options.m_scale = (*scale)[0] - '0';
        } else if (!argument.empty() && argument[0] != '-' && !options.m_openPath) {
            // A file named alone, as a desktop's "Open with" gives it.
            options.m_openPath = argument;
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
    if (passwordFile) {
        options.m_password = readPassword(*passwordFile, error);
        if (!options.m_password)
            return std::nullopt;
    }

    if (options.m_openPath) {
        auto& path = *options.m_openPath;
        // A file manager may hand over a file: URI.
        if (path.starts_with("file:"))
            if (auto url = core::URL::parse(path); url && url->isFileURL())
                path = url->path();
        struct stat info;
        if (path.empty() || stat(path.c_str(), &info) != 0) {
            error = "cannot open " + path + ": " + std::strerror(path.empty() ? ENOENT : errno);
            return std::nullopt;
        }
        if (!S_ISREG(info.st_mode)) {
            error = "cannot open " + path + ": not a file";
            return std::nullopt;
        }
        if (access(path.c_str(), R_OK) != 0) {
            error = "cannot open " + path + ": " + std::strerror(errno);
            return std::nullopt;
        }
        if (path[0] != '/') {
            char cwd[PATH_MAX];
            if (getcwd(cwd, sizeof cwd))
                path = std::string(cwd) + "/" + path;
        }
    }

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
    return "usage: tandry [--home DIR] [--password-file FILE] [--server-only | --no-window]\n"
           "              [--open FILE | FILE] [--scale N] [--reset-passcode] [-Key value ...]\n"
           "\n"
           "  --home DIR            where Tandry keeps its files (default: $TANDRY_HOME,\n"
           "                        else $XDG_DATA_HOME/tandry, else ~/.local/share/tandry)\n"
           "  --password-file FILE  the remote-access password: the file's first line\n"
           "                        (the user name is the VKLoginUsername setting)\n"
           "  --server-only         run the WebDAV server alone (also without a display)\n"
           "  --no-window           run the whole application without a window\n"
           "  --open FILE           hand FILE (or its file: URI) over to the application (copied into\n"
           "                        its inbox), the one already running on the home if there is one\n"
           "  --scale N             the window's pixels per point, 1 to 3 (default: the desktop's)\n"
           "  --reset-passcode      turn the passcode lock off (when its passcode cannot be read)\n"
           "  -Key value            a setting for this run only, e.g. -VKPortNumber 0\n"
           "  --help                this text\n"
           "  --version             the version\n";
}
