// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "wizard/Setup2.h"

#include "app/WindowFlow.h"
#include "core/BidderList.h"
#include "jobs/SiteConnection.h"
#include "ui/MessageBox.h"
#include "ui_Setup2.h"
#include "wizard/Setup1.h"

Setup2::Setup2(WindowFlow &flow)
    : WizardWindow(flow), m_ui(std::make_unique<Ui::Setup2>()), m_connection(ConnectionFor(context())),
      m_import(std::make_unique<ImportFromSite>(*m_connection, flow.list(), this))
{
    m_ui->setupUi(this);
    // Download comes first in the focus order; QDialog would otherwise start on its default button.
    m_ui->Command1->setFocus();
    // Every line is one line of the same font. Without saying so, the list would measure all of its
    // lines again each time the import adds one while the window stays alive.
    m_ui->List1->setUniformItemSizes(true);
    m_lineTimer.setSingleShot(true);
    m_lineTimer.setInterval(100);
    connect(&m_lineTimer, &QTimer::timeout, this, &Setup2::showPendingLines);
    connect(m_import.get(), &ImportFromSite::listRead, this, &Setup2::listRead);
    connect(m_import.get(), &ImportFromSite::idChecked, this, &Setup2::idChecked);
    connect(m_import.get(), &ImportFromSite::finished, this, &Setup2::imported);
    // "Download"
    connect(m_ui->Command1, &QPushButton::clicked, this, &Setup2::Command1_Click);
    // "Back"
    connect(m_ui->Back, &QPushButton::clicked, this, &Setup2::Back_Click);
    // "Next"
    connect(m_ui->Next, &QPushButton::clicked, this, &Setup2::Next_Click);
    // "Exit"
    connect(m_ui->Exit, &QPushButton::clicked, this, &Setup2::reject);
}

Setup2::~Setup2() = default;

void Setup2::Command1_Click()
{
    if (m_import->isRunning())
        return;
    setWorking(true);
    m_import->start();
}

void Setup2::setWorking(bool working)
{
    for (QPushButton *button : {m_ui->Command1, m_ui->Back, m_ui->Next})
        button->setEnabled(!working);
    if (working)
        setCursor(Qt::BusyCursor);
    else
        unsetCursor();
}

void Setup2::listRead(int count)
{
    m_ui->List1->clear();
    // The bar stands at k while entry k is checked and is full at the last one; one entry or none
    // would give an empty range, which a QProgressBar shows as "busy" instead.
    m_ui->ProgressBar1->setRange(0, qMax(1, count - 1));
    m_ui->ProgressBar1->setValue(0);
    m_stride = qMax(1, m_ui->ProgressBar1->maximum() / qMax(1, m_ui->ProgressBar1->width()));
}

void Setup2::idChecked(int index, const QString &userId, bool naru)
{
    // The bar stands at the entry being checked next, and is full once the last one is.
    const int next = index + 1, last = m_ui->ProgressBar1->maximum();
    if (next >= last)
        m_ui->ProgressBar1->setValue(last);
    else if (next % m_stride == 0)
        m_ui->ProgressBar1->setValue(next);
    m_pendingLines << (naru ? userId + QStringLiteral(" (NARU)") : userId);
    if (!m_lineTimer.isActive())
        m_lineTimer.start();
}

void Setup2::showPendingLines()
{
    m_ui->List1->addItems(std::exchange(m_pendingLines, {}));
}

void Setup2::imported(const Result<ImportFromSite::Imported> &result)
{
    m_lineTimer.stop();
    if (result)
        showPendingLines();
    else
        showLastImport();
    setWorking(false);
    if (!result)
        MessageBox::fail(this, result.error());
    else if (!result->notice.isEmpty())
        MessageBox::fail(this, result->notice);
}

void Setup2::showLastImport()
{
    m_pendingLines.clear();
    m_ui->List1->clear();
    const std::optional<QList<Bidder>> &rows = m_import->lastImport();
    if (!rows) {
        m_ui->ProgressBar1->setRange(0, 100);
        m_ui->ProgressBar1->setValue(0);
        return;
    }
    QStringList lines;
    for (const Bidder &row : *rows)
        lines << (row.naru == NaruValue(true) ? row.userName + QStringLiteral(" (NARU)") : row.userName);
    m_ui->List1->addItems(lines);
    m_ui->ProgressBar1->setRange(0, qMax(1, int(rows->size()) - 1));
    m_ui->ProgressBar1->setValue(rows->isEmpty() ? 0 : m_ui->ProgressBar1->maximum());
}

void Setup2::stopWork()
{
    // Stopped by the user: the store was never touched, and there is nothing to tell.
    if (!m_import->isRunning())
        return;
    m_import->stop();
    m_lineTimer.stop();
    showLastImport();
    setWorking(false);
}

void Setup2::Back_Click()
{
    replaceWith(new Setup1(flow()));
}

void Setup2::Next_Click()
{
    // The fresh main window reads the store again, and asks to run the wizard when it is empty;
    // on Yes it has already opened step 1 and gives no window back.
    flow().showMain();
    replaceWith(nullptr);
}
