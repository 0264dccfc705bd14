// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "SiteFixture.h"
#include "core/BidderList.h"
#include "jobs/BlockBidder.h"
#include "jobs/CheckNaru.h"
#include "jobs/ImportFromSite.h"
#include "jobs/SaveToSite.h"
#include "jobs/SiteConnection.h"
#include "site/SiteLimits.h"
#include "store/DateTimeText.h"

#include <QDir>
#include <QFile>
#include <QTest>

// The site workflows without windows, on the stand-in site: what each asks, stores, sends and says.
class TestJobs : public QObject, SiteFixture
{
    Q_OBJECT

    static QStringList naruOf(const QList<Bidder> &rows)
    {
        QStringList values;
        for (const Bidder &row : rows)
            values << row.naru;
        return values;
    }
    // The list loaded from the folder's store, which holds these rows.
    BidderList &listOf(const QList<Bidder> &rows)
    {
        m_folder->seed(rows);
        m_list = std::make_unique<BidderList>(m_folder->storePath());
        if (!m_list->load())
            QTest::qFail("the list did not load", __FILE__, __LINE__);
        return *m_list;
    }
    // Starts the job and gives back what its finished signal said, once it has.
    template <typename Value, typename Job, typename Start>
    static Value resultOf(Job &job, void (Job::*finished)(const Value &), Start start,
                          const Value &unfinished = Value(Failure{QStringLiteral("did not finish")}))
    {
        std::optional<Value> result;
        const QMetaObject::Connection connection =
            connect(&job, finished, &job, [&result](const Value &value) { result.emplace(value); });
        start();
        if (!QTest::qWaitFor([&result] { return result.has_value(); }, 20000))
            QTest::qFail("the job did not finish", __FILE__, __LINE__);
        disconnect(connection);
        return result.value_or(unfinished);
    }

    // Starts a save, answers its question, and gives back what it asked and how it ended.
    struct Saved
    {
        QList<SaveToSite::Question> asked;
        SaveToSite::Outcome outcome;
        QList<SaveToSite::Step> steps;
    };
    Saved save(SaveToSite::Choice choice)
    {
        SaveToSite job(*m_connection, *m_list);
        Saved saved;
        connect(&job, &SaveToSite::choiceNeeded, this, [&](const SaveToSite::Question &question) {
            saved.asked << question;
            job.answer(choice);
        });
        connect(&job, &SaveToSite::progress, this, [&](SaveToSite::Step step) {
            if (saved.steps.isEmpty() || saved.steps.last() != step)
                saved.steps << step;
        });
        saved.outcome = resultOf(
            job, &SaveToSite::finished, [&] { job.start(); }, SaveToSite::Outcome{});
        return saved;
    }

private slots:
    void initTestCase() { QVERIFY(useEmptyHome()); }
    void init()
    {
        QVERIFY(startSite());
        m_connection = std::make_unique<SiteConnection>(siteUrl(), m_folder->path(), m_quick);
    }
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_list.reset();
        m_connection.reset();
        m_site.reset();
        m_folder.reset();
    }

    void saveSyncsWithWhatTheListsLastAgreedOn()
    {
        BidderList &list = listOf({bidder("bob"), bidder("carol"), bidder("alice")});
        QVERIFY(list.sortBy(BidderStore::Column::UserName));
        Saved saved = save(SaveToSite::Choice::Send);
        QCOMPARE(saved.asked.size(), 1);
        QCOMPARE(saved.asked[0].text, QStringLiteral("Add alice, bob, carol to your blocked bidders?"));
        QCOMPARE(saved.outcome.message, QStringLiteral("Added alice, bob, carol to your eBay Blocked Bidders"));
        QCOMPARE(saved.steps,
                 QList<SaveToSite::Step>({SaveToSite::Step::ReadingSiteList, SaveToSite::Step::ReadingAgain,
                                          SaveToSite::Step::Posting, SaveToSite::Step::ReadingBack}));
        // The site's list read first and again just before the post, then the list read back to see
        // that it kept them.
        QCOMPARE(m_site->requests().size(), size_t(4));
        QCOMPARE(posted(), QStringList{"alice, bob, carol&"});

        // Saving is a sync against what the two lists last agreed on, set by a save that the site kept
        // (and by an import): an id deleted here is unblocked, named first, and Enter gets past the question.
        QVERIFY(list.remove(1));
        saved = save(SaveToSite::Choice::Keep); // Enter
        QCOMPARE(saved.asked.size(), 1);
        QCOMPARE(saved.asked[0].text, QStringLiteral("Saving also unblocks bob, which you deleted here.\n\n"
                                                     "Add alice, carol to your blocked bidders?"));
        QCOMPARE(saved.outcome.message, QStringLiteral("Added alice, carol to your eBay Blocked Bidders\n\n"
                                                       "Unblocked on the site: 1 bidder (bob)."));
        QCOMPARE(m_site->sellerList(), std::vector<std::string>({"alice", "carol"}));
        QCOMPARE(**list.siteBase(), QStringList({"alice", "carol"}));

        // A store made before that was kept has none: every id only the site holds is asked about.
        QVERIFY(list.remove(1));
        m_folder->sql("DROP TABLE SiteList");
        QVERIFY(list.load()); // as the program finds an older store when it starts
        saved = save(SaveToSite::Choice::Cancel);
        QCOMPARE(saved.asked.size(), 1);
        QCOMPARE(saved.asked[0].siteOnlyIds, QStringList{"carol"});

        // Signed out: the message says how to sign in, through the wizard too.
        m_site->setSignedOut(true);
        saved = save(SaveToSite::Choice::Send);
        QVERIFY(saved.asked.isEmpty());
        QVERIFY(saved.outcome.message.contains(QStringLiteral("step 1 of the setup wizard")));
    }

    // The site holds ids the local list lacks: Cancel sends nothing, Remove them sends the list as it
    // is, Keep them adds them, checked and stored, and sends all. Keep them stores nothing unless every
    // kept id has its answer and the store takes them; what the list holds then is said.
    void saveAsksAboutWhatOnlyTheSiteHolds_data()
    {
        QTest::addColumn<SaveToSite::Choice>("choice");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QStringList>("posted");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("outcome"); // the notice, or what the failure says
        const QStringList alice{"alice"}, all{"alice", "yan", "zed"};
        const SaveToSite::Choice keep = SaveToSite::Choice::Keep;
        QTest::newRow("Cancel") << SaveToSite::Choice::Cancel << QString() << QStringList() << alice << QString();
        QTest::newRow("Remove them") << SaveToSite::Choice::Send << QString() << QStringList{"alice&"} << alice
                                     << "Added alice to your eBay Blocked Bidders\n\n"
                                        "Unblocked on the site: 2 bidders (yan, zed).";
        QTest::newRow("Keep them") << keep << QString() << QStringList{"alice, yan, zed&"} << all
                                   << "Added alice, yan, zed to your eBay Blocked Bidders";
        QTest::newRow("Keep them, a lookup fails") << keep << "lookup" << QStringList() << alice
                                                   << "whether \"yan\" is a registered user, so nothing was added";
        QTest::newRow("Keep them, the store refuses the second")
            << keep << "store" << QStringList() << all.mid(0, 2)
            << "So nothing was sent to the site.\n\n1 of the 2 bidders found on the site are in your list now.";
    }
    void saveAsksAboutWhatOnlyTheSiteHolds()
    {
        QFETCH(SaveToSite::Choice, choice);
        QFETCH(QString, fault);
        QFETCH(QString, outcome);
        BidderList &list = listOf({bidder("alice")});
        m_site->setNaruIds({"zed"});
        m_site->setSellerList({"ALICE", "yan", "zed"});
        if (fault == "lookup")
            m_site->setLookupFault("yan", {404, 0, false});
        else if (fault == "store")
            m_folder->sql("CREATE TRIGGER z BEFORE INSERT ON Bidders WHEN NEW.UserName = 'zed' "
                          "BEGIN SELECT RAISE(ABORT, 'no zed'); END");
        const Saved saved = save(choice);
        QCOMPARE(saved.asked.size(), 1);
        // What matters is said first, above the list.
        QVERIFY(saved.asked[0].text.startsWith(
            "The site's list also holds 2 bidders that your list does not: yan, zed. Saving"));
        QVERIFY(saved.asked[0].text.endsWith("saves your list as it is.\n\nAdd alice to your blocked bidders?"));
        QCOMPARE(saved.asked[0].siteOnlyIds, QStringList({"yan", "zed"}));
        QTEST(posted(), "posted");
        QTEST(namesOf(list.rows()), "listed");
        QCOMPARE(m_folder->stored(), list.rows());
        QCOMPARE(saved.outcome.kind == SaveToSite::Outcome::Kind::Failed, !fault.isEmpty());
        QVERIFY2(fault.isEmpty() ? saved.outcome.message == outcome : saved.outcome.message.contains(outcome),
                 qPrintable(saved.outcome.message));
        if (choice == SaveToSite::Choice::Keep && fault.isEmpty())
            QCOMPARE(list.at(2).naru + list.at(2).reason, QStringLiteral("YesFound on the site"));
    }

    // Stopped before the post: nothing is posted, and it ends at once, silently. Once posted, it
    // runs to the site's answer.
    void saveStopsOnlyBeforeThePost()
    {
        listOf({bidder("alice")});
        m_site->setFault({0, 300, false});
        SaveToSite job(*m_connection, *m_list);
        QList<SaveToSite::Outcome> finished;
        connect(&job, &SaveToSite::finished, this, [&](const SaveToSite::Outcome &outcome) { finished << outcome; });
        job.start();
        QTRY_VERIFY(!m_site->requests().empty()); // the browser session read, the site's list asked for
        QVERIFY(job.stop());
        QCOMPARE(finished.size(), 1);
        QCOMPARE(int(finished[0].kind), int(SaveToSite::Outcome::Kind::Stopped));

        connect(&job, &SaveToSite::choiceNeeded, this, [&] { job.answer(SaveToSite::Choice::Send); });
        job.start();
        QTRY_VERIFY_WITH_TIMEOUT(job.isPosting(), 10000);
        QVERIFY(!job.stop());
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 2, 10000);
        QCOMPARE(int(finished[1].kind), int(SaveToSite::Outcome::Kind::Done));
    }

    // The site's list is read again just before the post: what it gained while the seller answered
    // is asked about in the same way, and Enter keeps it; Remove them then is not asked a third time. A
    // list that changes a second time is left as it is.
    void saveLooksAgainBeforeThePost_data()
    {
        QTest::addColumn<QStringList>("gained"); // an id after each read of the site's list
        QTest::addColumn<SaveToSite::Choice>("choice");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("outcome"); // the notice, or what the failure says
        QTest::newRow("Enter keeps it") << QStringList{"zed"} << SaveToSite::Choice::Keep
                                        << QStringList({"alice", "zed"})
                                        << "Added alice, zed to your eBay Blocked Bidders";
        QTest::newRow("Remove them") << QStringList{"x"} << SaveToSite::Choice::Send << QStringList{"alice"}
                                     << "Added alice to your eBay Blocked Bidders\n\n"
                                        "Unblocked on the site: 1 bidder (x).";
        QTest::newRow("changed again") << QStringList({"x", "y"}) << SaveToSite::Choice::Send << QStringList{"alice"}
                                       << "changed again";
    }
    void saveLooksAgainBeforeThePost()
    {
        QFETCH(QStringList, gained);
        QFETCH(SaveToSite::Choice, choice);
        QFETCH(QString, outcome);
        BidderList &list = listOf({bidder("alice")});
        QVERIFY(list.setSiteBase({"alice"}));
        m_site->setSellerList({"alice"});
        for (const QString &id : gained)
            m_site->addAfterNextBlockPageRead({id.toStdString()});
        const Saved saved = save(choice);
        QCOMPARE(saved.asked.size(), 2);
        QVERIFY(saved.asked[0].siteOnlyIds.isEmpty());
        QCOMPARE(saved.asked[1].siteOnlyIds, gained.mid(0, 1));
        QVERIFY(saved.asked[1].text.contains("also holds 1 bidder that your list does not: " + gained[0] + '.'));
        QVERIFY2(gained.size() > 1 ? saved.outcome.message.contains(outcome) : saved.outcome.message == outcome,
                 qPrintable(saved.outcome.message));
        QCOMPARE(posted().isEmpty(), gained.size() > 1);
        QTEST(list.userNames(), "listed");
        if (choice == SaveToSite::Choice::Keep)
            QCOMPARE(saved.steps,
                     QList<SaveToSite::Step>({SaveToSite::Step::ReadingSiteList, SaveToSite::Step::ReadingAgain,
                                              SaveToSite::Step::CheckingKept, SaveToSite::Step::ReadingAgain,
                                              SaveToSite::Step::Posting, SaveToSite::Step::ReadingBack}));
    }

    // Over the site's limit, the rows marked NARU are left off, from the end; a list still too long
    // is not sent at all.
    void saveFitsTheSitesLimit_data()
    {
        QTest::addColumn<int>("registered");
        QTest::addColumn<int>("naru");
        QTest::newRow("4,990 registered and 20 NARU") << 4990 << 20;
        QTest::newRow("5,001 registered") << 5001 << 0;
    }
    void saveFitsTheSitesLimit()
    {
        QFETCH(int, registered);
        QFETCH(int, naru);
        QList<Bidder> rows;
        std::vector<std::string> sent;
        for (int i = 0; i < registered; ++i)
            rows << bidder(QStringLiteral("r%1").arg(i));
        for (int i = 0; i < naru; ++i) // among the others, so that "from the end" is the list's end
            rows.insert(i * 200, bidder(QStringLiteral("n%1").arg(i), "Yes"));
        for (const Bidder &row : rows) // the last ten NARU ids in the list are left off
            if (row.naru == "No" || row.userName.mid(1).toInt() < 10)
                sent.push_back(row.userName.toStdString());
        listOf(rows);
        m_site->setUploadKeeps(kSiteListLimit);
        const Saved saved = save(SaveToSite::Choice::Keep);
        if (registered > kSiteListLimit) {
            QVERIFY(saved.asked.isEmpty());
            QVERIFY2(saved.outcome.message.startsWith("Your list holds 5,001 registered bidders, and the site keeps at "
                                                      "most 5,000, so nothing was sent. Delete 1 of them"),
                     qPrintable(saved.outcome.message));
            QVERIFY(posted().isEmpty());
            return;
        }
        QVERIFY(saved.asked.at(0).text.startsWith("The site keeps at most 5,000 blocked bidders, so saving leaves off "
                                                  "10 bidders marked NARU: n10, n11, "));
        QCOMPARE(int(saved.outcome.kind), int(SaveToSite::Outcome::Kind::Done));
        QVERIFY(saved.outcome.message.contains("\n\nLeft off for the site's limit: 10 bidders marked NARU (n10, "));
        QCOMPARE(m_site->sellerList(), sent);
    }

    // A post the site answered is read back, and the list read back decides, even when its answer
    // cannot be kept; the post carries the form's tokens.
    void saveReadsBackWhateverTheAnswer()
    {
        BidderList &list = listOf({bidder("alice")});
        QVERIFY(QDir(m_folder->path()).mkdir(QStringLiteral("response2.htm")));
        m_site->setFormTokens(true);
        Saved saved = save(SaveToSite::Choice::Send);
        QVERIFY2(saved.outcome.message.startsWith("Added alice to your eBay Blocked Bidders\n\nThe site answered your "
                                                  "upload, but Bidwarden could not keep its answer."),
                 qPrintable(saved.outcome.message));
        QCOMPARE(posted(), QStringList{"alice&stok=k%2FZq%2B3%3D&srt=a%26b+c"});
        QVERIFY(list.add(bidder("bob")));
        m_site->setUploadKeeps(1);
        saved = save(SaveToSite::Choice::Send);
        QCOMPARE(int(saved.outcome.kind), int(SaveToSite::Outcome::Kind::Failed));
        QVERIFY2(saved.outcome.message.startsWith("The site answered your upload, but Bidwarden could not keep its "
                                                  "answer."),
                 qPrintable(saved.outcome.message));
        QVERIFY(saved.outcome.message.endsWith("Your local list is unchanged."));
        QCOMPARE(**list.siteBase(), QStringList{"alice"});
    }

    // Without an answer nothing is stored, and the failure says why. Signed out, the seller signs in
    // and saves again: the session is read afresh, and what was typed is stored as it was typed.
    void blockBidderStoresWhatWasTypedOnceChecked()
    {
        BidderList &list = listOf({bidder("alice")});
        m_site->setNaruIds({" O'Brien "});
        m_site->setRequiredCookie("sid", "794f48f6956c52038e2e6b7b1adc0057");
        BlockBidder job(*m_connection, list);
        const auto block = [&](const QString &id, const QString &reason) {
            return resultOf(job, &BlockBidder::finished, [&] { job.start(id, reason); });
        };
        const Status signedOut = block(QStringLiteral("bob"), QString());
        QVERIFY(!signedOut);
        QVERIFY2(signedOut.error().startsWith(QStringLiteral("Bidwarden could not check whether \"bob\" is")) &&
                     signedOut.error().contains(QStringLiteral("sign in")),
                 qPrintable(signedOut.error()));
        QCOMPARE(m_folder->storedNames(), QStringList{"alice"});
        QCOMPARE(list.count(), 1);

        QVERIFY(QFile::copy(QStringLiteral(BIDWARDEN_FIXTURES "/cookies.txt"), m_folder->file("cookies.txt")));
        QVERIFY(QFile::setPermissions(m_folder->file("cookies.txt"), QFile::ReadOwner | QFile::WriteOwner));
        const Status blocked = block(QStringLiteral(" O'Brien "), QStringLiteral("bounced cheque"));
        QVERIFY2(blocked.has_value(), qPrintable(blocked ? QString() : blocked.error()));
        const Bidder added = m_folder->stored().last();
        QCOMPARE(added.userName + added.naru + added.reason, QStringLiteral(" O'Brien Yesbounced cheque"));
        QCOMPARE(added.dateTime.size(), DateTimeText().size());
        QCOMPARE(list.rows(), m_folder->stored());
    }

    // Each answer is stored in its row, in list order, whatever order the answers come in. A sweep
    // that cannot take an answer stops there: rows before it keep their new values, the rest their
    // old ones, though the site answered for them. The site says carol and bob are NARU.
    void checkNaru_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("says");
        QTest::addColumn<QStringList>("naru");
        const QStringList unchanged{"No", "Yes", "No"};
        QTest::newRow("all answered") << QString() << QString() << QStringList{"Yes", "No", "Yes"};
        QTest::newRow("lookup fails") << "lookup"
                                      << "whether \"alice\" is a registered user, so the check stopped there."
                                      << QStringList{"Yes", "Yes", "No"};
        QTest::newRow("store refuses") << "store"
                                       << "no update" << unchanged;
        QTest::newRow("record gone") << "gone"
                                     << "no stored record for \"carol\"" << unchanged;
    }
    void checkNaru()
    {
        QFETCH(QString, fault);
        QFETCH(QString, says);
        BidderList &list = listOf({bidder("carol"), bidder("alice", "Yes"), bidder("bob")});
        m_site->setNaruIds({"carol", "bob"});
        m_site->setLookupFault("carol", {0, 200, false}); // the first row's answer comes last
        if (fault == "lookup")
            m_site->setLookupFault("alice", {404, 0, false});
        else if (fault == "store")
            m_folder->sql("CREATE TRIGGER b BEFORE UPDATE ON Bidders BEGIN SELECT RAISE(ABORT, 'no update'); END");
        else if (fault == "gone")
            m_folder->sql("DELETE FROM Bidders WHERE UserName = 'carol'");
        CheckNaru job(*m_connection, list);
        QList<int> counts;
        connect(&job, &CheckNaru::rowsChecked, this, [&counts](int count) { counts << count; });
        const Status result = resultOf(job, &CheckNaru::finished, [&] { job.start(); });
        QCOMPARE(result.has_value(), fault.isEmpty());
        QVERIFY2(result || result.error().contains(says), qPrintable(result ? QString() : result.error()));
        QCOMPARE(counts, fault.isEmpty() ? QList<int>({1, 2, 3}) : QList<int>{1});
        QTEST(naruOf(list.rows()), "naru");
        if (fault != "gone")
            QCOMPARE(m_folder->stored(), list.rows());
    }

    void importReplacesTheListOnlyOnceAllIsChecked()
    {
        BidderList &list = listOf({bidder("local")});
        ImportFromSite job(*m_connection, list);
        QStringList checked;
        connect(&job, &ImportFromSite::idChecked, this,
                [&](int, const QString &id, bool naru) { checked << id + (naru ? "!" : ""); });
        auto import = [&] {
            checked.clear();
            return resultOf(job, &ImportFromSite::finished, [&] { job.start(); });
        };
        // Without a backup of the list it would replace, the list is not replaced.
        m_folder->write(QStringLiteral("backups"), "a file where the folder goes");
        m_site->setSellerList({"alpha", "beta", "gamma"});
        m_site->setNaruIds({"beta"});
        Result<ImportFromSite::Imported> result = import();
        QVERIFY(!result);
        QVERIFY(result.error().contains(QStringLiteral("could not back up its list of blocked bidders, %1, into %2.")
                                            .arg(m_folder->storePath(), m_folder->file(QStringLiteral("backups")))));
        QCOMPARE(m_folder->storedNames(), QStringList{"local"});
        QCOMPARE(m_folder->bytes(QStringLiteral("backups")), QByteArray("a file where the folder goes"));
        QVERIFY(!job.lastImport());
        QVERIFY(QFile::remove(m_folder->file(QStringLiteral("backups"))));

        result = import();
        QVERIFY(result.has_value() && result->notice.isEmpty());
        QCOMPARE(checked, QStringList({"alpha", "beta!", "gamma"}));
        QCOMPARE(namesOf(result->rows), QStringList({"alpha", "beta", "gamma"}));
        QCOMPARE(m_folder->stored(), list.rows());
        QCOMPARE(list.rows(), *job.lastImport());
        QCOMPARE(list.at(1).naru + list.at(1).reason, QStringLiteral("YesAuto Added by Wizard"));
        QVERIFY(!QFile::exists(m_folder->file(QStringLiteral("response.htm"))));

        // A lookup that fails then leaves the list as it was.
        m_site->setLookupFault("beta", {0, 0, true});
        result = import();
        QVERIFY(!result && result.error().contains(QStringLiteral("\"beta\" (entry 2 of 3)")));
        QCOMPARE(m_folder->stored(), *job.lastImport());
        m_site->setLookupFault("beta", {});

        // The import sets what the two lists agree on: an id deleted here since is unblocked.
        QVERIFY(list.remove(1));
        const Saved saved = save(SaveToSite::Choice::Keep); // Enter
        QCOMPARE(saved.asked.size(), 1);
        QVERIFY(saved.asked[0].text.startsWith(QStringLiteral("Saving also unblocks beta, which you deleted here.")));
        QCOMPARE(saved.outcome.message, QStringLiteral("Added alpha, gamma to your eBay Blocked Bidders\n\n"
                                                       "Unblocked on the site: 1 bidder (beta)."));
        QCOMPARE(m_site->sellerList(), std::vector<std::string>({"alpha", "gamma"}));

        // A Download while signed out changes nothing, and makes no backup to push older ones out.
        m_site->setSignedOut(true);
        result = import();
        QVERIFY(!result && result.error().contains(QStringLiteral("sign in")));
        const QStringList backups = QDir(m_folder->file(QStringLiteral("backups"))).entryList(QDir::Files);
        QCOMPARE(backups.size(), 1);
        QCOMPARE(namesOf(*BidderStore(m_folder->file("backups/" + backups.first())).readAll()), QStringList{"local"});
        QCOMPARE(m_folder->storedNames(), QStringList({"alpha", "gamma"}));
    }

private:
    std::unique_ptr<SiteConnection> m_connection;
    std::unique_ptr<BidderList> m_list;
};

QTEST_GUILESS_MAIN(TestJobs)
#include "tst_jobs.moc"
