#include "Support/Movie/FakeMovieEngine.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/Core/Timer.h"
#include "Platform/Graphics/Image.h"

#include <algorithm>
#include <vector>

namespace test {

namespace {

FakeMovieEngine* g_last = nullptr;
int g_live = 0;

std::shared_ptr<gfx::Image> flatFrame(uint32_t rgb)
{
    constexpr int width = 320, height = 240;
    std::vector<uint32_t> pixels(size_t(width) * height, rgb);
    return gfx::Image::imageWithOpaquePixels(width, height, width * 4, reinterpret_cast<const uint8_t*>(pixels.data()));
}

} // namespace

void FakeMovieEngine::install()
{
    install(Script());
}

void FakeMovieEngine::install(Script newScript)
{
    script() = newScript;
    media::MovieEngine::setFactory([] { return std::make_unique<FakeMovieEngine>(); });
}

void FakeMovieEngine::uninstall()
{
    media::MovieEngine::setFactory({});
    script() = {};
}

FakeMovieEngine::Script& FakeMovieEngine::script()
{
    static Script script;
    return script;
}

FakeMovieEngine* FakeMovieEngine::last()
{
    return g_last;
}

int FakeMovieEngine::liveCount()
{
    return g_live;
}

FakeMovieEngine::FakeMovieEngine()
    : m_script(script())
    , m_alive(std::make_shared<bool>(true))
{
    g_last = this;
    ++g_live;
}

FakeMovieEngine::~FakeMovieEngine()
{
    *m_alive = false;
    if (m_frameTimer)
        m_frameTimer->invalidate();
    if (g_last == this)
        g_last = nullptr;
    --g_live;
}

double FakeMovieEngine::now() const
{
    return core::RunLoop::main().clock()->monotonic();
}

void FakeMovieEngine::open(const std::string& path, media::MovieEngineClient* client)
{
    m_path = path;
    m_client = client;
    if (!m_script.prerollsByItself)
        return;
    core::RunLoop::main().performAfter(0, [alive = std::weak_ptr<bool>(m_alive), this] {
        auto flag = alive.lock();
        if (!flag || !*flag)
            return;
        if (m_script.broken)
            fail("not a movie");
        else
            preroll();
    });
}

void FakeMovieEngine::preroll()
{
    if (m_prerolled)
        return;
    m_prerolled = true;
    if (m_script.mediaTypes & media::MovieMediaTypeVideo)
        present();
    if (m_client)
        m_client->movieEngineDidPreroll(m_script.duration, m_script.mediaTypes);
}

void FakeMovieEngine::fail(const std::string& message)
{
    pause();
    if (m_client)
        m_client->movieEngineDidFail(message);
}

void FakeMovieEngine::reachEnd()
{
    m_position = m_script.duration;
    m_ended = true;
    pause();
    if (m_client)
        m_client->movieEngineDidReachEnd();
}

void FakeMovieEngine::play()
{
    if (m_playing || !m_prerolled)
        return;
    m_playing = true;
    m_ended = false;
    m_playStart = now() - m_position;
    if (!(m_script.mediaTypes & media::MovieMediaTypeVideo) && m_script.duration <= 0)
        return;
    m_frameTimer = core::RunLoop::main().schedule(FrameInterval, true, [alive = std::weak_ptr<bool>(m_alive), this](core::Timer&) {
        if (auto flag = alive.lock(); flag && *flag)
            tick();
    });
}

void FakeMovieEngine::pause()
{
    if (m_playing)
        m_position = position();
    m_playing = false;
    if (m_frameTimer)
        m_frameTimer->invalidate();
    m_frameTimer = nullptr;
}

void FakeMovieEngine::stop()
{
    pause();
    m_position = 0;
}

void FakeMovieEngine::seek(double seconds)
{
    m_position = std::max(0.0, m_script.duration > 0 ? std::min(seconds, m_script.duration) : seconds);
    if (m_playing)
        m_playStart = now() - m_position;
    if (m_prerolled && (m_script.mediaTypes & media::MovieMediaTypeVideo))
        present();
}

double FakeMovieEngine::position() const
{
    if (!m_prerolled)
        return -1;
    double position = m_playing ? now() - m_playStart : m_position;
    return m_script.duration > 0 ? std::min(position, m_script.duration) : position;
}

void FakeMovieEngine::tick()
{
    if (m_script.duration > 0 && now() - m_playStart >= m_script.duration) {
        reachEnd();
        return;
    }
    if (m_script.mediaTypes & media::MovieMediaTypeVideo)
        present();
}

void FakeMovieEngine::present()
{
    static const auto red = flatFrame(0x00D02020);
    static const auto blue = flatFrame(0x002030D0);
    ++m_presented;
    if (m_client)
        m_client->movieEngineDidPresentFrame(position() < m_script.duration / 2 ? red : blue);
}

} // namespace test
