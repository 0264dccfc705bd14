// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <memory>

class BidderList;

namespace Ui {
class BlockedBidder;
}

// Shows the stored record of one row of the list and saves an edited date and reason, to the
// store and to that row. No connection is held while the dialog is open.
class BlockedBidder : public QDialog
{
    Q_OBJECT

public:
    BlockedBidder(BidderList &list, int row, QWidget *parent);
    ~BlockedBidder() override;

    // Fills the boxes from the store. False (after telling the user why) when there is no
    // record to show; the dialog must then not be shown.
    bool Form_Load();

private:
    void Command1_Click();

    const std::unique_ptr<Ui::BlockedBidder> m_ui;
    BidderList &m_list;
    const int m_row;
};
