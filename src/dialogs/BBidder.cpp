// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "dialogs/BBidder.h"

#include "core/BidderList.h"
#include "session/BrowserSession.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "store/DateTimeText.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "ui_BBidder.h"

BBidder::BBidder(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::BBidder>()), m_list(list), m_context(std::move(context))
{
    m_ui->setupUi(this);
    MakeWhite({m_ui->Save, m_ui->Cancel});
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // "Save"
    connect(m_ui->Save, &QPushButton::clicked, this, &BBidder::Save_Click);
    // "Cancel"
    connect(m_ui->Cancel, &QPushButton::clicked, this, &BBidder::reject);
}

BBidder::~BBidder() = default;

void BBidder::Save_Click()
{
    if ((m_check && m_check->isRunning()) || (m_connecting && m_connecting->isRunning()))
        return;
    setChecking(true);
    if (m_site) {
        m_check->start({m_ui->UserName->text()});
        return;
    }
    m_connecting = ConnectSite(m_context, [this](std::unique_ptr<SiteClient> site) {
        m_site = std::move(site);
        m_check = std::make_unique<NaruChecks>(*m_site);
        connect(m_check.get(), &NaruChecks::answered, this, [this](int, bool naru) { checked(naru); });
        connect(m_check.get(), &NaruChecks::failed, this, [this](int, const SiteError &error) {
            // Nothing is stored or listed, and what was typed stays, to try again or cancel.
            setChecking(false);
            MessageBox::fail(this, QStringLiteral("Bidwarden could not check whether \"%1\" is a registered "
                                                  "user.\n\n%2")
                                       .arg(m_ui->UserName->text(), error.message));
        });
        m_check->start({m_ui->UserName->text()});
    });
}

void BBidder::checked(bool naru)
{
    setChecking(false);
    const Bidder bidder{m_ui->UserName->text(), NaruValue(naru), DateTimeText(), m_ui->Reason->text()};
    if (Status added = m_list.add(bidder); !added) {
        MessageBox::fail(this, added.error());
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
    m_connecting.reset();
    if (m_check)
        m_check->stop();
    QDialog::reject();
}
