// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QObject>
#include <QStringList>

class ParallelGets;

// Checks user ids for NARU on the site without blocking the event loop, several at once, and
// answers strictly in the order of the ids, as if they were checked one after another. naru.htm
// ends up holding the reply for the last id answered (or the one whose reply stopped the job). It
// is written before the job's first answer and before its last: when it cannot be, the job fails
// at that id, and that id gets no answer.
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
    SiteResult<Done> keepPage();

    const SiteClient &m_site;
    ParallelGets *m_gets;
    QStringList m_ids;
    QByteArray m_lastPage;
    bool m_pageToKeep = false;
    bool m_answered = false; // since the job started
};
