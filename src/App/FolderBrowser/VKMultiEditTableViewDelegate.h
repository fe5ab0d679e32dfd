#pragma once

// What a multi-edit table asks and tells its delegate beyond a table's
// usual questions. Every member is optional.

#include "Platform/UI/TableViewDelegate.h"

#include <optional>

class VKMultiEditTableView;

class VKMultiEditTableViewDelegate : public ui::TableViewDelegate {
public:
    // Whether a swipe over a row may show its delete button; nothing: not
    // answered (swipes are taken).
    virtual std::optional<bool> tableViewCanHandleSwipes(VKMultiEditTableView& table)
    {
        (void)table;
        return std::nullopt;
    }
    // A row's check box was ticked or cleared while marking.
    virtual void didMarkCell(ui::TableView& table, ui::IndexPath path) { (void)table, (void)path; }
    virtual void didUnmarkCell(ui::TableView& table, ui::IndexPath path) { (void)table, (void)path; }
    // A row was held long.
    virtual void longTouchGestureForCell(ui::TableView& table, ui::TableViewCell& cell) { (void)table, (void)cell; }
};
