// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/BidderStore.h"

#include <QObject>
#include <QStringList>
#include <memory>
#include <optional>

class BidderList;
class NaruChecks;
class ParallelGets;
class SiteClient;
class SiteConnection;
struct FetchedPage;

// The wizard's Download: the site's list read (kept in response.htm while it is read), each id
// looked up for NARU, then the list about to be replaced backed up and replaced by the site's, in
// one transaction. Nothing changes before every id has its answer: a failed request or a sign-in
// page never costs the seller the list they have.
class ImportFromSite : public QObject
{
    Q_OBJECT

public:
    static const QString ImportReason;

    struct Imported
    {
        QList<Bidder> rows;
        QString notice; // something the seller should know although the list was imported, or empty
    };

    ImportFromSite(SiteConnection &connection, BidderList &list, QObject *parent = nullptr);
    ~ImportFromSite() override;

    void start();
    // Abandons the import: the store is left as it was, and finished is not sent.
    void stop();
    bool isRunning() const { return m_running; }
    // The rows of the last import done by this job, none before one is.
    const std::optional<QList<Bidder>> &lastImport() const { return m_lastImport; }

signals:
    void listRead(int count);
    void idChecked(int index, const QString &userId, bool naru);
    // The rows imported, or why nothing changed.
    void finished(const Result<ImportFromSite::Imported> &result);

private:
    void download(std::shared_ptr<const SiteClient> site);
    void listDownloaded(const FetchedPage &fetched);
    void allChecked();
    void finish(const Result<Imported> &result);
    // Ends the jobs, and removes the page, which is only needed while the list is read from it.
    Status endWork();

    SiteConnection &m_connection;
    BidderList &m_list;
    bool m_running = false;
    std::shared_ptr<const SiteClient> m_site;
    ParallelGets *m_download = nullptr; // children, deleted once the event loop is back
    NaruChecks *m_checks = nullptr;
    QStringList m_entries;
    QList<Bidder> m_rows;
    std::optional<QList<Bidder>> m_lastImport;
};
