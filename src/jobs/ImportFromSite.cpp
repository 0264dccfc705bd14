// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "jobs/ImportFromSite.h"

#include "core/BidderList.h"
#include "jobs/JobMessages.h"
#include "jobs/SiteConnection.h"
#include "site/NaruChecks.h"
#include "site/ParallelGets.h"
#include "site/SiteOperations.h"
#include "store/DateTimeText.h"
#include "store/StoreBackup.h"

#include <QElapsedTimer>
#include <QFile>

const QString ImportFromSite::ImportReason = QString::fromLatin1(BidderStore::ImportReason);

namespace {

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

ImportFromSite::ImportFromSite(SiteConnection &connection, BidderList &list, QObject *parent)
    : QObject(parent), m_connection(connection), m_list(list)
{}

ImportFromSite::~ImportFromSite()
{
    // A read of the session under way would hand its client to a job that is gone.
    if (m_running)
        m_connection.cancel();
}

void ImportFromSite::start()
{
    if (m_running)
        return;
    m_running = true;
    m_entries.clear();
    m_rows.clear();
    // A store that cannot be used is better told before the site is asked about every id.
    if (Status usable = m_list.check(); !usable)
        return finish(Failure{usable.error()});
    m_connection.connect(SiteConnection::Read::Afresh,
                         [this](std::shared_ptr<const SiteClient> site) { download(std::move(site)); });
}

void ImportFromSite::download(std::shared_ptr<const SiteClient> site)
{
    m_site = std::move(site);
    m_download = new ParallelGets(*m_site, this);
    KeepClientWith(m_download, m_site);
    connect(m_download, &ParallelGets::fetched, this, [this](int, const FetchedPage &page) { listDownloaded(page); });
    connect(m_download, &ParallelGets::failed, this, [this](int, const SiteError &error) {
        finish(Failure{QStringLiteral("Bidwarden could not download your blocked bidder list, so nothing was "
                                      "changed.\n\n%1")
                           .arg(SiteFailureText(error))});
    });
    m_download->start({BlockPagePath()});
}

void ImportFromSite::listDownloaded(const FetchedPage &fetched)
{
    const QByteArray &page = fetched.body;
    // The page is kept while the list is read from it, as the site sent it.
    if (SiteResult<Done> written = m_site->WritePageFile(Page::BlockList, page); !written)
        return finish(Failure{SiteFailureText(written.error())});
    const SiteResult<QStringList> list = BlockedListAnswer(*m_site, fetched.reply, SplitPageLines(page));
    if (!list)
        return finish(Failure{SiteFailureText(list.error())});
    m_entries = *list;
    m_rows.reserve(m_entries.size());
    emit listRead(int(m_entries.size()));

    auto clock = std::make_shared<RowClock>();
    m_checks = new NaruChecks(*m_site, this);
    KeepClientWith(m_checks, m_site);
    connect(m_checks, &NaruChecks::answered, this, [this, clock](int index, bool naru) {
        const QString &entry = m_entries.at(index);
        m_rows.append(BidderList::block(entry, naru, ImportReason, clock->text()));
        emit idChecked(index, entry, naru);
    });
    connect(m_checks, &NaruChecks::failed, this, [this](int index, const SiteError &error) {
        finish(Failure{UncheckedMessage(
            m_entries.at(index),
            QStringLiteral(" (entry %1 of %2)").arg(QString::number(index + 1), QString::number(m_entries.size())),
            QStringLiteral(", so the import stopped and your list was left as it was"), error)});
    });
    connect(m_checks, &NaruChecks::finished, this, &ImportFromSite::allChecked);
    m_checks->start(m_entries);
}

void ImportFromSite::allChecked()
{
    // The list about to be replaced is kept first, and only now: a Download that fails before this
    // point changes nothing, so it needs no copy and pushes no older one out. Without a copy, the
    // list is not replaced.
    if (const Result<BackupOutcome> backup = BackUpStore(m_list.storePath()); !backup)
        return finish(
            Failure{backup.error() + QStringLiteral("\n\nSo nothing was imported, and your list was left as it was.")});
    // The old rows go and the new ones come in one transaction: all of it, or nothing. The site's
    // list is what the two lists now agree on, so a save can tell what is deleted here from then on.
    if (Status replaced = m_list.replaceAll(m_rows, m_entries); !replaced)
        return finish(Failure{replaced.error()});
    m_lastImport = m_rows;
    finish(Imported{m_rows, QString()});
}

void ImportFromSite::finish(const Result<Imported> &result)
{
    const Status pageRemoved = endWork();
    if (result && !pageRemoved)
        emit finished(Imported{result->rows, pageRemoved.error()});
    else
        emit finished(result);
}

void ImportFromSite::stop()
{
    (void)endWork(); // stopped by the seller: there is nothing to tell
}

Status ImportFromSite::endWork()
{
    m_running = false;
    m_connection.cancel();
    // The jobs may be the ones whose signal is being handled, and the window's message runs an
    // event loop of its own: they go once control is back in this event loop, not in that one.
    if (m_checks) {
        m_checks->stop();
        std::exchange(m_checks, nullptr)->deleteLater();
    }
    if (m_download) {
        m_download->stop();
        std::exchange(m_download, nullptr)->deleteLater();
    }
    if (!m_site)
        return Done{};
    QFile page(std::exchange(m_site, nullptr)->pagePath(Page::BlockList));
    if (page.exists() && !page.remove())
        return Failure{QStringLiteral("Your list was imported, but Bidwarden could not delete %1: %2.")
                           .arg(page.fileName(), page.errorString())};
    return Done{};
}
