// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QStringList>
#include <memory>

class BidderList;
class BlockListUpload;
class NaruChecks;
class SiteClient;
class SiteConnection;
struct Bidder;
struct SiteError;
struct UploadCheck;

// "Save to eBay", step by step: the browser session read afresh, the site's list read, the question
// of what to do with the ids only the site holds, the lookups of the ids kept and their storing,
// the post, and the site's list read back to see what it kept. The window asks the question and
// shows the outcome; the job does the rest. It can be stopped until the post is sent; from then on
// it runs to the site's answer.
class SaveToSite : public QObject
{
    Q_OBJECT

public:
    enum class Step
    {
        ReadingSiteList,
        CheckingKept, // the ids kept from the site, looked up one by one
        Posting,
        ReadingBack,
    };
    enum class Choice
    {
        Cancel, // nothing is sent
        Send,   // the list as it is: Yes, or Remove them
        Keep,   // the ids only the site holds are added to the list first, then all is sent
    };
    // What the seller is asked before anything is sent. With no siteOnlyIds it is a Yes/No question.
    struct Question
    {
        QString text;
        QStringList siteOnlyIds; // the ids the site holds that the list does not, in the site's order
    };
    struct Outcome
    {
        enum class Kind
        {
            Done,    // the site holds the list sent; message is the notice
            Stopped, // cancelled or stopped before the post; nothing to say
            Failed,  // message says why, and what became of the list
        };
        Kind kind = Kind::Stopped;
        QString message;
    };

    // The reason given to the ids found on the site that the seller keeps before saving.
    static const QString FoundOnSiteReason;

    SaveToSite(SiteConnection &connection, BidderList &list, QObject *parent = nullptr);
    ~SaveToSite() override;

    void start();
    // The seller's answer to choiceNeeded.
    void answer(Choice choice);
    // Ends the save silently before its post; returns false, and stops nothing, once it is sent.
    bool stop();
    bool isRunning() const { return m_running; }
    bool isPosting() const;

signals:
    void progress(SaveToSite::Step step, int done, int total);
    void choiceNeeded(const SaveToSite::Question &question);
    void finished(const SaveToSite::Outcome &outcome);

private:
    void readSiteList(std::shared_ptr<const SiteClient> site);
    void siteListRead(const QStringList &siteOnlyIds);
    void keepSiteOnly();
    void storeKept();
    void send();
    void uploaded(const UploadCheck &check);
    // Ends the save with a failure, saying what became of the ids kept from the site.
    void fail(const QString &failure);
    void finish(Outcome outcome);

    SiteConnection &m_connection;
    BidderList &m_list;
    bool m_running = false;
    bool m_asking = false;
    std::shared_ptr<const SiteClient> m_site;
    BlockListUpload *m_upload = nullptr; // children, deleted once the event loop is back
    NaruChecks *m_checks = nullptr;
    QStringList m_siteOnly; // the ids the site holds that the list lacks
    QList<Bidder> m_kept;   // those of them checked so far, when kept
    int m_added = 0;        // how many of them are in the list now
    QString m_listText;     // the list as it was sent
};
