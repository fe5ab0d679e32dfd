#include "Support/AvahiDaemon.h"

#include "Support/Command.h"
#include "Support/TestCase.h"

#include <cstdlib>
#include <unistd.h>

namespace test {

void AvahiDaemon::start()
{
    stop();
    // A killed daemon leaves its pid file behind.
    unlink("/run/avahi-daemon/pid");
    m_process = std::make_unique<ChildProcess>(std::vector<std::string> { "avahi-daemon", "-f",
        std::string(TANDRY_SOURCE_DIR) + "/tests/Support/avahi-daemon.conf", "--no-drop-root", "--no-chroot",
        "--no-rlimits", "--no-proc-title" });
}

void AvahiDaemon::stop()
{
    if (m_process)
        m_process->kill();
    m_process.reset();
}

std::string AvahiDaemon::browse(const std::string& type)
{
    return runCommand({ "avahi-browse", "-rtp", type }).output;
}

ScopedEnvironmentVariable::ScopedEnvironmentVariable(const char* name, const std::string& value)
    : m_name(name)
{
    if (const char* old = std::getenv(name))
        m_old = old;
    setenv(name, value.c_str(), 1);
}

ScopedEnvironmentVariable::~ScopedEnvironmentVariable()
{
    if (m_old)
        setenv(m_name, m_old->c_str(), 1);
    else
        unsetenv(m_name);
}

} // namespace test
