// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "core/BidderList.h"
#include "ui/AppContext.h"

#include <QDialog>
#include <memory>

class CheckNaru;
class QTimer;
class SiteConnection;

namespace Ui {
class NARU;
}

// The NARU sweep: checks every user id of the list on the site, in list order, and records each
// answer in the list and the store as it comes. It starts once the window is on screen, reports
// once when done, and closes itself. The window stays alive meanwhile: Escape or its close button
// stops the sweep, and the rows not yet answered keep their values.
class NARU : public QDialog
{
    Q_OBJECT

public:
    NARU(BidderList &list, AppContext context, QWidget *parent);
    ~NARU() override;

    void reject() override;

private:
    void Timer1_Timer();
    void finish(const Status &result);

    const std::unique_ptr<Ui::NARU> m_ui;
    BidderList &m_list;
    const AppContext m_context;
    QTimer *m_timer;
    const std::unique_ptr<SiteConnection> m_connection;
    const std::unique_ptr<CheckNaru> m_sweep; // goes before the connection it uses
};
