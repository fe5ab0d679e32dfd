#include "WebBrowser/VKWebCertificateController.h"

#include "Platform/Core/Localized.h"
#include "Platform/UI/BarButtonItem.h"
#include "Platform/UI/Fonts.h"
#include "Platform/UI/Label.h"
#include "Platform/UI/NavigationItem.h"
#include "Platform/UI/TableViewCell.h"
#include "WebBrowser/VKWebDocumentTitle.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr float TextSize = 15;
// The room a grouped row's text leaves at each side, and above and below.
constexpr float SideRoom = 30;
constexpr float EndRoom = 22;

std::string certificateText(const char* key)
{
    return core::localized(key, "WebBrowser");
}

// Eight pairs of the fingerprint a line.
std::string fingerprintLines(const std::string& sha256)
{
    std::string lines;
    int pairs = 0;
    for (char c : sha256) {
        if (c == ':' && ++pairs % 8 == 0) {
            lines += '\n';
            continue;
        }
        lines += c;
    }
    return lines;
}

} // namespace

std::shared_ptr<VKWebCertificateController> VKWebCertificateController::create(web::ServerCertificate certificate,
    Answer answer)
{
    return std::make_shared<VKWebCertificateController>(std::move(certificate), std::move(answer));
}

VKWebCertificateController::VKWebCertificateController(web::ServerCertificate certificate, Answer answer)
    : ui::TableViewController(ui::TableView::Style::Grouped)
    , m_certificate(std::move(certificate))
    , m_answer(std::move(answer))
{
    auto unknown = [](const std::string& value) { return value.empty() ? certificateText("Unknown") : value; };
    std::string problems;
    for (const auto& problem : m_certificate.problems)
        problems += (problems.empty() ? "" : "\n") + certificateText(problem.c_str());
    // The host is the server's text: one line, as plain text.
    std::string warning = fmt::format(
        fmt::runtime(certificateText("The identity of {} cannot be verified. Continue only if you trust this site.")),
        VKWebOneLineTitle(m_certificate.host));
    m_entries = { { std::string(), warning }, { certificateText("Problems"), problems.empty() ? certificateText("Not trusted") : problems },
        { certificateText("Issued to"), unknown(m_certificate.subject) }, { certificateText("Issued by"), unknown(m_certificate.issuer) },
        { certificateText("Valid from"), unknown(m_certificate.validFrom) }, { certificateText("Valid until"), unknown(m_certificate.validUntil) },
        { certificateText("SHA-256 fingerprint"), unknown(fingerprintLines(m_certificate.sha256)) } };
}

void VKWebCertificateController::viewDidLoad()
{
    ui::TableViewController::viewDidLoad();
    setTitle(certificateText("Certificate"));
    auto cancel = ui::BarButtonItem::create(ui::BarButtonItem::SystemItem::Cancel);
    cancel->addTarget(shared_from_this(), "cancel", [this](ui::BarButtonItem&) {
        answer(false);
    });
    auto goOn = ui::BarButtonItem::create(certificateText("Continue"), ui::BarButtonItem::Style::Done);
    goOn->addTarget(shared_from_this(), "continue", [this](ui::BarButtonItem&) {
        answer(true);
    });
    navigationItem().setLeftBarButtonItem(cancel);
    navigationItem().setRightBarButtonItem(goOn);
}

void VKWebCertificateController::answer(bool trust)
{
    auto answer = std::exchange(m_answer, nullptr);
    if (!answer)
        return;
    auto keep = shared_from_this();
    ui::ViewController* shown = navigationController() ? static_cast<ui::ViewController*>(navigationController()) : this;
    if (shown->presentingViewController())
        shown->dismissModalViewController(true);
    answer(trust);
}

std::shared_ptr<ui::TableViewCell> VKWebCertificateController::cellForRow(ui::TableView& table, ui::IndexPath path)
{
    auto cell = table.dequeueReusableCell("entry");
    if (!cell) {
        cell = ui::TableViewCell::create(ui::TableViewCell::Style::Default, "entry");
        cell->setSelectionStyle(ui::TableViewCell::SelectionStyle::None);
        auto& label = cell->textLabel();
        label.setFont(ui::Fonts::systemFont(TextSize));
        label.setNumberOfLines(0);
        label.setLineBreakMode(gfx::LineBreakMode::WordWrap);
    }
    cell->textLabel().setText(m_entries[size_t(path.section)].second);
    return cell;
}

std::optional<std::string> VKWebCertificateController::titleForHeader(ui::TableView&, int section)
{
    const auto& title = m_entries[size_t(section)].first;
    return title.empty() ? std::nullopt : std::optional<std::string>(title);
}

std::optional<float> VKWebCertificateController::heightForRow(ui::TableView& table, ui::IndexPath path)
{
    float width = std::max(40.0f, table.bounds().width() - 2 * SideRoom);
    // Line by line: the measure wraps words but reads no line breaks.
    float height = 0;
    std::string_view rest = m_entries[size_t(path.section)].second;
    while (true) {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        height += ui::Fonts::sizeOfString(line.empty() ? std::string_view(" ") : line, ui::Fonts::systemFont(TextSize), width,
            gfx::LineBreakMode::WordWrap)
                      .height;
        if (end == std::string_view::npos)
            break;
        rest.remove_prefix(end + 1);
    }
    return std::max(44.0f, std::ceil(height) + EndRoom);
}
