#pragma once

#include "App/FolderBrowser/VKFolderCommandsHost.h"
#include "App/FolderBrowser/VKImagePicker.h"
#include "Platform/Core/Object.h"

#include <memory>
#include <string>
#include <vector>

class VKFileOperationDelegate;
class VKFileResource;
class VKImportMediaOperation;

// Photos and movies in and out of the listed folder, each as the browser's
// one long operation: the picker presented over the navigation controller,
// whose picks of one visit all feed one import (a small delegate holds back
// the import's end while the picker shows), and the marked images and
// movies saved to the photo album, whose late answers only ever touch the
// run they were started for. The screen is the host, held weakly.
class VKFolderMedia : public core::Object, public VKImagePickerDelegate {
public:
    void setHost(std::weak_ptr<VKFolderCommandsHost> host) { m_host = std::move(host); }

    void importMedia();
    void imagePicker(VKImagePicker& picker, const core::Value& info) override;
    void imagePickerDidEnd(VKImagePicker& picker) override;
    void imagePickerDidDisappear(VKImagePicker& picker) override;
    bool isImagePickerShown() const { return m_imagePicker != nullptr; }
    const std::shared_ptr<VKImagePicker>& imagePickerInUse() const { return m_imagePicker; }
    // An item imported while the picker shows: scrolled to when visible.
    void importMediaOperation(VKImportMediaOperation& operation, const std::string& path);
    // The images and movies among the items to the photo album.
    void saveToPhotosAlbum(const std::vector<std::shared_ptr<VKFileResource>>& items);

private:
    std::shared_ptr<VKFolderMedia> self();

    std::weak_ptr<VKFolderCommandsHost> m_host;
    std::shared_ptr<VKImagePicker> m_imagePicker;
    std::shared_ptr<VKFileOperationDelegate> m_importMediaDelegate;
};
