// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "sweep/NARU.h"

#include "session/BrowserSession.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "ui/MessageBox.h"
#include "ui_NARU.h"

#include <QTimer>

NARU::NARU(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::NARU>()), m_list(list), m_context(std::move(context)),
      m_timer(new QTimer(this))
{
    m_ui->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);

    // An empty list still gets a valid range; the bar then simply stays at its start.
    m_ui->ProgressBar1->setRange(0, qMax(1, m_list.count()));
    m_ui->ProgressBar1->setValue(0);

    // The sweep starts once the window has had time to show; one tick starts exactly one sweep.
    m_timer->setInterval(500);
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &NARU::Timer1_Timer);
    m_timer->start();
}

NARU::~NARU() = default;

void NARU::Timer1_Timer()
{
    m_connecting = ConnectSite(m_context, [this](std::unique_ptr<SiteClient> site) { startChecks(std::move(site)); });
}

void NARU::startChecks(std::unique_ptr<SiteClient> site)
{
    m_site = std::move(site);
    m_checks = std::make_unique<NaruChecks>(*m_site);
    // Every row's answer goes to the store in a transaction of its own, over one connection.
    m_session = std::make_unique<BidderList::Session>(m_list);
    connect(m_checks.get(), &NaruChecks::answered, this, [this](int row, bool naru) {
        // The bar repaints at once only when a step shows; a paint for every row would cost more
        // than the rows themselves.
        m_ui->ProgressBar1->setValue(row + 1);
        const Result<bool> saved = m_list.setNaru(row, naru);
        if (saved && *saved)
            return;
        m_checks->stop();
        finish(saved ? QStringLiteral("Bidwarden has no stored record for \"%1\", so its NARU value was not saved. "
                                      "The list may be out of date: click a column heading to read it again.")
                           .arg(m_list.at(row).userName)
                     : saved.error());
    });
    connect(m_checks.get(), &NaruChecks::failed, this, [this](int row, const SiteError &error) {
        // Rows done so far keep their new values; the rest keep what they had.
        finish(QStringLiteral("Bidwarden could not check whether \"%1\" is a registered user, so the check stopped "
                              "there.\n\n%2")
                   .arg(m_list.at(row).userName, error.message));
    });
    connect(m_checks.get(), &NaruChecks::finished, this, [this] { finish(QString()); });
    m_checks->start(m_list.userNames());
}

void NARU::finish(const QString &failure)
{
    m_session.reset();
    if (failure.isEmpty())
        MessageBox::tell(this, QStringLiteral("Bidwarden Management"), QStringLiteral("All usernames checked."),
                         QMessageBox::Information);
    else
        MessageBox::fail(this, failure);
    QDialog::reject();
}

void NARU::reject()
{
    // Escape and the close button stop the sweep: what was answered stays, nothing more is asked.
    m_timer->stop();
    m_connecting.reset();
    if (m_checks)
        m_checks->stop();
    m_session.reset();
    QDialog::reject();
}
