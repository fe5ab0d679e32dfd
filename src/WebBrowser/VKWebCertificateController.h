#pragma once

#include "Platform/UI/TableViewController.h"
#include "Platform/Web/ServerCertificate.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// The sheet of a server certificate the system does not trust: a warning
// naming the host, then what it says of itself (to whom and by whom it was issued, its dates and fingerprint)
// and what is wrong with it, one titled group each, with Cancel and
// Continue in the bar. Continue trusts it for its host. Its texts are the
// server's: each shows as plain text, wrapped. The answer is told once.
class VKWebCertificateController : public ui::TableViewController {
public:
    // true: Continue; false: Cancel.
    using Answer = std::function<void(bool trust)>;

    static std::shared_ptr<VKWebCertificateController> create(web::ServerCertificate certificate, Answer answer);
    explicit VKWebCertificateController(web::ServerCertificate certificate, Answer answer);

    const web::ServerCertificate& certificate() const { return m_certificate; }
    // (group title, text) in the order shown; the warning's title is empty.
    const std::vector<std::pair<std::string, std::string>>& entries() const { return m_entries; }
    void answer(bool trust);

    void viewDidLoad() override;
    int numberOfSections(ui::TableView&) override { return int(m_entries.size()); }
    int numberOfRows(ui::TableView&, int) override { return 1; }
    std::shared_ptr<ui::TableViewCell> cellForRow(ui::TableView& table, ui::IndexPath path) override;
    std::optional<std::string> titleForHeader(ui::TableView&, int section) override;
    std::optional<float> heightForRow(ui::TableView& table, ui::IndexPath path) override;

private:
    web::ServerCertificate m_certificate;
    Answer m_answer;
    std::vector<std::pair<std::string, std::string>> m_entries;
};
