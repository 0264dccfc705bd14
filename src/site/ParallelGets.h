// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <memory>

// A page fetched by ParallelGets, kept in memory: replies that arrive together cannot share a
// page file.
struct FetchedPage
{
    SiteReply reply;
    QByteArray body;
};

// One request of a job: a GET of a page, or a form posted once.
struct SiteRequest
{
    QString pathAndQuery;
    bool post = false;
    QByteArray body; // the form, for a post
    qint64 maxReplyBytes = SiteClient::MaxReplyBytes;
};

// Requests to the site that never block the event loop. Up to MaxInFlight run at once over
// kept connections (no more than a browser opens to one host); each is tried again on a passing
// outage, by the same rule as every GET (a post is sent once); and the replies are handed back strictly in the order
// asked for, whatever order they arrive in. A request that fails stops the job at its place in
// that order: the replies before it are all handed back first, the ones after it never are.
//
// It drives libcurl's multi interface from the event loop (socket notifiers and a timer), so
// everything, signals included, happens on the thread that owns it.
class ParallelGets : public QObject
{
    Q_OBJECT

public:
    static constexpr int MaxInFlight = 4;
    // The most the replies waiting for an earlier one, and those on their way, may take together.
    static constexpr qint64 MaxHeldBytes = 32 * 1024 * 1024;

    explicit ParallelGets(const SiteClient &site, QObject *parent = nullptr);
    ~ParallelGets() override;

    // Starts fetching these paths (with their queries), forgetting any job still running.
    void start(const QStringList &pathsAndQueries, qint64 maxReplyBytes = SiteClient::MaxReplyBytes);
    void start(const QList<SiteRequest> &requests);
    // Abandons the requests in flight and starts no more; nothing more is signalled. A post is
    // abandoned with them: a caller that must not lose it waits for its answer instead.
    void stop();
    bool isRunning() const;

signals:
    void fetched(int index, const FetchedPage &page);
    void failed(int index, const SiteError &error); // the job has stopped
    void finished();                                // every page was fetched

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
