// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/BlockPageForm.h"
#include "site/SiteOperations.h"

#include <QObject>
#include <QStringList>
#include <future>
#include <optional>

class ParallelGets;
struct FetchedPage;

// What a read of the site's list found.
struct SiteListRead
{
    QStringList ids;             // the site's list, in its order
    QList<FormField> formFields; // the hidden fields of the form that holds it, for the post
};

// What the upload met besides the list read back, which alone decides whether it is done.
struct UploadNotes
{
    QStringList siteIds;        // the list read back, in the site's order
    bool replyLost = false;     // the post got no reply: whether the site took it is known only from the read-back
    QStringList warnings;       // a reply not kept, the site's answer to the post when it was no success, ...
    bool signInMayHelp = false; // one of the warnings advises signing in again
};

// The upload of the seller's list, without blocking the event loop: first the site's list is read
// (as often as asked), so that the seller can be shown what saving would remove from it; then the
// list is posted once and the site's list read back to see what it kept. It can be stopped until
// the post is sent; from then on it runs to its answer, so that a post is never cut off half-way.
// Every post is read back: one the site answered, whatever it answered or whether its answer could
// be kept, and one that got no answer at all.
class BlockListUpload : public QObject
{
    Q_OBJECT

public:
    explicit BlockListUpload(const SiteClient &site, QObject *parent = nullptr);
    ~BlockListUpload() override;

    // Reads the site's list, and the fields of its form.
    void readSiteList();
    // Posts these ids with the form's fields (see UploadBodyWithFields), then reads the site's list back.
    void send(const QStringList &userIds, const QList<FormField> &formFields = {});
    // Stops a read before the post. Returns false, and stops nothing, once the post is sent.
    bool stop();
    bool isRunning() const { return m_step != Step::Idle; }
    bool isPosting() const { return m_step == Step::Posting || m_step == Step::ReadingBack; }

signals:
    void siteListRead(const SiteListRead &read);
    void readingBack(); // the post has its answer, or none: the list is being read back
    // The list was read back after the post: the check says what it holds of the ids sent.
    void uploaded(const UploadCheck &check, const UploadNotes &notes);
    void failed(const SiteError &error); // the job has stopped

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
    void note(const QString &lead, const SiteError &error); // a warning for the notes
    void readBack();
    void noteReply(); // the notes on the site's answer to the post, once its file is written
    SiteResult<SiteListRead> readList(const FetchedPage &page);

    const SiteClient &m_site;
    ParallelGets *m_gets;
    Step m_step = Step::Idle;
    QStringList m_ids; // the ids sent
    UploadNotes m_notes;
    std::future<SiteResult<Done>> m_replyKept; // the site's answer to the post, being kept in its file
    std::optional<SiteError> m_answer;         // that answer, when it was no success
    QByteArray m_lastPage;                     // the last page that held the site's list,
    int m_lastStatus = 0;                      // its status,
    std::optional<SiteListRead> m_lastRead;    // and what it held
};
