#include "Support/XvfbDisplay.h"

#include "Support/Command.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace test {

namespace {

constexpr int StartTimeoutMilliseconds = 30000;

// Xvfb writes the display number it took to the descriptor, then a newline.
std::string readDisplayNumber(int fd)
{
    std::string number;
    while (number.empty() || number.back() != '\n') {
        pollfd ready { fd, POLLIN, 0 };
        if (poll(&ready, 1, StartTimeoutMilliseconds) <= 0)
            return {};
        char buffer[16];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0)
            return {};
        number.append(buffer, size_t(n));
    }
    number.pop_back();
    return number;
}

struct Program {
    std::unique_ptr<XvfbServer> server;
    bool tried = false;
};

Program program;

} // namespace

XvfbServer::XvfbServer(const std::string& screen)
{
    // A display number drawn at random far above the desktop's. Xvfb left to
    // find a free number itself tries them from 0 up, and one doing so while
    // another starts can take the socket file of a display that is already
    // served: the web views' sandboxed processes, which reach the display
    // only through that file, then cannot open it. A number taken by
    // another server makes Xvfb exit before it touches that server's
    // files, and another number is drawn.
    std::random_device entropy;
    std::uniform_int_distribution<int> numbers(100, 29999);
    for (int attempt = 0; attempt < 8 && m_display.empty(); ++attempt)
        launch(screen, numbers(entropy));
}

void XvfbServer::launch(const std::string& screen, int number)
{
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return;
    std::string displayName = ":" + std::to_string(number);
    std::string fdText = std::to_string(pipeFds[1]);
    std::vector<const char*> argv = { "Xvfb", displayName.c_str(), "-displayfd", fdText.c_str(), "-screen", "0",
        screen.c_str(), "-nolisten", "tcp", "-noreset", nullptr };
    pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // The server ends with the test program, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        close(pipeFds[0]);
        int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[0], const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(pipeFds[1]);
    // Xvfb writes the number once it listens, or exits when it cannot.
    std::string ready = m_pid > 0 ? readDisplayNumber(pipeFds[0]) : std::string();
    close(pipeFds[0]);
    if (ready == std::to_string(number))
        m_display = displayName;
    else
        kill();
}

XvfbServer::~XvfbServer()
{
    kill();
}

void XvfbServer::kill(int signal)
{
    if (m_pid > 0) {
        ::kill(m_pid, signal);
        while (waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) { }
    }
    m_pid = -1;
}

bool XvfbDisplay::start()
{
    if (program.tried)
        return program.server != nullptr;
    program.tried = true;
    auto server = std::make_unique<XvfbServer>("1920x1200x24");
    if (server->display().empty())
        return false;
    program.server = std::move(server);
    setenv("DISPLAY", program.server->display().c_str(), 1);
    setenv("GDK_BACKEND", "x11", 1);
    unsetenv("WAYLAND_DISPLAY");
    return true;
}

const std::string& XvfbDisplay::display()
{
    static const std::string none;
    return program.server ? program.server->display() : none;
}

bool XvfbDisplay::requestClose(const std::string& window, std::string* output)
{
    // The helper connects through the server's abstract socket first, as
    // libxcb does: Xvfbs started together can leave the socket file of a
    // display to one that has moved on, which refuses connections. It waits
    // for the server to answer a request sent after the close (see xdotool
    // below); should the answer be slow, a second client's short connection
    // stirs the server every 0.2 s.
    auto sent = runCommand({ "/usr/bin/python3", "-c",
        "import sys, threading\n"
        "from Xlib import display, X, protocol\n"
        "from Xlib.support import unix_connect\n"
        "connect = unix_connect._get_unix_socket\n"
        "def abstract_first(address):\n"
        "    try:\n"
        "        return connect('\\0' + address.lstrip('\\0'))\n"
        "    except OSError:\n"
        "        return connect(address)\n"
        "unix_connect._get_unix_socket = abstract_first\n"
        "d = display.Display()\n"
        "w = d.create_resource_object('window', int(sys.argv[1]))\n"
        "p = d.intern_atom('WM_PROTOCOLS')\n"
        "e = protocol.event.ClientMessage(window=w, client_type=p, data=(32, [d.intern_atom('WM_DELETE_WINDOW'), X.CurrentTime, 0, 0, 0]))\n"
        "w.send_event(e)\n"
        "done = threading.Event()\n"
        "def stir():\n"
        "    while not done.wait(0.2):\n"
        "        display.Display().close()\n"
        "threading.Thread(target=stir, daemon=True).start()\n"
        "d.sync()\n"
        "done.set()\n",
        window });
    if (output)
        *output = sent.output;
    return sent.status == 0;
}

bool XvfbDisplay::coverAndUncover(const std::string& window, double seconds)
{
    auto covered = runCommand({ "/usr/bin/python3", "-c",
        "import sys, time\n"
        "from Xlib import display, X\n"
        "d = display.Display()\n"
        "target = d.create_resource_object('window', int(sys.argv[1]))\n"
        "g = target.get_geometry()\n"
        "at = target.translate_coords(d.screen().root, 0, 0)\n"
        "w = d.screen().root.create_window(-at.x, -at.y, g.width, g.height, 0, d.screen().root_depth,\n"
        "    background_pixel=d.screen().white_pixel, override_redirect=True)\n"
        "w.map()\n"
        "d.sync()\n"
        "time.sleep(float(sys.argv[2]))\n"
        "w.destroy()\n"
        "d.sync()\n",
        window, std::to_string(seconds) });
    return covered.status == 0;
}

bool XvfbDisplay::dropURIs(const std::string& window, int x, int y, const std::vector<std::string>& uris,
    std::string* output)
{
    // Enter, position, the window's accepting status, drop; the window asks
    // the source for the list (a selection request) before it finishes.
    std::vector<std::string> arguments { "/usr/bin/python3", "-c",
        "import select, sys, time\n"
        "from Xlib import display, X, protocol\n"
        "d = display.Display()\n"
        "atom = d.intern_atom\n"
        "target = d.create_resource_object('window', int(sys.argv[1]))\n"
        "at = target.translate_coords(d.screen().root, 0, 0)\n"
        "x, y = int(sys.argv[2]) - at.x, int(sys.argv[3]) - at.y\n"
        "uris = ''.join(u + '\\r\\n' for u in sys.argv[4:]).encode()\n"
        "source = d.screen().root.create_window(0, 0, 1, 1, 0, X.CopyFromParent)\n"
        "uriList = atom('text/uri-list')\n"
        "source.set_selection_owner(atom('XdndSelection'), X.CurrentTime)\n"
        "def send(name, data):\n"
        "    target.send_event(protocol.event.ClientMessage(window=target, client_type=atom(name), data=(32, data)))\n"
        "    d.flush()\n"
        "def answer(e):\n"
        "    prop = e.property if e.target == uriList else X.NONE\n"
        "    if prop:\n"
        "        e.requestor.change_property(prop, uriList, 8, uris)\n"
        "    e.requestor.send_event(protocol.event.SelectionNotify(time=e.time, requestor=e.requestor,\n"
        "        selection=e.selection, target=e.target, property=prop))\n"
        "    d.flush()\n"
        "def wait(name):\n"
        "    end = time.monotonic() + 10\n"
        "    while select.select([d], [], [], max(0, end - time.monotonic()))[0] or d.pending_events():\n"
        "        while d.pending_events():\n"
        "            e = d.next_event()\n"
        "            if e.type == X.SelectionRequest:\n"
        "                answer(e)\n"
        "            elif e.type == X.ClientMessage and e.client_type == atom(name):\n"
        "                return e\n"
        "    sys.exit(name + ' never came')\n"
        "send('XdndEnter', [source.id, 5 << 24, uriList, 0, 0])\n"
        "send('XdndPosition', [source.id, 0, (x << 16) | y, X.CurrentTime, atom('XdndActionCopy')])\n"
        "if not wait('XdndStatus').data[1][1] & 1:\n"
        "    sys.exit('the window refused the drop')\n"
        "send('XdndDrop', [source.id, 0, X.CurrentTime, 0, 0])\n"
        "wait('XdndFinished')\n",
        window, std::to_string(x), std::to_string(y) };
    arguments.insert(arguments.end(), uris.begin(), uris.end());
    auto dropped = runCommand(arguments);
    if (output)
        *output = dropped.output;
    return dropped.status == 0;
}

CommandResult XvfbDisplay::xdotool(std::vector<std::string> arguments)
{
    // Xvfb can leave the last requests of a client that closes without
    // waiting for an answer unhandled until another client stirs it, so a
    // click could arrive seconds late, or never. Asking where the pointer is
    // on the same connection waits until the server has handled everything
    // before it. A `type` takes every later word as text: after it, a second
    // client's connection stirs the server instead.
    arguments.insert(arguments.begin(), "xdotool");
    bool typing = std::find(arguments.begin(), arguments.end(), "type") != arguments.end();
    if (!typing)
        arguments.push_back("getmouselocation");
    auto result = runCommand(arguments);
    if (typing)
        runCommand({ "xdotool", "getmouselocation" });
    return result;
}

CommandResult XvfbDisplay::importWindow(const std::string& which, const std::string& path)
{
    // import can wait for ever on a window whose program has just ended.
    return runCommand({ "timeout", "60", "import", "-window", which, path });
}

double XvfbDisplay::differingShare(const std::string& a, const std::string& b)
{
    // compare writes the count of differing pixels on standard error.
    auto compared = runCommand({ "sh", "-c", "compare -metric AE -fuzz 3.2% \"$0\" \"$1\" null: 2>&1", a, b });
    auto size = runCommand({ "identify", "-format", "%w %h", a });
    int width = 0, height = 0;
    std::sscanf(size.output.c_str(), "%d %d", &width, &height);
    if (width * height <= 0 || compared.output.empty())
        return 1;
    return std::atof(compared.output.c_str()) / (double(width) * height);
}

} // namespace test
