// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QObject>
#include <QStringList>

class ParallelGets;

// Checks user ids for NARU on the site without blocking the event loop, several at once, and
// answers strictly in the order of the ids, as if they were checked one after another. Each reply
// is written to naru.htm before its answer is given, so the file holds the reply for the last id
// answered (or the one whose reply stopped the job); a reply that cannot be written there stops
// the job at that id with a failure, not an answer.
class NaruChecks : public QObject
{
    Q_OBJECT

public:
    explicit NaruChecks(const SiteClient &site, QObject *parent = nullptr);
    ~NaruChecks() override;

    void start(const QStringList &userIds);
    // Abandons the checks in flight; nothing more is signalled.
    void stop();
    bool isRunning() const;

signals:
    void answered(int index, bool naru);
    void failed(int index, const SiteError &error); // signed out, or no answer: the job has stopped
    void finished();

private:
    const SiteClient &m_site;
    ParallelGets *m_gets;
    QStringList m_ids;
};
