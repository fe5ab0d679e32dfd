#include "App/Settings/VKTextEncodingsController.h"

#include "Shell/Settings/VKEditableListItemEditingController.h"
#include "Platform/Core/Bundle.h"
#include "Platform/Core/Localized.h"
#include "Platform/Core/PropertyList.h"
#include "Platform/Core/TextConverter.h"
#include "Platform/Core/UserDefaults.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableView.h"

#include <algorithm>
#include <fmt/format.h>

namespace {

std::vector<std::string> stringsOf(const core::Value& array)
{
    std::vector<std::string> names;
    if (!array.isArray())
        return names;
    for (const core::Value& item : array.array())
        if (item.isString())
            names.push_back(item.toString());
    return names;
}

} // namespace

std::vector<std::string> VKTextEncodingsController::defaultTextEncodings()
{
    core::Value user = core::UserDefaults::standard()->arrayForKey(TextEncodingsKey);
    if (user.isArray())
        return stringsOf(user);
    // The order suits the user's language: a Western list tries Windows-1252
    // before the East Asian multi-byte encodings, which take most Latin-1
    // text; a Japanese or Chinese one tries them first.
    auto bundle = core::Bundle::main();
    std::string path = bundle->pathForResource("VKDefaultTextEncodings", "plist", "strings/" + core::currentLanguage());
    if (path.empty())
        path = bundle->pathForResource("VKDefaultTextEncodings", "plist");
    return path.empty() ? std::vector<std::string>() : stringsOf(core::PropertyList::readFile(path));
}

std::shared_ptr<VKTextEncodingsController> VKTextEncodingsController::textEncodingsController()
{
    auto controller = std::make_shared<VKTextEncodingsController>();
    controller->setPrompt(core::localized("Add new text encoding", "Settings"));
    controller->itemEditingController()->setValidator(refusalForEncodingName);
    auto list = defaultTextEncodings();
    controller->setData(std::make_shared<Data>(list));
    auto defaults = core::UserDefaults::standard();
    if (defaults->object(DefaultTextEncodingKey).isString())
        controller->m_defaultTextEncoding = defaults->stringForKey(DefaultTextEncodingKey);
    else if (!list.empty())
        controller->m_defaultTextEncoding = list.front();
    return controller;
}

std::shared_ptr<VKTextEncodingsController> VKTextEncodingsController::defaultTextEncodingsController()
{
    return textEncodingsController();
}

std::shared_ptr<VKTextEncodingsController> VKTextEncodingsController::currentTextEncodingsControllerForViewController(
    const std::shared_ptr<ui::ViewController>& viewer, const std::string& encoding)
{
    auto controller = textEncodingsController();
    controller->m_viewer = viewer;
    controller->m_changesCurrent = true;
    controller->m_defaultTextEncoding = encoding;
    // A detected encoding the user's list lacks (UTF-16) is offered too:
    // this list is never saved.
    auto list = *controller->data();
    if (!encoding.empty() && std::find(list.begin(), list.end(), encoding) == list.end()) {
        list.insert(list.begin() + (list.empty() ? 0 : 1), encoding);
        controller->setData(std::make_shared<Data>(std::move(list)));
    }
    return controller;
}

std::optional<std::string> VKTextEncodingsController::refusalForEncodingName(const std::string& name)
{
    if (name.empty())
        return std::string();
    if (core::TextConverter::toUTF8(name).isOpen())
        return std::nullopt;
    return fmt::format(fmt::runtime(core::localized("\"{}\" is not an encoding this system knows. Use a character set "
                                                    "name such as UTF-8, ISO-8859-1, Windows-1252 or Shift_JIS.",
                           "Settings")),
        name);
}

bool VKTextEncodingsController::showsCancelButton()
{
    return navigationItem().rightBarButtonItem() != nullptr;
}

void VKTextEncodingsController::setShowsCancelButton(bool shows)
{
    if (!shows) {
        navigationItem().setRightBarButtonItem(nullptr);
        return;
    }
    auto item = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    item->addTarget(shared_from_this(), "cancel", [this](ui::BarButtonItem&) {
        cancel();
    });
    navigationItem().setRightBarButtonItem(item);
}

void VKTextEncodingsController::endWith(const std::function<void(VKTextEncodingsControllerDelegate&)>& report)
{
    auto viewer = m_viewer.lock();
    // Held until the report is out: dismissing drops the last owner.
    auto self = sharedAs<VKTextEncodingsController>();
    if (viewer)
        viewer->dismissModalViewController(true);
    else
        dismissModalViewController(true);
    if (auto* delegate = dynamic_cast<VKTextEncodingsControllerDelegate*>(viewer.get()))
        report(*delegate);
}

void VKTextEncodingsController::cancel()
{
    endWith([this](VKTextEncodingsControllerDelegate& delegate) { delegate.textEncodingsControllerCancelled(*this); });
}

bool VKTextEncodingsController::isCellCheckedAtIndexPath(ui::IndexPath path) const
{
    const Data& list = *data();
    return path.row >= 0 && size_t(path.row) < list.size() && !isEditing() && list[size_t(path.row)] == m_defaultTextEncoding;
}

// The base shifts the row below the add prompt itself, so this answers the
// item's own position.
std::optional<ui::IndexPath> VKTextEncodingsController::indexPathOfCheckedCell() const
{
    const Data& list = *data();
    auto found = std::find(list.begin(), list.end(), m_defaultTextEncoding);
    if (found == list.end())
        return std::nullopt;
    return ui::IndexPath { 0, int(found - list.begin()) };
}

void VKTextEncodingsController::didSelectRow(ui::TableView& table, ui::IndexPath path)
{
    if (isEditing()) {
        VKEditableListController::didSelectRow(table, path);
        return;
    }
    const Data& list = *data();
    if (path.row < 0 || size_t(path.row) >= list.size())
        return;
    m_defaultTextEncoding = list[size_t(path.row)];
    table.deselectRow(path, true);
    table.reloadData();
    if (!m_changesCurrent)
        return;
    std::string chosen = m_defaultTextEncoding;
    endWith([this, chosen](VKTextEncodingsControllerDelegate& delegate) {
        delegate.textEncodingsControllerDidEnd(*this, chosen);
    });
}

void VKTextEncodingsController::viewDidLoad()
{
    setTitle(core::localized("Text Encoding", "Settings"));
    if (m_changesCurrent) {
        navigationItem().setTitle(core::localized("Change Text Encoding", "Settings"));
        return;
    }
    VKEditableListController::viewDidLoad();
}

void VKTextEncodingsController::viewWillDisappear(bool animated)
{
    VKEditableListController::viewWillDisappear(animated);
    if (m_changesCurrent)
        return;
    auto defaults = core::UserDefaults::standard();
    if (*data() != defaultTextEncodings()) {
        core::Value::Array array;
        for (const std::string& name : *data())
            array.emplace_back(name);
        defaults->set(TextEncodingsKey, core::Value(std::move(array)));
    }
    defaults->set(DefaultTextEncodingKey, core::Value(m_defaultTextEncoding));
}
