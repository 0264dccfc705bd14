// SPDX-License-Identifier: MIT
// The site client against the stand-in site on loopback, with real page files.
#include "StandinSite.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <array>
#include <memory>
#include <sys/stat.h>

const QByteArray cgiPath = "/aw-cgi/eBayISAPI.dll";
const QByteArray lookupTarget = cgiPath + "?MfcISAPICommand=ReturnUserIdHistory&requested=";
const QStringList pageFiles{"naru.htm", "response.htm", "response2.htm", "readback.htm"};
using Ids = std::vector<std::string>;
Q_DECLARE_METATYPE(Ids)
// No waits between tries, so that the tests stay fast; a Retry-After waits at most 0.3 s.
const SiteClient::Timeouts fast{5000, 300, {0, 0}, 300};

class TestSite : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinSite> m_site;
    std::unique_ptr<SiteClient> m_client;

    // What an operation came to, as a word a table can hold.
    static QString outcome(const SiteError &e)
    {
        return std::array{"(failed)", "(signed out)", "(no list)"}[int(e.kind)];
    }
    static QString outcome(const SiteResult<bool> &r) { return r ? (*r ? "Yes" : "No") : outcome(r.error()); }
    static QString outcome(const SiteResult<QStringList> &r) { return r ? r->join('|') : outcome(r.error()); }
    static QString outcome(const SiteResult<UploadCheck> &r)
    {
        if (!r || r->done())
            return r ? "done" : outcome(r.error());
        return QStringLiteral("%1 of %2; missing %3; extra %4")
            .arg(QString::number(r->held), QString::number(r->sent), r->missing.join(','), r->extra.join(','));
    }

    QString siteUrl() const { return QString::fromStdString(m_site->baseUrl()); }
    QByteArray page(const QString &name) const
    {
        QFile file(m_client->pagePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    void writePage(const QString &name, const QByteArray &content) const
    {
        QFile file(m_client->pagePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    std::unique_ptr<SiteClient> client(const QString &folder, const BrowserCookies &cookies) const
    {
        auto client = std::make_unique<SiteClient>(siteUrl(), folder, cookies);
        client->setTimeouts(fast);
        return client;
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_site = std::make_unique<StandinSite>();
        QVERIFY(m_dir->isValid() && m_site->start());
        m_client = client(m_dir->path(), BrowserCookies());
    }
    void cleanup() { m_client.reset(); } // its kept connections would hold the stand-in's stop

    // The phrase counts on one line, exactly as written; an error page or the sign-in page is no answer.
    // A line ends at CR or CR LF; a lone LF stays in the line.
    void lookups_data()
    {
        QTest::addColumn<QByteArray>("reply"); // "generated": the stand-in's own history page
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        auto row = [](const char *name, const QByteArray &reply, const char *result, int status = 0) {
            QTest::newRow(name) << reply << status << QString::fromLatin1(result);
        };
        row("inside markup", "<p><b>x</b> is not a registered user.</p>\r\n", "Yes");
        row("capital first letter", "Not a registered user\r\n", "No");
        row("split by CR LF", "not a registered\r\nuser\r\n", "No");
        row("split by CR alone", "not a registered\ruser", "No");
        row("LF-only page", "<html>\n<p>not a registered user</p>\n</html>\n", "Yes");
        row("empty reply", "", "No");
        row("bytes kept as they came", QByteArray("caf\xc3\xa9 \xe9\r\nline\rmore\nend\0tail", 27), "No");
        row("error page", "<h1>Service unavailable</h1>", "(failed)", 503);
        row("400 without the phrase", "<h1>Bad request</h1>", "(failed)", 400);
        row("error status with the phrase", "not a registered user", "Yes", 500);
        row("the site's history page", "generated", "No");
        row("password field", "<form><input name=userid><input type=password name=pass></form>", "(signed out)");
        row("capitals, double quotes", "<INPUT NAME=\"pass\" TYPE=\"PASSWORD\">", "(signed out)");
        row("single quotes among attributes", "<input class=x type='password' size=8>", "(signed out)");
        row("unquoted, self-closed", "<input type=password/>", "(signed out)");
        row("tag over two lines", "<input name=pass\r\n type=password>", "(signed out)");
        row("a text field named password", "<input type=text name=password>", "No");
        row("another type", "<input type=passwords>", "No");
    }
    void lookups()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, status);
        QFETCH(QString, result);
        // Escaped in the address so that it cannot break the query, and named in a message as it is,
        // not as markup: "%1" is no placeholder.
        const QString id = QStringLiteral("a+b%1 \u00eb");
        const QByteArray sent = lookupTarget + "a%2Bb%251%20%C3%AB";
        if (reply != "generated")
            m_site->setHistoryPage(id.toStdString(), reply.toStdString());
        m_site->setLookupFault(id.toStdString(), {status, 0, false});
        // A longer earlier reply must not show through, and a link planted in the page file's place is
        // replaced, not written through; the reply is the user's alone.
        writePage("target", QByteArray(4096, 'p'));
        QVERIFY(QFile::link(m_client->pagePath("target"), m_client->pagePath("naru.htm")));
        const SiteResult<bool> naru = IsNaru(*m_client, id);
        QCOMPARE(outcome(naru), result);
        QCOMPARE(page("target"), QByteArray(4096, 'p'));
        struct stat written;
        QVERIFY(lstat(QFile::encodeName(m_client->pagePath("naru.htm")), &written) == 0);
        QCOMPARE(written.st_mode, mode_t(S_IFREG | 0600));
        if (reply != "generated")
            QCOMPARE(page("naru.htm"), reply);
        QCOMPARE(m_site->requests().back().target, sent.toStdString());
        for (const QString &part : QStringList{'"' + id + '"', "status", siteUrl() + sent})
            QVERIFY2(result != "(failed)" || naru.error().message.contains(part), qPrintable(naru.error().message));
    }

    // No usable reply fails every operation, and a signed-out site's sign-in page, or a redirect off the
    // path, is no answer either. A page file changes only when a reply came for it.
    void siteFaults_data()
    {
        QTest::addColumn<QString>("fault");       // or where the signed-out site redirects to
        QTest::addColumn<int>("requests");        // 3 tries of each GET for a passing outage, 1 of the post
        QTest::addColumn<QStringList>("results"); // lookup, download, upload
        QTest::addColumn<QString>("says");        // in every message
        const QStringList failed(3, "(failed)");
        const QString url = "http://127.0.0.1:", signIn = "Keep me signed in";
        QTest::newRow("refused") << "refused" << 0 << failed << url;
        QTest::newRow("error status") << "503" << 7 << failed << "status 503";
        QTest::newRow("dropped mid-reply") << "drop" << 7 << failed << url;
        QTest::newRow("silent too long") << "silence" << 7 << failed << "nothing came from the site";
        QTest::newRow("runaway reply") << "runaway" << 4 << failed << "beyond 16 MB";
        QTest::newRow("unwritable page") << "unwritable" << 3 << failed << "Could not write the page file";
        QTest::newRow("sign-in page") << "" << 3 << QStringList(3, "(signed out)") << signIn;
        QTest::newRow("redirect off the path")
            << "/elsewhere" << 5 << QStringList{"(signed out)", "(signed out)", "(failed)"} << signIn;
        QTest::newRow("redirect on the same path")
            << QString(lookupTarget + "other") << 5 << QStringList{"No", "(no list)", "(failed)"} << signIn;
    }
    void siteFaults()
    {
        QFETCH(QString, fault);
        QFETCH(int, requests);
        QFETCH(QStringList, results);
        QFETCH(QString, says);
        const bool signedOut = fault.isEmpty() || fault.startsWith('/');
        const bool answered = signedOut || fault == "503"; // so the messages name the cookie problem
        const QStringList replaced = answered             ? QStringList{"naru.htm", "response.htm", "response2.htm"}
                                     : fault == "runaway" ? QStringList{"response2.htm"} // the post's reply was small
                                                          : QStringList();
        writePage("cookies.sqlite", "not a database"); // so that messages have a cookie problem to name
        const BrowserCookies cookies =
            BrowserCookies::fromCookiesSqlite(m_client->pagePath("cookies.sqlite"), {"127.0.0.1", m_dir->path()});
        const auto site = client(m_dir->filePath(fault == "unwritable" ? "missing" : ""), cookies);
        if (fault == "refused")
            m_site->stop();
        if (fault == "503" || fault == "drop" || fault == "silence")
            m_site->setFault({fault == "503" ? 503 : 0, fault == "silence" ? 3000 : 0, fault == "drop"});
        if (fault == "runaway") {
            site->setTimeouts({5000, 5000, {0, 0}, 300}); // a slow machine may take a while to send 16 MB
            const std::string huge(SiteClient::MaxReplyBytes + 1, 'x');
            m_site->setHistoryPage("alice", huge);
            m_site->setBlockPage(huge);
        }
        if (signedOut)
            m_site->setSignedOut(true, fault.toStdString());
        for (const QString &name : pageFiles)
            writePage(name, "previous");

        const auto naru = IsNaru(*site, "alice");
        const auto list = DownloadBlockedList(*site);
        const auto upload = UploadBlockList(*site, {"alice"});
        QCOMPARE((QStringList{outcome(naru), outcome(list), outcome(upload)}), results);
        const QString problem = cookies.problems().value(0, "?");
        for (const SiteError &error : {naru.error(), list.error(), upload.error()}) // no message with a value
            QVERIFY2(error.message.isEmpty() ||
                         (error.message.contains(says) && error.message.contains(problem) == answered),
                     qPrintable(error.message));
        QCOMPARE(int(m_site->requests().size()), requests);
        for (const QString &name : pageFiles)
            QCOMPARE(page(name) == "previous", !replaced.contains(name));
    }

    // Passing outages are tried again, 3 tries at most; another answer never is (nor the post: siteFaults).
    void retries_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("status"); // 0: the connection drops
        QTest::addColumn<int>("retryAfter");
        QTest::addColumn<int>("requests");
        QTest::addColumn<QString>("result");
        QTest::newRow("503 once") << 1 << 503 << -1 << 2 << "No";
        QTest::newRow("502 three times") << 3 << 502 << -1 << 3 << "(failed)";
        QTest::newRow("429 twice, Retry-After 1 s held to 0.3 s") << 2 << 429 << 1 << 3 << "No";
        QTest::newRow("404") << 1 << 404 << -1 << 1 << "(failed)";
    }
    void retries()
    {
        QFETCH(int, failures);
        QFETCH(int, status);
        QFETCH(int, retryAfter);
        QFETCH(int, requests);
        QFETCH(QString, result);
        const int atLeastMs = retryAfter > 0 ? 300 * (requests - 1) : 0; // the waits of `fast`
        m_site->failNextRequests(failures, status, retryAfter);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(outcome(IsNaru(*m_client, "alice")), result);
        QVERIFY(clock.elapsed() >= atLeastMs && clock.elapsed() < atLeastMs + 900);
        QCOMPARE(int(m_site->requests().size()), requests);
    }
    void retryWaits() // tries made, Retry-After, the wait before the next try
    {
        const int cases[][3] = {{1, -1, 1000}, {2, -1, 2000}, {3, -1, -1}, {1, 4, 4000}, {2, 60, 10000}, {3, 0, -1}};
        for (const auto &c : cases)
            QCOMPARE(NextTryWaitMs(SiteClient::Timeouts(), c[0], c[1]), c[2]);
    }

    void download_data()
    {
        QTest::addColumn<QByteArray>("pageText");
        QTest::addColumn<QString>("entries"); // joined by "|", or what the download came to
        auto row = [](const char *name, const QByteArray &text, const char *entries) {
            QTest::newRow(name) << text << QString::fromUtf8(entries);
        };
        row("unquoted name", "<textarea name=bidderlist>alpha, beta;gamma</textarea>\r\n", "alpha|beta|gamma");
        row("quoted name keeps the >", "<textarea name=\"bidderlist\">a, b</textarea>\r\n", ">a|b");
        row("three commas leave an empty entry", "<x bidderlist>alpha,,,beta</textarea>", "alpha||beta");
        row("semicolon and space", "<x bidderlist>a; b</textarea>", "a|b");
        row("leading comma, trailing separator", "<x bidderlist>,alpha, </textarea>", "|alpha|");
        row("repeats kept", "<x bidderlist>bob, bob</textarea>", "bob|bob");
        row("tab and LF stay inside", "<x bidderlist>a\tb, c\nd</textarea>\n", "a\tb|c\nd");
        row("non-ASCII", "<x bidderlist>Zo\xc3\xab, b</textarea>", "Zo\xc3\xab|b");
        row("empty area", "<textarea name=bidderlist></textarea>\r\n", "");
        row("capital L", "<textarea name=bidderList>a</textarea>", "(no list)");
        row("closing tag in capitals", "<textarea name=bidderlist>a</TEXTAREA>", "(no list)");
        row("continues on next line", "<textarea name=bidderlist>alpha,\r\nbeta</textarea>\r\n", "(no list)");
        row("closing tag inside the skipped char", "bidderlist</textarea>a</textarea>", "/textarea>a");
        row("later area wins", "<t name=bidderlist>old</textarea>\r\n<t name=bidderlist>a, b</textarea>", "a|b");
        row("later on the same line wins", "<t bidderlist>old</textarea><t bidderlist>new</textarea>", "new");
        row("later unclosed leaves the earlier", "<t bidderlist>kept</textarea>\r\n<t bidderlist>open\r\n", "kept");
        row("form with a password field", "<input type=password name=pass>\r\n<x bidderlist>a, b</textarea>", "a|b");
        row("sign-in page", "<form><input name=userid><input type=password name=pass></form>", "(signed out)");
        row("some other page", "<html>\r\n<p>Please sign in</p>\r\n</html>\r\n", "(no list)");
    }
    void download()
    {
        QFETCH(QByteArray, pageText);
        QFETCH(QString, entries);
        m_site->setBlockPage(pageText.toStdString());
        QCOMPARE(outcome(DownloadBlockedList(*m_client)), entries);
        QCOMPARE(page("response.htm"), pageText);
        QCOMPARE(m_site->requests().at(0).target, (cgiPath + "?BidderBlockLogin").toStdString());
    }

    // An upload is done only when the site's list, read back, holds exactly the ids sent.
    void upload_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<Ids>("before");
        QTest::addColumn<QString>("result");
        QTest::addColumn<int>("siteKeeps"); // -1: all, 0: none, n: the first n
        QTest::addColumn<QString>("says");  // in the message when not done
        QStringList many;
        for (int i = 0; i < kSiteListLimit + 12; ++i)
            many << QStringLiteral("id%1").arg(i);
        const QString capped = "5000 of 5012; missing " + many.mid(kSiteListLimit, 10).join(',') + "; extra ";
        const Ids old{"old"};
        QTest::newRow("all kept") << QStringList{"alice", "Bob.9_x-y*", "carol"} << old << "done" << -1 << "";
        QTest::newRow("escaped ids") << QStringList{"x&y=z", "Zo\u00eb", "1+1%"} << old << "done" << -1 << "";
        QTest::newRow("none kept") << QStringList{"alice", "bob"} << old << "0 of 2; missing alice,bob; extra old" << 0
                                   << "holds 0 of the 2";
        QTest::newRow("capped at 5,000") << many << Ids() << capped << kSiteListLimit
                                         << "and 2 more.\n\nThe site keeps at most 5,000";
        QTest::newRow("extras") << QStringList{"alice", "bob"} << Ids{"ALICE", "bob", "zed"}
                                << "2 of 2; missing ; extra zed" << 0 << "not in your list: zed.";
        QTest::newRow("case, repeats, empty entries aside")
            << QStringList{"Alice", "bob", "bob", ""} << Ids{"alice", "BOB"} << "done" << 0 << "";
        QTest::newRow("empty list empties") << QStringList() << old << "done" << -1 << "";
        QTest::newRow("empty list not kept")
            << QStringList() << old << "0 of 0; missing ; extra old" << 0 << "did not empty";
    }
    void upload()
    {
        QFETCH(QStringList, ids);
        QFETCH(Ids, before);
        QFETCH(QString, result);
        QFETCH(int, siteKeeps);
        QFETCH(QString, says);
        QStringList escaped; // as a form would escape them; the separators go as they are
        for (const QString &id : ids)
            escaped << QUrl::toPercentEncoding(id, "*");
        m_site->setSellerList(before);
        m_site->setUploadKeeps(siteKeeps);

        const SiteResult<UploadCheck> upload = UploadBlockList(*m_client, ids);
        QCOMPARE(outcome(upload), result);
        const auto requests = m_site->requests();
        QCOMPARE(requests.size(), size_t(2));
        QCOMPARE(requests[0].method + ' ' + requests[0].target + ' ' + requests[0].body,
                 "POST " + cgiPath.toStdString() + " MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=" +
                     escaped.join(", ").toStdString() + '&');
        QCOMPARE(requests[1].method + ' ' + requests[1].target, "GET " + (cgiPath + "?BidderBlockLogin").toStdString());
        for (const auto &request : requests) // the form type on every request, GET included
            QVERIFY(request.headers.count("Content-Type") == 1 &&
                    request.headers.find("Content-Type")->second == "application/x-www-form-urlencoded");
        QVERIFY(page("readback.htm").contains("bidderlist"));
        const QString message = UploadNotKeptMessage(*upload);
        for (const QString &part : QStringList{says, upload->replyPath, upload->readBackPath})
            QVERIFY2(upload->done() || message.contains(part), qPrintable(message));
    }

    void uploadQuestion()
    {
        QStringList ids{"", "ID0"}; // an empty entry and a repeat count for nothing
        for (int i = 0; i < kSiteListLimit; ++i)
            ids << QStringLiteral("id%1").arg(i);
        QVERIFY(!UploadQuestion(ids).contains("at most"));
        QVERIFY(UploadQuestion(ids << "x").contains("at most 5,000 blocked bidders, so it will not keep all 5,001"));
    }

    // Checks run four at once and answer in the order asked, whatever order the replies come in.
    // One that fails stops the job at its place: every answer before it comes, none after it.
    void checksInParallel_data()
    {
        QTest::addColumn<int>("failing");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("answers");
        QTest::newRow("all answered") << -1 << -1 << 9;
        QTest::newRow("the fifth fails") << 4 << -1 << 4;
        QTest::newRow("stopped after the second") << -1 << 1 << 2;
    }
    void checksInParallel()
    {
        QFETCH(int, failing);
        QFETCH(int, stopAfter);
        QFETCH(int, answers);
        QStringList ids;
        for (int i = 0; i < 9; ++i)
            ids << QStringLiteral("id%1").arg(i);
        m_site->setNaruIds({"id2", "id7"});
        m_site->setLookupFault("id0", {0, 300, false}); // the first replies come last
        m_site->setLookupFault("id1", {0, 150, false});
        m_site->setLookupFault("id2", {0, 50, false});
        if (failing >= 0)
            m_site->setLookupFault(ids[failing].toStdString(), {0, 0, true});
        NaruChecks checks(*m_client);
        QStringList got;
        int failedAt = -1;
        bool finished = false;
        connect(&checks, &NaruChecks::answered, this, [&](int index, bool naru) {
            got << ids[index] + (naru ? "!" : "");
            if (index == stopAfter)
                checks.stop();
        });
        connect(&checks, &NaruChecks::failed, this, [&](int index, const SiteError &) { failedAt = index; });
        connect(&checks, &NaruChecks::finished, this, [&] { finished = true; });
        checks.start(ids);
        QTRY_VERIFY(finished || failedAt >= 0 || got.size() == stopAfter + 1);
        QTest::qWait(350); // nothing comes after the end
        QStringList expected = QStringList{"id0", "id1", "id2!", "id3", "id4", "id5", "id6", "id7!", "id8"};
        QCOMPARE(got, expected.mid(0, answers));
        QCOMPARE(failedAt, failing);
        QCOMPARE(finished, failing < 0 && stopAfter < 0);
        QVERIFY(!checks.isRunning());
        QCOMPARE(m_site->peakRequestsInFlight(), 4);
        // The page file holds the reply a one-at-a-time job would have left there.
        QVERIFY(page("naru.htm").contains(ids[answers - 1].toUtf8() + "<"));
        m_site->clearRequests();
        finished = false;
        checks.start({});
        QTRY_VERIFY(finished);
        QCOMPARE(m_site->requests().size(), size_t(0));
        // A slow reply holds back only so many requests after it, 64, until it is answered.
        ids.clear();
        for (int i = 0; i < 70; ++i)
            ids << QStringLiteral("x%1").arg(i);
        m_site->setLookupFault("x0", {0, 300, false});
        size_t sentBeforeFirst = 0;
        NaruChecks ahead(*m_client);
        connect(&ahead, &NaruChecks::answered, this, [&](int index) {
            if (index == 0)
                sentBeforeFirst = m_site->requests().size();
        });
        ahead.start(ids);
        QTRY_COMPARE(sentBeforeFirst, size_t(64));
    }
};

QTEST_GUILESS_MAIN(TestSite)
#include "tst_site.moc"
