#pragma once

// The page of one cloud service: the linked user, the space used on the
// service (asked again each time the page shows), the space its local
// mirror takes (counted once per page on a thread of its own), a reset of
// the mirror and the unlink button, the last two after a question.

#include "Shell/Settings/VKTableSubviewController.h"
#include "Platform/Core/Observation.h"
#include "Platform/UI/ActionSheet.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class VKCloudService;
class VKCloudServiceAccount;
struct VKCloudAccountInfo;

class VKCloudAccountSettingsController : public VKTableSubviewController, public ui::ActionSheetDelegate {
public:
    // The spinner of a row whose value is still coming.
    static constexpr int SpinnerTag = 10001;
    // The questions' tags.
    static constexpr int ResetSheetTag = 1;
    static constexpr int UnlinkSheetTag = 2;

    static std::shared_ptr<VKCloudAccountSettingsController> initWithServiceKey(std::string serviceKey);
    explicit VKCloudAccountSettingsController(std::string serviceKey);

    const std::string& serviceKey() const { return m_serviceKey; }
    std::shared_ptr<VKCloudService> cloudService() const;
    std::shared_ptr<VKCloudServiceAccount> account() const;
    // −1 until counted.
    int64_t localStorageSize() const { return m_localStorageSize; }
    ui::TableViewCell* quotaInfoCell() const { return m_quotaInfoCell.get(); }
    ui::TableViewCell* localStorageCell() const { return m_localStorageCell.get(); }

    // "Linked" or "Not Linked".
    std::string statusText() override;
    void loadTableGroups() override;
    void viewWillAppear(bool animated) override;

    std::optional<std::string> titleForHeader(ui::TableView&, int section) override;
    void willDisplayCell(ui::TableView&, ui::TableViewCell& cell, ui::IndexPath path) override;
    void didSelectRow(ui::TableView& table, ui::IndexPath path) override;
    void clickedButton(ui::ActionSheet& sheet, int index) override;

    // The value "Space Used" shows for a quota: the share of the total and
    // the total, or the used bytes alone when the total is unknown.
    static std::string quotaText(int64_t used, int64_t total);

private:
    void observe();
    void countLocalStorage();
    void setLocalStorageSize(int64_t size);
    void accountDidLoadInfo(const VKCloudAccountInfo& info);
    // At the row that asked it (on a tablet the sheet points at it).
    void showQuestion(const std::string& title, const std::string& destructive, int tag, ui::View& row);

    std::string m_serviceKey;
    std::shared_ptr<ui::TableViewCell> m_userCell;
    std::shared_ptr<ui::TableViewCell> m_quotaInfoCell;
    std::shared_ptr<ui::TableViewCell> m_localStorageCell;
    std::shared_ptr<ui::TableViewCell> m_resetCell;
    std::shared_ptr<ui::TableViewCell> m_unlinkCell;
    int64_t m_localStorageSize = -1;
    // Which count an answer belongs to: a reset or an unlink makes the
    // answers still on their way stale.
    uint64_t m_countGeneration = 0;
    bool m_counting = false;
    std::vector<core::Observation> m_observations;
};
