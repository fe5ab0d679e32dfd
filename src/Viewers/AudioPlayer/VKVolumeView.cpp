#include "Viewers/AudioPlayer/VKVolumeView.h"

#include "Platform/Media/SDLAudioSink.h"
#include "Platform/UI/Slider.h"

std::shared_ptr<VKVolumeView> VKVolumeView::create(const gfx::Rect& frame)
{
    auto view = View::make<VKVolumeView>(frame);
    view->m_slider = ui::Slider::create();
    view->m_slider->setValue(media::SDLAudioSink::masterGain());
    view->m_slider->addTarget(view, "volumeChanged", [](ui::Control& sender, const ui::Event*) {
        media::SDLAudioSink::setMasterGain(static_cast<ui::Slider&>(sender).value());
    }, ui::Control::ValueChanged);
    view->addSubview(view->m_slider);
    view->layoutSubviews();
    return view;
}

void VKVolumeView::layoutSubviews()
{
    gfx::Rect b = bounds();
    m_slider->setFrame({ b.x(), b.y() + (b.height() - 23) / 2, b.width(), 23 });
}
