// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "dialogs/BlockedBidder.h"

#include "core/BidderList.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui_BlockedBidder.h"

namespace {

QString noRecordMessage(const QString &userName)
{
    return QStringLiteral("Bidwarden has no stored record for \"%1\". The list may be out of date: click a "
                          "column heading to read it again.")
        .arg(userName);
}

} // namespace

BlockedBidder::BlockedBidder(BidderList &list, int row, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::BlockedBidder>()), m_list(list), m_row(row)
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Command1, m_ui->Command2});
    NameBoxesByTheirLabels(this);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // "Save"
    connect(m_ui->Command1, &QPushButton::clicked, this, &BlockedBidder::Command1_Click);
    // "Cancel"
    connect(m_ui->Command2, &QPushButton::clicked, this, &QDialog::reject);
}

BlockedBidder::~BlockedBidder() = default;

bool BlockedBidder::Form_Load()
{
    // The row's own record: of two rows of one user name, the one double-clicked.
    const QString userName = m_list.at(m_row).userName;
    const auto found = m_list.storedRecord(m_row);
    if (!found || !*found) {
        MessageBox::fail(parentWidget(), found ? noRecordMessage(userName) : found.error());
        return false;
    }
    const Bidder &bidder = **found;
    m_ui->UserName->setText(bidder.userName);
    m_ui->DateTime->setText(bidder.dateTime);
    m_ui->Reason->setText(bidder.reason);
    m_ui->NARU->setText(bidder.naru);
    if (bidder.naru == QLatin1String("Yes")) {
        QPalette palette = m_ui->NARU->palette();
        palette.setColor(QPalette::Text, QColor(255, 0, 0));
        m_ui->NARU->setPalette(palette);
    }
    // Long texts show from their start, not scrolled to the end.
    for (QLineEdit *box : {m_ui->UserName, m_ui->NARU, m_ui->DateTime, m_ui->Reason})
        box->setCursorPosition(0);
    m_ui->Command1->setFocus();
    return true;
}

void BlockedBidder::Command1_Click()
{
    // On any failure the dialog stays open with the user's edits, and nothing is changed.
    const QString userName = m_list.at(m_row).userName;
    const auto saved = m_list.setDateAndReason(m_row, m_ui->DateTime->text(), m_ui->Reason->text());
    if (!saved || !*saved) {
        MessageBox::fail(this, saved ? noRecordMessage(userName) : saved.error());
        return;
    }
    accept();
}
