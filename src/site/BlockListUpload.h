// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteOperations.h"

#include <QObject>
#include <QStringList>

class ParallelGets;
struct FetchedPage;

// The upload of the seller's list, without blocking the event loop: first the site's list is read,
// so that the seller can be shown what saving would remove from it; then the list is posted once
// and the site's list read back to see what it kept. It can be stopped until the post is sent;
// from then on it runs to its answer, so that a post is never cut off half-way.
class BlockListUpload : public QObject
{
    Q_OBJECT

public:
    explicit BlockListUpload(const SiteClient &site, QObject *parent = nullptr);
    ~BlockListUpload() override;

    // Reads the site's list; siteListRead names the ids it holds that `localIds` lacks.
    void readSiteList(const QStringList &localIds);
    // Posts the whole list (see UploadBody), then reads the site's list back.
    void send(const QStringList &userIds);
    // Stops a read before the post. Returns false, and stops nothing, once the post is sent.
    bool stop();
    bool isRunning() const { return m_step != Step::Idle; }
    bool isPosting() const { return m_step == Step::Posting || m_step == Step::ReadingBack; }

signals:
    void siteListRead(const QStringList &siteOnlyIds);
    void readingBack();                      // the site answered the post; its list is being read back
    void uploaded(const UploadCheck &check); // the site answered: the check says what it kept
    void failed(const SiteError &error);     // the job has stopped

private:
    enum class Step
    {
        Idle,
        PreReading,
        Posting,
        ReadingBack,
    };
    void fetched(const FetchedPage &page);
    void fail(const QString &lead, const SiteError &error);
    SiteResult<QStringList> siteList(const FetchedPage &page) const;

    const SiteClient &m_site;
    ParallelGets *m_gets;
    Step m_step = Step::Idle;
    QStringList m_ids; // the local list, then the ids sent
};
