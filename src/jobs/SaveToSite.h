// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "core/SyncPlan.h"
#include "site/BlockPageForm.h"

#include <QObject>
#include <QStringList>
#include <future>
#include <memory>
#include <optional>

class BidderList;
class BlockListUpload;
class NaruChecks;
class SiteClient;
class SiteConnection;
struct Bidder;
struct SiteError;
struct SiteListRead;
struct UploadCheck;
struct UploadNotes;

// "Save to eBay", step by step. Saving is a sync against the base, the site's list as last
// confirmed: the browser session read afresh, the base and the site's list read, the question
// (ids deleted here are unblocked and named; ids blocked on the site since are asked about; rows
// marked NARU are left off when the list is over the site's limit), the lookups of the ids kept
// and their storing, the site's list read once more just before the post (ids new there are asked
// about again; a list that changes a second time stops the save), the post, and the list read
// back, which becomes the base when it holds what was sent. The window asks and shows; the job
// does the rest. It can be stopped until the post is sent; from then on it runs to the answer.
class SaveToSite : public QObject
{
    Q_OBJECT

public:
    enum class Step
    {
        ReadingSiteList,
        CheckingKept, // the ids kept from the site, looked up one by one
        ReadingAgain, // the site's list once more, just before the post
        Posting,
        ReadingBack,
    };
    enum class Choice
    {
        Cancel, // nothing is sent
        Send,   // the list as it is: Yes, or Remove them
        Keep,   // the ids asked about are added to the list first, then all is sent
    };
    // What the seller is asked before anything is sent. With no siteOnlyIds it is a Yes/No question.
    struct Question
    {
        QString text;
        QStringList siteOnlyIds; // the ids asked about: on the site, neither here nor in the base
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
    void siteListRead(const SiteListRead &read);
    void ask(const QStringList &ids);
    void keep();
    void storeKept();
    void readAgain();
    const SyncPlanner &planner(); // once it is made
    void send(const SyncPlan &plan);
    void uploaded(const UploadCheck &check, const UploadNotes &notes);
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
    std::optional<QStringList> m_base;
    std::future<SyncPlanner> m_planning;  // the planner being made as the save starts
    std::optional<SyncPlanner> m_planner; // the list and the base as the next plan takes them
    QStringList m_seen;                   // every id the reads so far found on the site
    QList<FormField> m_formFields;        // of the latest read, for the post
    int m_reads = 0;                      // of the site's list, before the post
    bool m_changed = false;               // a read before the post found ids new on the site
    QStringList m_asked;                  // the ids of the question open, or being kept
    QStringList m_keeping;                // every id kept from the site, in the order kept
    QList<Bidder> m_kept;                 // those of the current question checked so far
    int m_added = 0;                      // how many ids kept are in the list now
    SyncPlan m_sent;                      // what was posted
};
