// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// The site client against the stand-in site on loopback, with real page files.
#include "StandinSite.h"
#include "session/FirefoxCookies.h"
#include "site/BlockListUpload.h"
#include "site/BlockPageForm.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <array>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

const QByteArray cgiPath = "/aw-cgi/eBayISAPI.dll";
const QByteArray lookupTarget = cgiPath + "?MfcISAPICommand=ReturnUserIdHistory&requested=";
const QStringList pageFiles{"naru.htm", "response2.htm", "readback.htm"};
using Ids = std::vector<std::string>;
Q_DECLARE_METATYPE(Ids)
// No waits between tries, so that the tests stay fast; a Retry-After waits at most 0.3 s.
const SiteClient::Timeouts fast{5000, 300, 5000, {0, 0}, 300};

// The site operations as the windows run them, each waited for.
template <typename T> SiteResult<T> settle(std::optional<SiteResult<T>> &result)
{
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 30000))
        return SiteError{SiteError::Kind::Failed, "(no end)"};
    return *result;
}
SiteResult<bool> lookup(const SiteClient &site, const QString &id)
{
    NaruChecks checks(site);
    std::optional<SiteResult<bool>> result;
    // The first word counts: an answer followed by a failure is an answer acted on.
    QObject::connect(&checks, &NaruChecks::answered, &checks, [&](int, bool naru) { result = result.value_or(naru); });
    QObject::connect(&checks, &NaruChecks::failed, &checks,
                     [&](int, const SiteError &e) { result = result.value_or(e); });
    checks.start({id});
    return settle(result);
}
// The site's list read first (unless not `readFirst`), then the post (with the form's fields), which cannot be
// stopped once sent, and the read-back. The file at `unwritable` becomes a folder between the first read and the post.
struct Sent
{
    UploadCheck check;
    UploadNotes notes;
};
SiteResult<Sent> sendList(const SiteClient &site, const QStringList &ids, const QString &unwritable = {},
                          bool readFirst = true)
{
    BlockListUpload job(site);
    std::optional<SiteResult<Sent>> result;
    const auto send = [&](const QList<FormField> &fields) {
        job.send(ids, fields);
        QVERIFY(job.isPosting() && !job.stop());
    };
    QObject::connect(&job, &BlockListUpload::siteListRead, &job, [&](const SiteListRead &read) {
        if (!unwritable.isEmpty())
            QFile::remove(unwritable), QDir().mkdir(unwritable);
        send(read.formFields);
    });
    QObject::connect(&job, &BlockListUpload::uploaded, &job, [&](const UploadCheck &check, const UploadNotes &notes) {
        result = Sent{check, notes};
    });
    QObject::connect(&job, &BlockListUpload::failed, &job, [&](const SiteError &e) { result = e; });
    readFirst ? job.readSiteList() : send({});
    return settle(result);
}

class TestSite : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinSite> m_site;
    std::unique_ptr<SiteClient> m_client;

    // What an operation came to, as a word a table can hold.
    static QString outcome(const SiteError &e)
    {
        return std::array{"(failed)", "(signed out)", "(no list)", "(no answer)"}[int(e.kind)];
    }
    static QString outcome(const SiteResult<bool> &r) { return r ? (*r ? "Yes" : "No") : outcome(r.error()); }
    static QString outcome(const SiteResult<QStringList> &r) { return r ? r->join('|') : outcome(r.error()); }
    static QString outcome(const SiteResult<Sent> &r)
    {
        if (!r)
            return outcome(r.error());
        const UploadCheck &c = r->check;
        return (r->notes.replyLost ? "(no reply) " : "") +
               (c.done() ? "done"
                         : QStringLiteral("%1 of %2; missing %3; extra %4")
                               .arg(QString::number(c.held), QString::number(c.sent), c.missing.join(','),
                                    c.extra.join(',')));
    }

    QString siteUrl() const { return QString::fromStdString(m_site->baseUrl()); }
    QByteArray page(const QString &name) const
    {
        QFile file(m_dir->filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    void writePage(const QString &name, const QByteArray &content) const
    {
        QFile file(m_dir->filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    // host: a name that reaches the stand-in on loopback, instead of its address
    std::unique_ptr<SiteClient> client(const QString &folder, const CookieJar &cookies, const QString &host = {}) const
    {
        auto client = std::make_unique<SiteClient>(
            host.isEmpty() ? siteUrl() : QStringLiteral("http://%1:%2").arg(host).arg(m_site->port()), folder, cookies);
        if (!host.isEmpty())
            client->setConnectTo({"::127.0.0.1:"}); // every name, on the same port
        client->setTimeouts(fast);
        return client;
    }

private slots:
    // The TLS keys of the seller's session are never written where the environment says.
    void initTestCase()
    {
        QTemporaryDir dir;
        qputenv("SSLKEYLOGFILE", QFile::encodeName(dir.filePath("keys")));
        SiteClient("https://127.0.0.1", dir.path(), CookieJar());
        QVERIFY(!QFile::exists(dir.filePath("keys")));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_site = std::make_unique<StandinSite>();
        QVERIFY(m_dir->isValid() && m_site->start());
        m_client = client(m_dir->path(), CookieJar());
    }
    void cleanup() { m_client.reset(); } // its kept connections would hold the stand-in's stop

    // "Yes" needs the phrase on one line, exactly as written (a line ends at CR or CR LF, a lone LF
    // stays in it). "No" needs the id in the page's text, as typed or in lower case as the site shows
    // ids, as a word that a final "." may end. A page that only echoes the request, in its markup or
    // in the site's own name, is no answer, nor is any other page.
    void lookups_data()
    {
        QTest::addColumn<QByteArray>("reply"); // "Latin-1", "robot check": the stand-in's own
        QTest::addColumn<QString>("id");       // empty: " a+b%1 \u00eb "
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("result");
        auto row = [](const char *name, const QByteArray &reply, const char *result, int status = 0,
                      const QString &id = {}) { QTest::newRow(name) << reply << id << status << QString(result); };
        const QByteArray id = "<meta charset=utf-8><td>a+b%1 \xc3\xab</td>";
        row("inside markup", "<p><b>x</b> is not a registered user.</p>\r\n", "Yes");
        row("capital first letter", "Not a registered user " + id + "\r\n", "No");
        row("split by CR LF", "not a registered\r\nuser " + id, "No");
        row("the id by references", "<b>a&#43;b&#x25;1 &#xEB;</b>", "No");
        row("UTF-8 by its byte-order mark", "\xef\xbb\xbf<b>a+b%1 \xc3\xab</b>", "No");
        row("the id inside a longer word", "<b>xa+b%1 \xc3\xab</b>", "(no answer)");
        row("empty reply", "", "(no answer)");
        row("bytes kept as they came", QByteArray("caf\xc3\xa9 \xe9\r\nline\rmore\nend\0tail", 27), "(no answer)");
        row("400 naming the id", "<h1>Bad request</h1>" + id, "(failed)", 400);
        row("error status with the phrase", "not a registered user", "Yes", 500);
        row("password field", "<form><input name=userid><input type=password name=pass></form>", "(signed out)");
        row("capitals, double quotes", "<INPUT NAME=\"pass\" TYPE=\"PASSWORD\">", "(signed out)");
        row("single quotes among attributes", "<input class=x type='password' size=8>", "(signed out)");
        row("unquoted, self-closed", "<input type=password/>", "(signed out)");
        row("tag over two lines", "<input name=pass\r\n type=password>", "(signed out)");
        row("a text field named password", "<input type=text name=password>" + id, "No");
        row("another type", "<input type=passwords>" + id, "No");
        const QString zoe = QStringLiteral("zo\u00eb");
        row("a quoted > in an attribute", "<a title='x > ghost' href=\"?x=>ghost\">here</a>", "(no answer)", 0,
            "ghost");
        row("comment, script and style", "<!-- ghost --><SCRIPT>q='<b>ghost</b>'</script ><style>#ghost{}</style>",
            "(no answer)", 0, "ghost");
        row("eBay is down", "<h1>eBay is down for maintenance</h1>", "(no answer)", 0, "ebay");
        row("the robot check", "robot check", "(no answer)", 0, "ghost");
        row("bob.", "<p>User ID history for bob.</p>", "No", 0, "bob");
        row("(bob)", "<td>(bob)</td>", "No", 0, "bob");
        row("bob.smith", "<td>bob.smith</td>", "(no answer)", 0, "bob");
        row("an id that ends in a full stop", "history for bob..", "No", 0, "bob.");
        row("in lower case", "&lt;bob&gt;", "No", 0, "BOB");
        row("Latin-1", "Latin-1", "No", 0, zoe);
        row("undeclared is Latin-1", "history for zo\xeb", "No", 0, zoe);
        row("undeclared UTF-8", "history for zo\xc3\xab", "(no answer)", 0, zoe);
        row("UTF-8 declared", "<meta http-equiv=Content-Type content='text/html; charset=UTF-8'>zo\xc3\xab", "No", 0,
            zoe);
    }
    void lookups()
    {
        QFETCH(QByteArray, reply);
        QFETCH(QString, id);
        QFETCH(int, status);
        QFETCH(QString, result);
        // Escaped in the address so that it cannot break the query, and named in a message as it is,
        // not as markup: "%1" is no placeholder. The blanks around it are no part of it on a page.
        const bool escaped = id.isEmpty();
        if (escaped)
            id = QStringLiteral(" a+b%1 \u00eb ");
        const QByteArray sent = lookupTarget + "%20a%2Bb%251%20%C3%AB%20";
        const bool generated = reply == "Latin-1" || reply == "robot check";
        m_site->setRobotCheck(reply == "robot check");
        m_site->setLatin1(reply == "Latin-1");
        if (!generated)
            m_site->setHistoryPage(id.toStdString(), reply.toStdString());
        m_site->setLookupFault(id.toStdString(), {status, 0, false});
        // A longer earlier reply must not show through, and a link planted in the page file's place is
        // replaced, not written through; the reply is the user's alone.
        writePage("target", QByteArray(4096, 'p'));
        QVERIFY(QFile::link(m_dir->filePath("target"), m_dir->filePath("naru.htm")));
        const SiteResult<bool> naru = lookup(*m_client, id);
        QCOMPARE(outcome(naru), result);
        QCOMPARE(page("target"), QByteArray(4096, 'p'));
        struct stat written;
        QVERIFY(lstat(QFile::encodeName(m_dir->filePath("naru.htm")), &written) == 0);
        QCOMPARE(written.st_mode, mode_t(S_IFREG | 0600));
        if (!generated)
            QCOMPARE(page("naru.htm"), reply);
        QVERIFY(reply != "robot check" || page("naru.htm").contains("requested=ghost\""));
        QVERIFY(!escaped || m_site->requests().front().target == sent.toStdString());
        const QStringList says = result == "(no answer)"
                                     ? QStringList{'"' + id + '"', "named neither", m_dir->filePath("naru.htm")}
                                     : QStringList{'"' + id + '"', "status", siteUrl() + sent};
        for (const QString &part : says)
            QVERIFY2(naru || result == "(signed out)" || naru.error().message.contains(part),
                     qPrintable(naru.error().message));
    }

    // No usable reply fails every operation, and a signed-out site's sign-in page, or a redirect off the
    // path, is no answer either; nor is a page from another origin. A page file changes only when a
    // reply came for it. The upload stops at its first read, before anything is posted. Passing outages
    // are tried again, 3 tries at most, a Retry-After held to the longest wait; another answer never is.
    void siteFaults_data()
    {
        QTest::addColumn<QString>("fault");       // or where the signed-out site redirects to
        QTest::addColumn<int>("requests");        // 3 tries of each GET for a passing outage
        QTest::addColumn<QStringList>("results"); // lookup, upload (whose first read is the import's)
        QTest::addColumn<QString>("says");        // in every message
        const QStringList failed(2, "(failed)");
        const QString url = "http://127.0.0.1:", signIn = "Keep me signed in";
        QTest::newRow("refused") << "refused" << 0 << failed << url;
        QTest::newRow("error status") << "503" << 6 << failed << "status 503";
        QTest::newRow("404 once") << "404" << 4 << QStringList{"(failed)", "done"} << "status 404";
        QTest::newRow("429 twice, Retry-After 1 s held to 0.3 s") << "429" << 6 << QStringList{"No", "done"} << "";
        QTest::newRow("dropped mid-reply") << "drop" << 6 << failed << url;
        QTest::newRow("silent too long") << "silence" << 6 << failed << "nothing came from the site";
        QTest::newRow("runaway reply") << "runaway" << 2 << failed << "grew beyond";
        QTest::newRow("unwritable page") << "unwritable" << 2 << failed << "Could not write the page file";
        QTest::newRow("sign-in page") << "" << 2 << QStringList(2, "(signed out)") << signIn;
        QTest::newRow("redirect off the path") << "/elsewhere" << 4 << QStringList(2, "(signed out)") << signIn;
        QTest::newRow("redirect on the same path")
            << QString(lookupTarget + "other") << 4 << QStringList{"(no answer)", "(no list)"} << "cookies";
        QTest::newRow("another host") << "localhost" << 4 << failed << "sent it on to http://localhost:";
        // The site's names, standin.co.uk's hosts; co.uk is a public suffix, no one's domain.
        QTest::newRow("the site's sign-in host") << "signin.standin" << 4 << QStringList(2, "(signed out)") << signIn;
        QTest::newRow("another domain's host")
            << "signin.other" << 4 << failed << "sent it on to http://signin.other.co.uk:";
        QTest::newRow("another port") << "port" << 4 << failed << "which is not the site";
    }
    void siteFaults()
    {
        QFETCH(QString, fault);
        QFETCH(int, requests);
        QFETCH(QStringList, results);
        QFETCH(QString, says);
        const bool toHost = fault.startsWith("signin.");
        const bool signedOut = fault.isEmpty() || fault.startsWith('/') || fault == "signin.standin";
        const bool answered = signedOut || fault == "503" || fault == "404"; // so the messages name the cookie problem
        const QStringList replaced = fault.startsWith('4')               ? pageFiles
                                     : answered || fault.startsWith('/') ? QStringList{"naru.htm", "readback.htm"}
                                                                         : QStringList();
        writePage("cookies.sqlite", "not a database"); // so that messages have a cookie problem to name
        const CookieJar cookies = ReadCookiesSqlite(m_dir->filePath("cookies.sqlite"), {"127.0.0.1", m_dir->path()});
        const auto site =
            client(m_dir->filePath(fault == "unwritable" ? "missing" : ""), cookies, toHost ? "cgi.standin.co.uk" : "");
        StandinSite other;
        m_site->setSellerList({"alice"});
        if (fault == "refused")
            m_site->stop();
        if (fault.startsWith('4'))
            m_site->failNextRequests(fault == "404" ? 1 : 2, fault.toInt(), fault == "404" ? -1 : 1);
        if (fault == "503" || fault == "drop" || fault == "silence")
            m_site->setFault({fault == "503" ? 503 : 0, fault == "silence" ? 3000 : 0, fault == "drop"});
        if (fault == "runaway") {
            site->setTimeouts({5000, 5000, 60000, {0, 0}, 300}); // a slow machine may take a while to send 16 MB
            const std::string huge(SiteClient::MaxReplyBytes + 1, 'x');
            m_site->setHistoryPage("alice", huge.substr(0, SiteClient::MaxLookupReplyBytes + 1)); // over 2 MB
            m_site->setBlockPage(huge);
        }
        if (fault == "localhost" || fault == "port") {
            QVERIFY(other.start());
            const std::string elsewhere = "http://" + std::string(fault == "port" ? "127.0.0.1:" : "localhost:") +
                                          std::to_string(fault == "port" ? other.port() : m_site->port());
            m_site->setRedirectElsewhere(StandinSite::Kind::Lookup, elsewhere);
            m_site->setRedirectElsewhere(StandinSite::Kind::BlockPage, elsewhere);
        }
        if (toHost)
            m_site->setSignedOut(true, "http://" + fault.toStdString() + ".co.uk:" + std::to_string(m_site->port()) +
                                           "/signin");
        else if (signedOut)
            m_site->setSignedOut(true, fault.toStdString());
        for (const QString &name : pageFiles)
            writePage(name, "previous");

        QElapsedTimer clock;
        clock.start();
        const auto naru = lookup(*site, "alice");
        QVERIFY(fault != "429" || (clock.elapsed() >= 600 && clock.elapsed() < 1500)); // the waits of `fast`
        const auto sent = sendList(*site, {"alice"});
        QCOMPARE((QStringList{outcome(naru), outcome(sent)}), results);
        const QString problem = cookies.problems().value(0, "?");
        for (const SiteError &error : {naru.error(), sent.error()}) { // no message with a value
            QVERIFY2(error.message.isEmpty() ||
                         (error.message.contains(says) && error.message.contains(problem) == answered),
                     qPrintable(error.message));
            QCOMPARE(error.signInMayHelp, error.message.contains("Keep me signed in")); // so a caller can add more
        }
        QCOMPARE(int(m_site->requests().size() + other.requests().size()), requests);
        for (const QString &name : pageFiles)
            QCOMPARE(page(name) == "previous", !replaced.contains(name));
    }

    // A reply that trickles in, a byte a second, is ended by the deadline of each try, the post's too;
    // the post is sent once.
    void deadline()
    {
        m_site->setTrickle(true);
        m_client->setTimeouts({5000, 3000, 1500, {}, 300});
        const SiteResult<bool> naru = lookup(*m_client, "alice");
        QVERIFY2(!naru && naru.error().message.contains("whole reply after 1.5 seconds"),
                 qPrintable(naru.error().message));
        // With no answer, the list is read back, which trickles too.
        const SiteResult<Sent> ended = sendList(*m_client, {"alice"}, {}, false);
        QVERIFY2(!ended && ended.error().message.contains("cannot tell whether the site took your list"),
                 qPrintable(ended.error().message));
        QCOMPARE(m_site->requests().size(), size_t(3));
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
        row("quoted name keeps the >", "<textarea name=\"bidderlist\">a, b</textarea>\r\n", ">a|b");
        row("empty entries skipped", "<x bidderlist>,alpha,,,beta, </textarea>", "alpha|beta");
        row("tab and LF stay inside", "<x bidderlist>a\tb, c\nd</textarea>\n", "a\tb|c\nd");
        row("non-ASCII", "<x bidderlist>Zo\xc3\xab, b</textarea>", "Zo\xc3\xab|b");
        row("empty area", "<textarea name=bidderlist></textarea>\r\n", "");
        row("capital L", "<textarea name=bidderList>a</textarea>", "(no list)");
        row("closing tag in capitals", "<textarea name=bidderlist>a</TEXTAREA>", "(no list)");
        row("continues on next line", "<textarea name=bidderlist>alpha,\r\nbeta</textarea>\r\n", "(no list)");
        row("closing tag inside the skipped char", "bidderlist</textarea>a</textarea>", "/textarea>a");
        row("later area wins", "<t name=bidderlist>old</textarea>\r\n<t name=bidderlist>a, b</textarea>", "a|b");
        row("later on the same line wins", "<t bidderlist>old</textarea><t bidderlist>new</textarea>", "new");
        row("a name inside the text", "<t bidderlist>a bidderlist>b</textarea>", "b");
        row("later unclosed leaves the earlier", "<t bidderlist>kept</textarea>\r\n<t bidderlist>open\r\n", "kept");
        row("form with a password field", "<input type=password name=pass>\r\n<x bidderlist>a, b</textarea>", "a|b");
        row("sign-in page", "<form><input name=userid><input type=password name=pass></form>", "(signed out)");
        row("some other page", "<html>\r\n<p>Please sign in</p>\r\n</html>\r\n", "(no list)");
        row("10,000 entries", "<x bidderlist>" + QByteArray("a,").repeated(10000) + "</textarea>",
            qPrintable(QStringList(10000, "a").join('|')));
        row("10,001 entries", "<x bidderlist>" + QByteArray("a,").repeated(10001) + "</textarea>", "(no list)");
    }
    void download()
    {
        QFETCH(QByteArray, pageText);
        QFETCH(QString, entries);
        QCOMPARE(outcome(BlockedListAnswer(*m_client, SiteReply{200, false}, SplitPageLines(pageText))), entries);
        QCOMPARE(SplitBlockedList(",a,,,b, ;c\r\n").join(QLatin1Char('|')), "|a||b||c|"); // as the site splits
    }

    // A hostile page (one line of names, ampersands and open tags) is read in linear time and memory;
    // a 15 MB list of 7.5 million entries (or empty ones), or a page of 8 million lines, is refused
    // within 150 MiB.
    void hostilePage()
    {
        const QByteArray line = QByteArray("bidderlist").repeated(100'000) + QByteArray("&").repeated(100'000) +
                                QByteArray("<input ").repeated(50'000) + "password</textarea>";
        const auto statusKb = [](const QByteArray &field) { // of this process, from /proc/self/status
            QFile status("/proc/self/status");
            const QByteArray text = status.open(QIODevice::ReadOnly) ? status.readAll() : QByteArray();
            const qsizetype at = text.indexOf("\n" + field + ":");
            return at < 0 ? -1L : text.mid(at + field.size() + 2, 24).trimmed().split(' ').first().toLong();
        };
        const pid_t child = fork();
        if (child == 0) {
            for (const int fatal : {SIGABRT, SIGSEGV, SIGBUS}) // no crash report from a copy of the test
                std::signal(fatal, SIG_DFL);
            alarm(20);
            const rlim_t bound = 150 << 20, more = rlim_t(statusKb("VmSize")) * 1024 + bound;
            const rlimit cpu{5, 5};
            [[maybe_unused]] const rlimit memory{more, more};
            setrlimit(RLIMIT_CPU, &cpu);
#if !defined(__SANITIZE_ADDRESS__) // the sanitizer's shadow memory is far larger than any such limit
            setrlimit(RLIMIT_AS, &memory);
#endif
            const QList<QByteArray> lines = SplitPageLines(line);
            bool read = FindListTexts(lines).size() == kListNamesLooked && !HasPasswordField(lines) &&
                        BlockPageFormFields("<form>" + line).isEmpty() && !PageNamesId(lines, "alice") &&
                        !BlockedListAnswer(*m_client, {}, lines);
            const auto list = "<x bidderlist>" + QByteArray("a,").repeated(7'500'000) + "</textarea>";
            read = read && SplitBlockedList(list).size() == kMaxListEntries &&
                   SplitBlockedList(QByteArray(15'000'000, ',')).size() == kMaxListEntries &&
                   !BlockedListAnswer(*m_client, {200, false}, SplitPageLines(list));
            const QList<QByteArray> many = SplitPageLines(QByteArray("a\r").repeated(8'000'000));
            read = read && many.size() == kMaxPageLines + 1 && !NaruAnswer(*m_client, "a", {200, false}, many);
#if !defined(__SANITIZE_ADDRESS__)
            read = read && statusKb("VmHWM") * 1024 < long(bound);
#endif
            _exit(read ? 0 : 1);
        }
        int status = -1;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == 0, qPrintable(QString::number(status)));
    }

    // An upload is done only when the site's list, read back, holds the ids sent, each as the site
    // splits them. Every post is read back, whatever came of it.
    void upload_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<Ids>("before");
        QTest::addColumn<int>("siteKeeps"); // -1: all, 0: none, n: the first n
        QTest::addColumn<QString>("fault"); // of the post
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("says"); // in the message, or the warnings when done
        QStringList many;
        for (int i = 0; i < kSiteListLimit + 12; ++i)
            many << QStringLiteral("id%1").arg(i);
        const QString capped = "5000 of 5012; missing " + many.mid(kSiteListLimit, 10).join(',') + "; extra ";
        const Ids old{"old"};
        const QString notKept = "0 of 1; missing alice; extra old";
        auto row = [](const char *name, const QStringList &ids, const Ids &before, int keeps, const QString &result,
                      const char *says = "", const char *fault = "") {
            QTest::newRow(name) << ids << before << keeps << fault << result << says;
        };
        row("all kept", {"alice", "Bob.9_x-y*", "carol"}, old, -1, "done");
        row("escaped ids", {"x&y=z", "Zo\u00eb", "1+1%"}, {"x&y=z"}, -1, "done");
        row("blanks around an id", {" bob", "carol "}, {" BOB ", "carol"}, -1, "done");
        row("none kept", {"alice", "bob"}, old, 0, "0 of 2; missing alice,bob; extra old", "holds 0 of the 2");
        row("capped at 5,000", many, {}, kSiteListLimit, capped, "and 2 more.\n\nThe site keeps at most 5,000");
        row("extras", {"alice", "bob"}, {"ALICE", "bob", "zed", ""}, 0, "2 of 2; missing ; extra zed",
            "not in your list: zed.");
        row("case, repeats, empty entries aside", {"Alice", "bob", "bob", ""}, {"alice", "BOB"}, 0, "done");
        row("empty list empties", {}, old, -1, "done");
        row("empty list not kept", {}, old, 0, "0 of 0; missing ; extra old", "did not empty");
        row("post answered 500", {"alice"}, old, -1, notKept, "status 500", "500");
        row("post dropped", {"alice"}, old, -1, "(no reply) " + notKept, "did not answer your upload", "drop");
        row("post taken, then silence", {"alice"}, old, -1, "(no reply) done", "nothing came from the site", "silence");
        row("post sent to sign in", {"alice"}, old, -1, notKept, "If you were signed out", "302");
        row("answer not kept", {"alice"}, old, -1, "done", "could not keep its answer", "response2.htm");
        row("list read back not kept", {"alice"}, old, -1, "done", "could not keep the page", "readback.htm");
    }
    void upload()
    {
        QFETCH(QStringList, ids);
        QFETCH(Ids, before);
        QFETCH(int, siteKeeps);
        QFETCH(QString, fault);
        QFETCH(QString, result);
        QFETCH(QString, says);
        QStringList escaped; // as a form would escape them; the separators go as they are
        for (const QString &id : ids)
            escaped << QUrl::toPercentEncoding(id, "*");
        m_site->setSellerList(before);
        m_site->setUploadKeeps(siteKeeps);
        const bool unwritable = fault.endsWith(".htm");
        if (!fault.isEmpty() && !unwritable)
            m_site->setUploadFault({fault.toInt(), fault == "silence" ? 3000 : 0, fault == "drop"}, "/signin");

        const SiteResult<Sent> sent = sendList(*m_client, ids, unwritable ? m_dir->filePath(fault) : QString());
        QCOMPARE(outcome(sent), result);
        const auto requests = m_site->requests();
        QCOMPARE(requests.size(), size_t(3)); // a post is never sent again, and always read back
        QCOMPARE(requests[1].method + ' ' + requests[1].target + ' ' + requests[1].body,
                 "POST " + cgiPath.toStdString() + " MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=" +
                     escaped.join(", ").toStdString() + '&');
        QCOMPARE(requests[0].method + ' ' + requests[0].target, "GET " + (cgiPath + "?BidderBlockLogin").toStdString());
        for (const auto &request : requests) // the form type on every request, GET included
            QVERIFY(request.headers.count("Content-Type") == 1 &&
                    request.headers.find("Content-Type")->second == "application/x-www-form-urlencoded");
        QVERIFY(page("readback.htm").contains("bidderlist") || fault == "readback.htm");
        QVERIFY(sent);
        std::string held; // what the site holds, as read back
        for (const std::string &id : m_site->sellerList())
            held += id + ',';
        QCOMPARE(sent->notes.siteIds,
                 SplitBlockedList(QByteArray::fromStdString(held)).filter(QRegularExpression(".")));
        const QString message =
            (sent->check.done() ? QString() : UploadNotKeptMessage(sent->check)) + sent->notes.warnings.join('\n');
        const QStringList parts =
            sent->check.done() ? QStringList{says} : QStringList{says, sent->check.replyPath, sent->check.readBackPath};
        for (const QString &part : parts)
            QVERIFY2(message.contains(part), qPrintable(message));
        QCOMPARE(sent->notes.warnings.isEmpty(), fault.isEmpty());
        QCOMPARE(sent->notes.signInMayHelp, message.contains("Keep me signed in"));
    }

    // The post carries the hidden fields of the form that holds the list, as the site's own form
    // would post them, after the upload's own fields; without any, the body is the upload's alone.
    void formFields_data()
    {
        QTest::addColumn<QByteArray>("page");
        QTest::addColumn<QString>("fields");  // name=value, decoded, joined by "|"
        QTest::addColumn<QByteArray>("tail"); // of the body, after "bidderlist=alice, bob&"
        const QByteArray list = "<textarea name=bidderlist>a, b</textarea>\r\n";
        const QByteArray own = "<input type=hidden name=MfcISAPICommand value=BidderBlockResult><input name=userid>"
                               "<input type=password name=pass>";
        auto row = [](const char *name, const QByteArray &page, const char *fields, const QByteArray &tail) {
            QTest::newRow(name) << page << QString::fromUtf8(fields) << tail;
        };
        row("the upload's own fields only", "<form method=post>" + own + list + "</form>", "", "");
        row("tokens, as written and encoded",
            "<form>\r\n<input type=hidden name=stok value=\"k/Zq+3=\">" + list +
                "<INPUT TYPE='HIDDEN' NAME='srt' VALUE='a&amp;b c \xc3\xa9&#x2F;'/></form>",
            "stok=k/Zq+3=|srt=a&b c \xc3\xa9/", "stok=k%2FZq%2B3%3D&srt=a%26b+c+%C3%A9%2F");
        row("another form's fields are not this one's",
            "<form><input type=hidden name=q value=1></form><form>" + list +
                "<input type=hidden name=t value=2></form><form><input type=hidden name=q value=3></form>",
            "t=2", "t=2");
        row("the last form with a list",
            "<form>" + list + "<input type=hidden name=t value=1></form><form>" + list +
                "<input type=hidden name=t value=2></form>",
            "t=2", "t=2");
        row("no form around the list", "<formula><input type=hidden name=t value=1>" + list, "", "");
        row("a form to the end of the page", "<form name=f>" + list + "<input type=hidden name=t value=1>", "t=1",
            "t=1");
        row("other inputs, disabled, nameless, unquoted ends",
            "<form><input type=text name=a value=1><input type=hidden name=b value=2 disabled><input type=hidden "
            "value=3><inputs type=hidden name=c><input\r\ntype=hidden name=d value=4/>" +
                list + "<input type=hidden name=e value=x type=text name=f value=y></form>",
            "d=4/|e=x", "d=4%2F&e=x");
        row("an empty value and a repeat",
            "<form>" + list + "<input type=hidden name=t><input type=hidden name=t value=>", "t=|t=", "t=&t=");
        QByteArray many = "<form>" + list;
        for (int i = 0; i < kFormFieldsKept + 1; ++i)
            many += "<input type=hidden name=f value=" + QByteArray::number(i) + ">";
        QStringList kept;
        for (int i = 0; i < kFormFieldsKept; ++i)
            kept << "f=" + QString::number(i);
        row("only so many fields", many, qPrintable(kept.join('|')), kept.join('&').toLatin1());
    }
    void formFields()
    {
        QFETCH(QByteArray, page);
        QFETCH(QString, fields);
        QFETCH(QByteArray, tail);
        const QList<FormField> found = BlockPageFormFields(page);
        QStringList named;
        for (const FormField &field : found)
            named << field.name + '=' + field.value;
        QCOMPARE(named.join('|'), fields);
        QCOMPARE(UploadBodyWithFields({"alice", "bob"}, found), UploadBody({"alice", "bob"}) + tail);
    }

    // The notice names the site's limit only when more than it keeps were sent and some are missing.
    void notKeptNamesTheLimitOnlyWhenItCut()
    {
        auto namesLimit = [](int sent, int held, int extra) {
            UploadCheck check;
            check.sent = sent, check.held = held, check.extraCount = extra;
            return UploadNotKeptMessage(check).contains("keeps at most");
        };
        QVERIFY(namesLimit(5001, 5000, 0) && !namesLimit(5000, 4999, 0) && !namesLimit(2, 0, 0) &&
                !namesLimit(5001, 5001, 1));
    }

    // The shortcut before the sets: "same" in the usual case, and only where the sets would say so.
    void sameIdsInOrder_data()
    {
        QTest::addColumn<QStringList>("ours");
        QTest::addColumn<QStringList>("site");
        QTest::addColumn<bool>("same");
        QTest::newRow("as sent") << QStringList{"alice", "bob"} << QStringList{"alice", "bob"} << true;
        QTest::newRow("letter case") << QStringList{"Alice"} << QStringList{"aLICE"} << true;
        QTest::newRow("one more") << QStringList{"alice"} << QStringList{"alice", "bob"} << false;
        QTest::newRow("other id") << QStringList{"alice"} << QStringList{"alicia"} << false;
        QTest::newRow("empty entry") << QStringList{""} << QStringList{""} << false;
        QTest::newRow("two in one") << QStringList{"a b"} << QStringList{"a b"} << false;
    }
    void sameIdsInOrder()
    {
        QFETCH(QStringList, ours);
        QFETCH(QStringList, site);
        QFETCH(bool, same);
        QCOMPARE(SameIdsInOrder(ours, site), same);
    }

    // Checks run four at once and answer in the order asked, whatever order the replies come in.
    // One that fails stops the job at its place: every answer before it comes, none after it. A
    // folder that takes no page stops the job before its first answer. A slow reply holds back only
    // so many requests after it until it is answered: 64, or fewer when the replies waiting for it
    // would take more than 32 MB (of 1.5 MB pages, about 19 wait).
    void checksInParallel_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("pageBytes"); // 0: the stand-in's own page
        QTest::addColumn<int>("failing");   // its connection drops; 0: no page file can be written
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("answers");
        QTest::addColumn<int>("least"); // requests sent before the first answer
        QTest::addColumn<int>("most");
        QTest::newRow("all answered") << 9 << 0 << -1 << -1 << 9 << 9 << 9;
        QTest::newRow("the fifth fails") << 9 << 0 << 4 << -1 << 4 << 0 << 9;
        QTest::newRow("stopped after the second") << 9 << 0 << -1 << 1 << 2 << 0 << 9;
        QTest::newRow("no page file") << 9 << 0 << 0 << -1 << 0 << 0 << 0;
        QTest::newRow("small pages held back") << 70 << 0 << -1 << -1 << 70 << 64 << 64;
        QTest::newRow("1.5 MB pages held back") << 30 << 1536 * 1024 << -1 << -1 << 30 << 15 << 21;
    }
    void checksInParallel()
    {
        QFETCH(int, count);
        QFETCH(int, pageBytes);
        QFETCH(int, failing);
        QFETCH(int, stopAfter);
        QFETCH(int, answers);
        QStringList ids, expected;
        for (int i = 0; i < count; ++i) {
            ids << QStringLiteral("id%1").arg(i);
            expected << ids.back() + (pageBytes == 0 && (i == 2 || i == 7) ? "!" : "");
            if (pageBytes > 0)
                m_site->setHistoryPage(ids.back().toStdString(),
                                       std::string(pageBytes, ' ') + "<b>" + ids.back().toStdString() + "</b>");
        }
        m_site->setNaruIds({"id2", "id7"});
        m_site->setLookupFault("id0", {0, 500, false}); // the first replies come last
        m_site->setLookupFault("id1", {0, 150, false});
        m_site->setLookupFault("id2", {0, 50, false});
        if (failing > 0)
            m_site->setLookupFault(ids[failing].toStdString(), {0, 0, true});
        const auto site = client(m_dir->filePath(failing == 0 ? "missing" : ""), CookieJar());
        NaruChecks checks(*site);
        QStringList got;
        int failedAt = -1, sentBeforeFirst = 0;
        bool finished = false;
        connect(&checks, &NaruChecks::answered, this, [&](int index, bool naru) {
            got << ids[index] + (naru ? "!" : "");
            if (index == 0)
                sentBeforeFirst = int(m_site->requests().size());
            if (index == stopAfter)
                checks.stop();
        });
        connect(&checks, &NaruChecks::failed, this, [&](int index, const SiteError &) { failedAt = index; });
        connect(&checks, &NaruChecks::finished, this, [&] { finished = true; });
        checks.start(ids);
        QTRY_VERIFY_WITH_TIMEOUT(finished || failedAt >= 0 || (stopAfter >= 0 && got.size() > stopAfter), 30000);
        QTest::qWait(350); // nothing comes after the end
        QCOMPARE(got, expected.mid(0, answers));
        QCOMPARE(failedAt, failing);
        QCOMPARE(finished, failing < 0 && stopAfter < 0);
        QVERIFY(!checks.isRunning());
        QCOMPARE(m_site->peakRequestsInFlight(), 4);
        QFETCH(int, least);
        QFETCH(int, most);
        QVERIFY2(sentBeforeFirst >= least && sentBeforeFirst <= most, qPrintable(QString::number(sentBeforeFirst)));
        // The page file holds the reply a one-at-a-time job would have left there.
        QVERIFY(answers == 0 || page("naru.htm").contains(ids[answers - 1].toUtf8() + "<"));
        m_site->clearRequests();
        finished = false;
        checks.start({});
        QTRY_VERIFY(finished);
        QCOMPARE(m_site->requests().size(), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestSite)
#include "tst_site.moc"
