// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "dialogs/BBidder.h"

#include "jobs/BlockBidder.h"
#include "jobs/SiteConnection.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui_BBidder.h"

BBidder::BBidder(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::BBidder>()), m_list(list), m_context(std::move(context)),
      m_connection(ConnectionFor(m_context)), m_block(std::make_unique<BlockBidder>(*m_connection, m_list))
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Save, m_ui->Cancel});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // "Save"
    connect(m_ui->Save, &QPushButton::clicked, this, &BBidder::Save_Click);
    // "Cancel"
    connect(m_ui->Cancel, &QPushButton::clicked, this, &BBidder::reject);
    connect(m_block.get(), &BlockBidder::finished, this, &BBidder::saved);
}

BBidder::~BBidder() = default;

void BBidder::Save_Click()
{
    if (m_block->isRunning())
        return;
    setChecking(true);
    m_block->start(m_ui->UserName->text(), m_ui->Reason->text());
}

void BBidder::saved(const Status &result)
{
    setChecking(false);
    if (!result) {
        // Nothing is stored or listed, and what was typed stays, to try again or cancel.
        MessageBox::fail(this, result.error());
        return;
    }
    accept();
}

void BBidder::setChecking(bool checking)
{
    m_ui->Save->setEnabled(!checking);
    m_ui->UserName->setReadOnly(checking);
    m_ui->Reason->setReadOnly(checking);
    if (checking)
        setCursor(Qt::WaitCursor);
    else
        unsetCursor();
}

void BBidder::reject()
{
    // Cancel, Escape or the close button while the check runs: it is abandoned, nothing is added.
    m_block->stop();
    QDialog::reject();
}
