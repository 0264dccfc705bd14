// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "wizard/Setup2.h"

#include "app/WindowFlow.h"
#include "core/BidderList.h"
#include "session/BrowserSession.h"
#include "site/NaruChecks.h"
#include "site/ParallelGets.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "store/AppFilePath.h"
#include "store/DateTimeText.h"
#include "store/StoreBackup.h"
#include "ui/MessageBox.h"
#include "ui_Setup2.h"
#include "wizard/Setup1.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTimer>

const QString Setup2::ImportReason = QString::fromLatin1(BidderStore::ImportReason);

namespace {

const QString kBlockPage = QStringLiteral("response.htm");

// The date-and-time text for the rows of one import. It shows whole seconds, so the system clock
// (the costliest part of a row) is read again only once a new second may have begun.
class RowClock
{
public:
    QString text()
    {
        if (!m_sinceRead.isValid() || m_sinceRead.elapsed() >= m_msecsLeft) {
            const QDateTime now = QDateTime::currentDateTime();
            m_sinceRead.start();
            m_text = DateTimeText(now);
            m_msecsLeft = 1000 - now.time().msec();
        }
        return m_text;
    }

private:
    QElapsedTimer m_sinceRead;
    qint64 m_msecsLeft = 0;
    QString m_text;
};

} // namespace

// One run of Download: the site's list, the rows checked so far, and the window as it was before.
// It is a child of the window, and so are its jobs, so that none of them outlives the window.
struct Setup2::Import : QObject
{
    explicit Import(QObject *window) : QObject(window) {}

    std::unique_ptr<SessionReader> connecting;
    std::unique_ptr<SiteClient> site;
    std::unique_ptr<ParallelGets> download; // the jobs go before the client they use
    std::unique_ptr<NaruChecks> checks;
    QStringList entries;
    QList<Bidder> rows;
    RowClock clock;
    QStringList linesBefore;
    int maximumBefore = 0;
    int valueBefore = 0;
    int stride = 1; // a step smaller than a pixel does not show; the bar moves only when it shows
    // Lines checked but not shown yet: the list takes them a few times a second, not one by one
    // (a redraw for every line would cost more than checking it).
    QStringList pendingLines;
    QTimer lineTimer;
};

Setup2::Setup2(WindowFlow &flow) : WizardWindow(flow), m_ui(std::make_unique<Ui::Setup2>())
{
    m_ui->setupUi(this);
    // Download comes first in the focus order; QDialog would otherwise start on its default button.
    m_ui->Command1->setFocus();
    // Every line is one line of the same font. Without saying so, the list would measure all of its
    // lines again each time the import adds one while the window stays alive.
    m_ui->List1->setUniformItemSizes(true);
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
    if (m_import)
        return;
    // A store that cannot be used is better told before the site is asked about every id.
    if (Status usable = flow().list().check(); !usable) {
        MessageBox::fail(this, usable.error());
        return;
    }
    m_import.reset(new Import(this));
    for (int i = 0; i < m_ui->List1->count(); ++i)
        m_import->linesBefore << m_ui->List1->item(i)->text();
    m_import->maximumBefore = m_ui->ProgressBar1->maximum();
    m_import->valueBefore = m_ui->ProgressBar1->value();
    for (QPushButton *button : {m_ui->Command1, m_ui->Back, m_ui->Next})
        button->setEnabled(false);
    setCursor(Qt::BusyCursor);

    // The whole list is fetched and checked before anything is changed, so that a failed request
    // or a sign-in page never costs the seller the list they have.
    // The read of the browser session belongs to this run: a run ended while it was under way (its
    // Import waiting to be deleted) takes no client from it.
    m_import->connecting = ConnectSite(context(), [this, import = m_import.get()](std::unique_ptr<SiteClient> site) {
        if (m_import.get() != import)
            return;
        m_import->site = std::move(site);
        downloadList();
    });
}

void Setup2::downloadList()
{
    m_import->download = std::make_unique<ParallelGets>(*m_import->site, m_import.get());
    connect(m_import->download.get(), &ParallelGets::fetched, this,
            [this](int, const FetchedPage &page) { listDownloaded(page); });
    connect(m_import->download.get(), &ParallelGets::failed, this, [this](int, const SiteError &error) {
        endImport(QStringLiteral("Bidwarden could not download your blocked bidder list, so nothing was changed.\n\n%1")
                      .arg(error.message));
    });
    m_import->download->start({BlockPagePath()});
}

void Setup2::listDownloaded(const FetchedPage &fetched)
{
    const QByteArray &page = fetched.body;
    // The page is kept while the list is read from it, as the site sent it.
    if (SiteResult<Done> written = m_import->site->WritePageFile(Page::BlockList, page); !written) {
        endImport(written.error().message);
        return;
    }
    const SiteResult<QStringList> list = BlockedListAnswer(*m_import->site, fetched.reply, SplitPageLines(page));
    if (!list) {
        endImport(list.error().message);
        return;
    }
    m_import->entries = *list;
    const int count = int(list->size());
    m_ui->List1->clear();
    // The bar stands at k while entry k is checked and is full at the last one; one entry or none
    // would give an empty range, which a QProgressBar shows as "busy" instead.
    m_ui->ProgressBar1->setRange(0, qMax(1, count - 1));
    m_ui->ProgressBar1->setValue(0);
    m_import->stride = qMax(1, m_ui->ProgressBar1->maximum() / qMax(1, m_ui->ProgressBar1->width()));
    m_import->rows.reserve(count);

    m_import->lineTimer.setSingleShot(true);
    m_import->lineTimer.setInterval(100);
    connect(&m_import->lineTimer, &QTimer::timeout, this, &Setup2::showPendingLines);
    m_import->checks = std::make_unique<NaruChecks>(*m_import->site, m_import.get());
    connect(m_import->checks.get(), &NaruChecks::answered, this, &Setup2::entryChecked);
    connect(m_import->checks.get(), &NaruChecks::failed, this, [this](int index, const SiteError &error) {
        endImport(QStringLiteral("Bidwarden could not check whether \"%1\" (entry %2 of %3) is a registered user, "
                                 "so the import stopped and your list was left as it was.\n\n%4")
                      .arg(m_import->entries.at(index), QString::number(index + 1),
                           QString::number(m_import->entries.size()), error.message));
    });
    connect(m_import->checks.get(), &NaruChecks::finished, this, &Setup2::allChecked);
    m_import->checks->start(m_import->entries);
}

void Setup2::entryChecked(int index, bool naru)
{
    const QString &entry = m_import->entries.at(index);
    // The bar stands at the entry being checked next, and is full once the last one is.
    const int next = index + 1, last = int(m_import->entries.size()) - 1;
    if (next >= last)
        m_ui->ProgressBar1->setValue(m_ui->ProgressBar1->maximum());
    else if (next % m_import->stride == 0)
        m_ui->ProgressBar1->setValue(next);
    m_import->pendingLines << (naru ? entry + QStringLiteral(" (NARU)") : entry);
    if (!m_import->lineTimer.isActive())
        m_import->lineTimer.start();
    m_import->rows.append(Bidder{entry, NaruValue(naru), m_import->clock.text(), ImportReason});
}

void Setup2::showPendingLines()
{
    m_ui->List1->addItems(std::exchange(m_import->pendingLines, {}));
}

void Setup2::allChecked()
{
    showPendingLines();
    BidderList &list = flow().list();
    // The list about to be replaced is kept first, and only now: a Download that fails before this
    // point changes nothing, so it needs no copy and pushes no older one out. Without a copy, the
    // list is not replaced.
    if (const auto backup = BackUpStore(list.storePath()); !backup) {
        endImport(backup.error() + QStringLiteral("\n\nSo nothing was imported, and your list was left as it was."));
        return;
    }
    // The old rows go and the new ones come in one transaction: all of it, or nothing.
    if (Status replaced = list.replaceAll(m_import->rows); !replaced) {
        endImport(replaced.error());
        return;
    }
    endImport(QString());
}

void Setup2::endImport(const QString &failure)
{
    if (!m_import)
        return;
    // The jobs may be the ones whose signal is being handled, and the message below runs an event
    // loop of its own: they go once control is back in this event loop, not in that one.
    Import *import = m_import.release();
    import->deleteLater();
    import->lineTimer.stop();
    if (import->checks)
        import->checks->stop();
    if (import->download)
        import->download->stop();
    if (!failure.isNull()) {
        m_ui->List1->clear();
        m_ui->List1->addItems(import->linesBefore);
        m_ui->ProgressBar1->setRange(0, import->maximumBefore);
        m_ui->ProgressBar1->setValue(import->valueBefore);
    }
    for (QPushButton *button : {m_ui->Command1, m_ui->Back, m_ui->Next})
        button->setEnabled(true);
    unsetCursor();
    // The page is only needed while the list is read from it.
    QString problem = failure;
    QFile page(AppFilePath(context().appFolder, kBlockPage));
    if (page.exists() && !page.remove() && problem.isEmpty())
        problem = QStringLiteral("Your list was imported, but Bidwarden could not delete %1: %2.")
                      .arg(page.fileName(), page.errorString());
    if (!problem.isEmpty())
        MessageBox::fail(this, problem);
}

void Setup2::stopWork()
{
    // Stopped by the user: the store was never touched, and there is nothing to tell.
    if (m_import)
        endImport(QStringLiteral(""));
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
