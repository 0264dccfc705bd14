// The site client against the stand-in site on loopback, with real page files.
#include "StandinSite.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using Fault = StandinSite::Fault;
Q_DECLARE_METATYPE(std::optional<bool>)

namespace {

const QByteArray cgiPath = "/aw-cgi/eBayISAPI.dll";
const QByteArray lookupTarget = cgiPath + "?MfcISAPICommand=ReturnUserIdHistory&requested=";
const QByteArray uploadPrefix = "MfcISAPICommand=BidderBlockResult&userid=&pass=&bidderlist=";

std::string str(const QByteArray &bytes)
{
    return bytes.toStdString();
}

QByteArray bytes(const std::string &text)
{
    return QByteArray::fromStdString(text);
}

std::string header(const StandinSite::Request &request, const std::string &name)
{
    const auto it = request.headers.find(name);
    return it == request.headers.end() ? std::string("(none)") : it->second;
}

} // namespace

class TestSite : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<StandinSite> m_site;
    std::unique_ptr<SiteClient> m_client;

    QByteArray page(const char *name) const
    {
        QFile file(m_client->pagePath(QString::fromLatin1(name)));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    }
    void writePage(const char *name, const QByteArray &content) const
    {
        QFile file(m_client->pagePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }

private slots:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_site = std::make_unique<StandinSite>();
        QVERIFY(m_site->start());
        // No browser cookies: these tests are about the requests and pages, not the signed-in state.
        m_client =
            std::make_unique<SiteClient>(QString::fromStdString(m_site->baseUrl()), m_dir->path(), BrowserCookies());
    }
    void cleanup()
    {
        m_client.reset();
        m_site.reset();
        m_dir.reset();
    }

    void readPageLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QList<QByteArray>>("lines");
        QTest::newRow("CR LF ends") << QByteArray("one\r\ntwo\r\n") << QList<QByteArray>{"one", "two"};
        QTest::newRow("LF alone is inside the line") << QByteArray("one\ntwo\n") << QList<QByteArray>{"one\ntwo\n"};
        QTest::newRow("CR alone ends a line") << QByteArray("one\rtwo") << QList<QByteArray>{"one", "two"};
        QTest::newRow("empty lines kept") << QByteArray("a\r\n\r\n\rb") << QList<QByteArray>{"a", "", "", "b"};
        QTest::newRow("LF before CR LF") << QByteArray("a\n\r\nb") << QList<QByteArray>{"a\n", "b"};
        QTest::newRow("CR LF LF") << QByteArray("a\r\n\nb") << QList<QByteArray>{"a", "\nb"};
        QTest::newRow("no final line end") << QByteArray("a\r\nb") << QList<QByteArray>{"a", "b"};
        QTest::newRow("empty file") << QByteArray() << QList<QByteArray>{};
    }
    void readPageLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(QList<QByteArray>, lines);
        writePage("naru.htm", content);
        QList<QByteArray> read{"stale"};
        QVERIFY(m_client->ReadPageLines(QStringLiteral("naru.htm"), &read));
        QCOMPARE(read, lines);
    }

    void isNaruScansTheReply_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("naru");
        QTest::newRow("inside markup") << QByteArray("<p><b>x</b> is not a registered user.</p>\r\n") << true;
        QTest::newRow("capital first letter") << QByteArray("Not a registered user\r\n") << false;
        QTest::newRow("capitals") << QByteArray("NOT A REGISTERED USER\r\n") << false;
        QTest::newRow("split by CR LF") << QByteArray("not a registered\r\nuser\r\n") << false;
        QTest::newRow("split by CR") << QByteArray("not a registered\ruser") << false;
        QTest::newRow("LF-only page") << QByteArray("<html>\n<p>not a registered user</p>\n</html>\n") << true;
        QTest::newRow("several times") << QByteArray("not a registered user\r\nnot a registered user") << true;
        QTest::newRow("at the very end") << QByteArray("x not a registered user") << true;
        QTest::newRow("one letter short") << QByteArray("not a registered use") << false;
        QTest::newRow("empty reply") << QByteArray() << false;
        QTest::newRow("other page") << QByteArray("<h1>Service unavailable</h1>\r\n") << false;
    }
    void isNaruScansTheReply()
    {
        QFETCH(QByteArray, reply);
        QFETCH(bool, naru);
        m_site->setHistoryPage("someone", str(reply));
        QCOMPARE(IsNaru(*m_client, QStringLiteral("someone")), std::optional<bool>(naru));
        QCOMPARE(page("naru.htm"), reply);
    }

    // Plain ids go out byte for byte; anything else is escaped so it cannot break the query.
    void isNaruRequestForm_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QByteArray>("sentId");
        QTest::newRow("plain") << QStringLiteral("Ab9.x_y-z*") << QByteArray("Ab9.x_y-z*");
        QTest::newRow("trailing space") << QStringLiteral("bob ") << QByteArray("bob%20");
        QTest::newRow("ampersand") << QStringLiteral("a&requested=b") << QByteArray("a%26requested%3Db");
        QTest::newRow("percent and plus") << QStringLiteral("50%+1") << QByteArray("50%25%2B1");
        QTest::newRow("non-ASCII") << QStringLiteral("Zo\u00eb") << QByteArray("Zo%C3%AB");
    }
    void isNaruRequestForm()
    {
        QFETCH(QString, id);
        QFETCH(QByteArray, sentId);
        m_site->setNaruIds({id.toStdString()});
        QCOMPARE(IsNaru(*m_client, id), std::optional<bool>(true)); // the site decoded the id we meant

        const auto requests = m_site->requests();
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].method, std::string("GET"));
        QCOMPARE(bytes(requests[0].target), lookupTarget + sentId);
        QCOMPARE(header(requests[0], "Content-Type"), std::string("application/x-www-form-urlencoded"));
        QCOMPARE(header(requests[0], "Cookie"), std::string("(none)"));
        QVERIFY(requests[0].body.empty());
    }

    // An error page without the phrase says nothing about the id; the phrase counts whatever the status.
    void isNaruErrorStatus_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("naruOnSite");
        QTest::addColumn<std::optional<bool>>("result");
        QTest::newRow("503 without phrase") << 503 << false << std::optional<bool>();
        QTest::newRow("400 without phrase") << 400 << false << std::optional<bool>();
        QTest::newRow("500 with phrase") << 500 << true << std::optional<bool>(true);
        QTest::newRow("399 without phrase") << 399 << false << std::optional<bool>(false);
        QTest::newRow("201 without phrase") << 201 << false << std::optional<bool>(false);
    }
    void isNaruErrorStatus()
    {
        QFETCH(int, status);
        QFETCH(bool, naruOnSite);
        QFETCH(std::optional<bool>, result);
        if (naruOnSite)
            m_site->setNaruIds({"ghost"});
        m_site->setLookupFault("ghost", Fault{status, 0, false});
        writePage("naru.htm", "previous");

        QCOMPARE(IsNaru(*m_client, QStringLiteral("ghost")), result);
        QCOMPARE(m_client->lastStatus(), status);
        QVERIFY(page("naru.htm").contains("ghost")); // the error page is saved all the same
        if (!result)
            QVERIFY2(m_client->lastError().contains(QString::number(status)) &&
                         m_client->lastError().contains(QStringLiteral("127.0.0.1")),
                     qPrintable(m_client->lastError()));
    }

    // Ids are text, not message markup: one with "%1" or a "+" (encoded as %2B) is named as it is.
    void isNaruFailureNamesTheIdAsItIs()
    {
        for (const QString &id : {QStringLiteral("a+b"), QStringLiteral("100%1off")}) {
            m_site->setLookupFault(StandinSite::percentDecode(EncodeUserId(id).toStdString()), Fault{503, 0, false});
            QVERIFY(!IsNaru(*m_client, id));
            const QString error = m_client->lastError();
            QVERIFY2(error.contains(QStringLiteral("\"") + id + QStringLiteral("\"")) &&
                         error.contains(QStringLiteral("status 503")) &&
                         error.contains(QString::fromLatin1(EncodeUserId(id))),
                     qPrintable(error));
        }
    }

    // A request that never completes is a failure: no answer, and the previous page file stays.
    void failedRequests_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("refused") << QStringLiteral("refused");
        QTest::newRow("silent beyond the no-progress limit") << QStringLiteral("delay");
        QTest::newRow("dropped mid-reply") << QStringLiteral("drop");
    }
    void failedRequests()
    {
        QFETCH(QString, kind);
        QString baseUrl = QString::fromStdString(m_site->baseUrl());
        if (kind == QLatin1String("refused")) {
            m_site->stop(); // the port is free again and nothing listens on it
        } else if (kind == QLatin1String("delay")) {
            m_site->setFault(Fault{0, 3000, false});
        } else {
            m_site->setFault(Fault{0, 0, true});
        }
        SiteClient client(baseUrl, m_dir->path(), BrowserCookies());
        client.setTimeouts({5000, 300});
        writePage("naru.htm", "previous");
        writePage("response.htm", "previous");
        writePage("response2.htm", "previous");

        QCOMPARE(IsNaru(client, QStringLiteral("alice")), std::optional<bool>());
        QVERIFY2(client.lastError().contains(baseUrl + QLatin1String(cgiPath)), qPrintable(client.lastError()));
        QCOMPARE(client.lastStatus(), 0);
        QVERIFY(!DownloadBlockedList(client).has_value());
        QVERIFY(!UploadBlockList(client, {QStringLiteral("alice")}));
        QVERIFY(!client.lastError().isEmpty());
        QCOMPARE(page("naru.htm"), QByteArray("previous"));
        QCOMPARE(page("response.htm"), QByteArray("previous"));
        QCOMPARE(page("response2.htm"), QByteArray("previous"));
    }

    void pageFileKeepsTheReplyBytes()
    {
        // Non-ASCII, lone CR and LF, a NUL: the page file is the reply, byte for byte.
        const QByteArray first("caf\xc3\xa9 \xe9\r\nline\rmore\nend\0tail", 27);
        m_site->setHistoryPage("carol", str(first));
        m_site->setHistoryPage("dave", "second reply");
        QCOMPARE(IsNaru(*m_client, QStringLiteral("carol")), std::optional<bool>(false));
        QCOMPARE(page("naru.htm"), first);
        QCOMPARE(IsNaru(*m_client, QStringLiteral("dave")), std::optional<bool>(false));
        QCOMPARE(page("naru.htm"), QByteArray("second reply"));
        // Asked again: no cached answer, a new request.
        QCOMPARE(IsNaru(*m_client, QStringLiteral("dave")), std::optional<bool>(false));
        QCOMPARE(m_site->requests().size(), size_t(3));
    }

    void pageFileThatCannotBeWritten()
    {
        SiteClient client(QString::fromStdString(m_site->baseUrl()), m_dir->filePath(QStringLiteral("missing")),
                          BrowserCookies());
        QCOMPARE(IsNaru(client, QStringLiteral("alice")), std::optional<bool>());
        QVERIFY2(client.lastError().contains(m_dir->filePath(QStringLiteral("missing/naru.htm"))),
                 qPrintable(client.lastError()));
    }

    void downloadParsing_data()
    {
        QTest::addColumn<QByteArray>("pageText");
        QTest::addColumn<bool>("hasListArea");
        QTest::addColumn<QStringList>("entries");
        const QStringList none;
        QTest::newRow("unquoted name") << QByteArray("<textarea name=bidderlist>alpha, beta;gamma</textarea>\r\n")
                                       << true << QStringList{"alpha", "beta", "gamma"};
        QTest::newRow("quoted name keeps the >")
            << QByteArray("<textarea name=\"bidderlist\">alpha, beta;gamma</textarea>\r\n") << true
            << QStringList{">alpha", "beta", "gamma"};
        QTest::newRow("three commas leave an empty entry")
            << QByteArray("<x bidderlist>alpha,,,beta</textarea>") << true << QStringList{"alpha", "", "beta"};
        QTest::newRow("four commas") << QByteArray("<x bidderlist>a,,,,b</textarea>") << true
                                     << QStringList{"a", "", "b"};
        QTest::newRow("five commas") << QByteArray("<x bidderlist>a,,,,,b</textarea>") << true
                                     << QStringList{"a", "", "", "b"};
        QTest::newRow("semicolon and space")
            << QByteArray("<x bidderlist>a; b</textarea>") << true << QStringList{"a", "b"};
        QTest::newRow("leading comma") << QByteArray("<x bidderlist>,alpha</textarea>") << true
                                       << QStringList{"", "alpha"};
        QTest::newRow("trailing separator")
            << QByteArray("<x bidderlist>alpha, </textarea>") << true << QStringList{"alpha", ""};
        QTest::newRow("repeats kept") << QByteArray("<x bidderlist>bob, bob</textarea>") << true
                                      << QStringList{"bob", "bob"};
        QTest::newRow("tab stays inside")
            << QByteArray("<x bidderlist>a\tb, c</textarea>") << true << QStringList{"a\tb", "c"};
        QTest::newRow("LF stays inside") << QByteArray("<x bidderlist>a\nb, c</textarea>\n") << true
                                         << QStringList{"a\nb", "c"};
        QTest::newRow("non-ASCII") << QByteArray("<x bidderlist>Zo\xc3\xab, b</textarea>") << true
                                   << QStringList{QStringLiteral("Zo\u00eb"), "b"};
        QTest::newRow("empty area") << QByteArray("<textarea name=bidderlist></textarea>\r\n") << true << none;
        QTest::newRow("capital L") << QByteArray("<textarea name=bidderList>a</textarea>") << false << none;
        QTest::newRow("closing tag in capitals")
            << QByteArray("<textarea name=bidderlist>a</TEXTAREA>") << false << none;
        QTest::newRow("continues on next line")
            << QByteArray("<textarea name=bidderlist>alpha,\r\nbeta</textarea>\r\n") << false << none;
        QTest::newRow("line ends after the name") << QByteArray("x bidderlist\r\n</textarea>") << false << none;
        QTest::newRow("line ends one later") << QByteArray("x bidderlist>\r\n</textarea>") << false << none;
        QTest::newRow("closing tag inside the skipped char")
            << QByteArray("bidderlist</textarea>a</textarea>") << true << QStringList{"/textarea>a"};
        QTest::newRow("later area wins") << QByteArray("<t name=bidderlist>old</textarea>\r\n"
                                                       "<t name=bidderlist>new1, new2</textarea>\r\n")
                                         << true << QStringList{"new1", "new2"};
        QTest::newRow("later area on the same line wins")
            << QByteArray("<t name=bidderlist>old</textarea><t name=bidderlist>new</textarea>") << true
            << QStringList{"new"};
        QTest::newRow("later unclosed area leaves the earlier")
            << QByteArray("<t name=bidderlist>kept</textarea>\r\n<t name=bidderlist>open\r\n") << true
            << QStringList{"kept"};
        QTest::newRow("sign-in page") << QByteArray("<html>\r\n<p>Please sign in</p>\r\n</html>\r\n") << false << none;
    }
    void downloadParsing()
    {
        QFETCH(QByteArray, pageText);
        QFETCH(bool, hasListArea);
        QFETCH(QStringList, entries);
        m_site->setBlockPage(str(pageText));
        const std::optional<BlockedList> list = DownloadBlockedList(*m_client);
        QVERIFY(list.has_value());
        QCOMPARE(list->hasListArea, hasListArea);
        QCOMPARE(list->entries, entries);
        QCOMPARE(page("response.htm"), pageText);
    }

    void downloadFromTheSite_data()
    {
        QTest::addColumn<bool>("lfOnly");
        QTest::newRow("CR LF page") << false;
        QTest::newRow("LF-only page") << true; // one long line, still holding the whole text area
    }
    void downloadFromTheSite()
    {
        QFETCH(bool, lfOnly);
        m_site->setLfOnly(lfOnly);
        m_site->setSellerList({"alice", "bob.smith", "Zo\xc3\xab", "bob.smith"});
        const auto list = DownloadBlockedList(*m_client);
        QVERIFY(list.has_value());
        QVERIFY(list->hasListArea);
        QCOMPARE(list->entries, (QStringList{"alice", "bob.smith", QStringLiteral("Zo\u00eb"), "bob.smith"}));

        const auto requests = m_site->requests();
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].method, std::string("GET"));
        QCOMPARE(bytes(requests[0].target), cgiPath + "?BidderBlockLogin");
        QCOMPARE(header(requests[0], "Content-Type"), std::string("application/x-www-form-urlencoded"));
    }

    void downloadWithoutSignIn()
    {
        m_site->setSellerList({"alice"});
        m_site->setRequiredCookie("sid", "secret");
        const auto list = DownloadBlockedList(*m_client);
        QVERIFY(list.has_value());
        QVERIFY(!list->hasListArea); // a sign-in page, not an empty list
        QVERIFY(list->entries.isEmpty());
    }

    void upload_data()
    {
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QString>("listText");
        QTest::addColumn<QByteArray>("sentList");
        QTest::newRow("three") << QStringList{"alice", "bob", "carol"} << QStringLiteral("alice, bob, carol")
                               << QByteArray("alice, bob, carol");
        QTest::newRow("one") << QStringList{"alice"} << QStringLiteral("alice") << QByteArray("alice");
        QTest::newRow("none") << QStringList{} << QString() << QByteArray();
        QTest::newRow("unusual ids escaped, separators not")
            << QStringList{"a b", "x&bidderlist=y", "Zo\u00eb", "1+1=2%"}
            << QStringLiteral("a b, x&bidderlist=y, Zo\u00eb, 1+1=2%")
            << QByteArray("a%20b, x%26bidderlist%3Dy, Zo%C3%AB, 1%2B1%3D2%25");
    }
    void upload()
    {
        QFETCH(QStringList, ids);
        QFETCH(QString, listText);
        QFETCH(QByteArray, sentList);
        m_site->setSellerList({"old"});
        QCOMPARE(BidderListText(ids), listText);
        QVERIFY(UploadBlockList(*m_client, ids));
        QCOMPARE(m_client->lastStatus(), 200);

        const auto requests = m_site->requests();
        QCOMPARE(requests.size(), size_t(1));
        QCOMPARE(requests[0].method, std::string("POST"));
        QCOMPARE(bytes(requests[0].target), cgiPath);
        QCOMPARE(header(requests[0], "Content-Type"), std::string("application/x-www-form-urlencoded"));
        QCOMPARE(bytes(requests[0].body), uploadPrefix + sentList + "&");
        QVERIFY(page("response2.htm").contains("has been saved"));

        // The site holds exactly the ids we had, and a download gives them back unchanged.
        std::vector<std::string> expected;
        for (const QString &id : ids)
            expected.push_back(id.toStdString());
        QCOMPARE(m_site->sellerList(), expected);
    }

    void uploadErrorStatusIsForTheCaller()
    {
        m_site->setFault(Fault{503, 0, false});
        QVERIFY(UploadBlockList(*m_client, {QStringLiteral("alice")}));
        QCOMPARE(m_client->lastStatus(), 503);
        QVERIFY(page("response2.htm").contains("has been saved")); // the reply is kept whatever its status
    }
};

QTEST_GUILESS_MAIN(TestSite)
#include "tst_site.moc"
