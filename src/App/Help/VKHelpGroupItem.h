#pragma once

// One row of a help table: its title and what it opens, a page (the page's
// file) or a further table (its content type). A row with neither opens an
// empty table.

#include "Platform/Core/Object.h"

#include <memory>
#include <optional>
#include <string>

class VKFileResource;

class VKHelpGroupItem : public core::Object {
public:
    static std::shared_ptr<VKHelpGroupItem> groupItemWithTitle(std::string title);

    const std::string& title() const { return m_title; }
    void setTitle(std::string title) { m_title = std::move(title); }
    const std::shared_ptr<VKFileResource>& resource() const { return m_resource; }
    void setResource(std::shared_ptr<VKFileResource> resource) { m_resource = std::move(resource); }
    const std::optional<std::string>& contentType() const { return m_contentType; }
    void setContentType(std::optional<std::string> type) { m_contentType = std::move(type); }

    std::string description() const override;

private:
    std::string m_title;
    std::shared_ptr<VKFileResource> m_resource;
    std::optional<std::string> m_contentType;
};
