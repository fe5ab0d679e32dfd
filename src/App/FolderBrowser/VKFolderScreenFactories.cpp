#include "App/FolderBrowser/VKFolderScreenFactories.h"

#include <mutex>

namespace {

// A factory registered at launch and read from any thread.
template <class Factory>
class RegisteredScreenFactory {
public:
    void set(Factory factory)
    {
        std::lock_guard lock(m_mutex);
        m_factory = std::move(factory);
    }
    Factory get()
    {
        std::lock_guard lock(m_mutex);
        return m_factory;
    }

private:
    std::mutex m_mutex;
    Factory m_factory;
};

RegisteredScreenFactory<VKFolderScreenFactories::CloudFolderFactory>& cloudFolderScreens()
{
    static RegisteredScreenFactory<VKFolderScreenFactories::CloudFolderFactory> factory;
    return factory;
}

RegisteredScreenFactory<VKFolderScreenFactories::DownloadScreenFactory>& downloadScreens()
{
    static RegisteredScreenFactory<VKFolderScreenFactories::DownloadScreenFactory> factory;
    return factory;
}

} // namespace

void VKFolderScreenFactories::setCloudFolderFactory(CloudFolderFactory factory)
{
    cloudFolderScreens().set(std::move(factory));
}

VKFolderScreenFactories::CloudFolderFactory VKFolderScreenFactories::cloudFolderFactory()
{
    return cloudFolderScreens().get();
}

void VKFolderScreenFactories::setDownloadScreenFactory(DownloadScreenFactory factory)
{
    downloadScreens().set(std::move(factory));
}

VKFolderScreenFactories::DownloadScreenFactory VKFolderScreenFactories::downloadScreenFactory()
{
    return downloadScreens().get();
}
