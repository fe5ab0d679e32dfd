#pragma once

// What a multi-edit table asks and tells its delegate beyond a table's
// usual questions. Every member is optional. It stands beside
// ui::TableViewDelegate rather than deriving from it, so that a table view
// controller (already a table delegate) can take it on: the table finds it
// by a cast of its delegate.

#include "Platform/UI/TableViewDelegate.h"

#include <optional>

class VKMultiEditTableView;

class VKMultiEditTableViewDelegate {
public:
    virtual ~VKMultiEditTableViewDelegate() = default;
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
