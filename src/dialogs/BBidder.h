// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "ui/AppContext.h"

#include <QDialog>
#include <memory>

class BidderList;
class NaruChecks;
class SessionReader;
class SiteClient;

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
    void checked(bool naru);
    void setChecking(bool checking);

    const std::unique_ptr<Ui::BBidder> m_ui;
    BidderList &m_list;
    const AppContext m_context;
    std::unique_ptr<SessionReader> m_connecting;
    std::unique_ptr<SiteClient> m_site;
    std::unique_ptr<NaruChecks> m_check; // goes before the client it uses
};
