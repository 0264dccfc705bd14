// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/Result.h"
#include "ui/AppContext.h"

#include <QDialog>
#include <memory>

class BidderList;
class BlockBidder;
class SiteConnection;

namespace Ui {
class BBidder;
}

// Adds one bidder: the typed user id is checked for NARU on the site, then stored with the date
// and the typed reason and shown at the end of the list. Nothing typed is refused or changed.
// The check does not freeze the dialog: Cancel or Escape abandons it, and nothing is added.
class BBidder : public QDialog
{
    Q_OBJECT

public:
    BBidder(BidderList &list, AppContext context, QWidget *parent);
    ~BBidder() override;

    void reject() override;

private:
    void Save_Click();
    void saved(const Status &result);
    void setChecking(bool checking);

    const std::unique_ptr<Ui::BBidder> m_ui;
    BidderList &m_list;
    const AppContext m_context;
    const std::unique_ptr<SiteConnection> m_connection;
    const std::unique_ptr<BlockBidder> m_block; // goes before the connection it uses
};
