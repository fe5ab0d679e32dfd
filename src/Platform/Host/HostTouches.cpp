#include "Platform/Host/HostTouches.h"

#include "Platform/Core/Clock.h"
#include "Platform/Core/RunLoop.h"
#include "Platform/UI/Application.h"
#include "Platform/UI/Event.h"
#include "Platform/UI/Touch.h"

namespace ui {

namespace {

double now()
{
    return core::RunLoop::main().clock()->monotonic();
}

void send(std::vector<std::shared_ptr<Touch>> touches)
{
    auto* application = Application::shared();
    if (touches.empty() || !application)
        return;
    application->sendEvent(Event::touches(std::move(touches)));
}

} // namespace

void HostTouches::down(const std::vector<std::pair<Id, gfx::Point>>& fingers)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (auto& [id, point] : fingers) {
        if (m_fingers.count(id))
            continue;
        auto touch = Touch::create(point, now());
        m_fingers[id] = touch;
        touches.push_back(touch);
    }
    send(std::move(touches));
}

void HostTouches::move(const std::vector<std::pair<Id, gfx::Point>>& fingers)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (auto& [id, point] : fingers) {
        auto it = m_fingers.find(id);
        if (it == m_fingers.end() || it->second->locationOnScreen() == point)
            continue;
        it->second->update(Touch::Phase::Moved, point, now());
        touches.push_back(it->second);
    }
    send(std::move(touches));
}

void HostTouches::up(const std::vector<Id>& ids)
{
    end(ids, false);
}

void HostTouches::cancel(const std::vector<Id>& ids)
{
    end(ids, true);
}

void HostTouches::cancelAll()
{
    std::vector<Id> ids;
    for (auto& [id, touch] : m_fingers)
        ids.push_back(id);
    end(ids, true);
}

void HostTouches::end(const std::vector<Id>& ids, bool cancelled)
{
    std::vector<std::shared_ptr<Touch>> touches;
    for (Id id : ids) {
        auto it = m_fingers.find(id);
        if (it == m_fingers.end())
            continue;
        it->second->update(cancelled ? Touch::Phase::Cancelled : Touch::Phase::Ended, it->second->locationOnScreen(),
            now());
        touches.push_back(it->second);
        m_fingers.erase(it);
    }
    send(std::move(touches));
}

} // namespace ui
