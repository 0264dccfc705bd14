// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "sweep/NARU.h"

#include "jobs/CheckNaru.h"
#include "jobs/SiteConnection.h"
#include "ui/MessageBox.h"
#include "ui_NARU.h"

#include <QTimer>

NARU::NARU(BidderList &list, AppContext context, QWidget *parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::NARU>()), m_list(list), m_context(std::move(context)),
      m_timer(new QTimer(this)), m_connection(ConnectionFor(m_context)),
      m_sweep(std::make_unique<CheckNaru>(*m_connection, m_list))
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
    // The bar repaints at once only when a step shows; a paint for every row would cost more than
    // the rows themselves.
    connect(m_sweep.get(), &CheckNaru::rowsChecked, m_ui->ProgressBar1, &QProgressBar::setValue);
    connect(m_sweep.get(), &CheckNaru::finished, this, &NARU::finish);
}

NARU::~NARU() = default;

void NARU::Timer1_Timer()
{
    m_sweep->start();
}

void NARU::finish(const Status &result)
{
    if (result)
        MessageBox::tell(this, QStringLiteral("Bidwarden Management"), QStringLiteral("All usernames checked."),
                         QMessageBox::Information);
    else
        MessageBox::fail(this, result.error());
    QDialog::reject();
}

void NARU::reject()
{
    // Escape and the close button stop the sweep: what was answered stays, nothing more is asked.
    m_timer->stop();
    m_sweep->stop();
    QDialog::reject();
}
