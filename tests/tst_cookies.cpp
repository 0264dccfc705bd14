// The signed-in browser's cookies, read from files a real Firefox wrote, and sent with site requests.
#include "StandinSite.h"
#include "site/BrowserCookies.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sqlite3.h>

namespace {

const QString fixtures = QStringLiteral(BIDWARDEN_FIXTURES);
const QByteArray sid = "794f48f6956c52038e2e6b7b1adc0057";
// The day the fixtures were written, after `short` expired and long before the others do.
const QDateTime fixtureNow(QDate(2026, 12, 6), QTime(12, 0), Qt::UTC);

// The fixtures are never opened in place: a writable SQLite connection would fold the -wal away.
bool copyTree(const QString &from, const QString &to)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(source);
        if (!QDir().mkpath(QFileInfo(target).path()) || !QFile::copy(source, target))
            return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

QByteArray headerFor(BrowserCookies cookies, const QString &url, const QDateTime &now = fixtureNow)
{
    cookies.setNow(now);
    return cookies.cookieHeaderFor(url);
}

} // namespace

class TestCookies : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString m_root; // a copy of the Firefox folder that holds profiles.ini

private slots:
    void init()
    {
        m_root = m_dir.filePath(QStringLiteral("firefox-") + QString::number(QDateTime::currentMSecsSinceEpoch()));
        QVERIFY(copyTree(fixtures + QStringLiteral("/firefox-profile"), m_root));
    }

    // profiles.ini marks s9rvi61o.default Default=1; here it gets a cookie store with fewer cookies,
    // so choosing it instead of the install's profile would show.
    void profileInUse_data()
    {
        QTest::addColumn<bool>("keepInstallSections");
        QTest::addColumn<bool>("giveDefaultProfileCookies");
        QTest::addColumn<QString>("expected");
        QTest::newRow("install section wins") << true << true << QStringLiteral("ysyvhger.default-esr");
        QTest::newRow("then Default=1") << false << true << QStringLiteral("s9rvi61o.default");
        QTest::newRow("then any profile with cookies") << false << false << QStringLiteral("ysyvhger.default-esr");
    }
    void profileInUse()
    {
        QFETCH(bool, keepInstallSections);
        QFETCH(bool, giveDefaultProfileCookies);
        QFETCH(QString, expected);
        if (giveDefaultProfileCookies) {
            QVERIFY(QDir().mkpath(m_root + QStringLiteral("/s9rvi61o.default")));
            QVERIFY(QFile::copy(m_root + QStringLiteral("/wal-only/cookies.sqlite"),
                                m_root + QStringLiteral("/s9rvi61o.default/cookies.sqlite")));
        }
        if (!keepInstallSections) {
            QVERIFY(QFile::remove(m_root + QStringLiteral("/installs.ini")));
            QFile ini(m_root + QStringLiteral("/profiles.ini"));
            QVERIFY(ini.open(QIODevice::ReadOnly));
            QByteArray text = ini.readAll();
            ini.close();
            text.replace("[Install", "[Removed");
            QVERIFY(writeFile(ini.fileName(), text));
        }
        QCOMPARE(FirefoxProfileInUse(m_root), QDir::cleanPath(m_root + QLatin1Char('/') + expected));
        const int cookies = BrowserCookies::fromFirefoxRoot(m_root).cookies().size();
        QCOMPARE(cookies, expected == QLatin1String("ysyvhger.default-esr") ? 5 : 3);
    }

    void noProfileNoCookies()
    {
        QVERIFY(FirefoxProfileInUse(m_dir.filePath(QStringLiteral("nowhere"))).isEmpty());
        const BrowserCookies none = BrowserCookies::fromFirefoxRoot(m_dir.filePath(QStringLiteral("nowhere")));
        QVERIFY(none.cookies().isEmpty());
        QVERIFY(none.problems().isEmpty());
    }

    // The newest cookies of a running Firefox live only in the -wal beside the main file.
    void walOnlyStore()
    {
        const QString db = m_root + QStringLiteral("/wal-only/cookies.sqlite");
        const BrowserCookies withWal = BrowserCookies::fromCookiesSqlite(db);
        QCOMPARE(withWal.cookies().size(), 5);
        QVERIFY(withWal.problems().isEmpty());
        QVERIFY(QFile::exists(db + QStringLiteral("-wal"))); // read from a copy: the store is untouched
        QCOMPARE(headerFor(withWal, QStringLiteral("http://localhost:5000/aw-cgi/eBayISAPI.dll")), QByteArray("lh=1"));

        QVERIFY(QFile::remove(db + QStringLiteral("-wal")));
        QCOMPARE(BrowserCookies::fromCookiesSqlite(db).cookies().size(), 3);
    }

    void unreadableStoreIsAProblemNotAFailure()
    {
        const QString db = m_dir.filePath(QStringLiteral("broken/cookies.sqlite"));
        QVERIFY(writeFile(db, "this is not a database"));
        const BrowserCookies cookies = BrowserCookies::fromCookiesSqlite(db);
        QVERIFY(cookies.cookies().isEmpty());
        QCOMPARE(cookies.problems().size(), 1);
        QVERIFY(cookies.problems().first().contains(db));
    }

    void selection_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QByteArray>("header");
        const QByteArray all = "pref=uk; nonsession=keepme; sid=" + sid;
        const QString cgi = QStringLiteral("http://127.0.0.1:5000/aw-cgi/eBayISAPI.dll?BidderBlockLogin");
        for (const QString &source : {QStringLiteral("firefox"), QStringLiteral("cookies.txt")}) {
            const QByteArray s = source.toUtf8() + ": ";
            QTest::newRow(s + "under /aw-cgi") << source << cgi << fixtureNow << all;
            QTest::newRow(s + "site root")
                << source << QStringLiteral("http://127.0.0.1:5000/") << fixtureNow << "nonsession=keepme; sid=" + sid;
            QTest::newRow(s + "path prefix is not a path") << source << QStringLiteral("http://127.0.0.1/aw-cgiX")
                                                           << fixtureNow << "nonsession=keepme; sid=" + sid;
            QTest::newRow(s + "before short expired")
                << source << cgi << fixtureNow.addSecs(-6 * 3600) << all + "; short=expires-soon";
            QTest::newRow(s + "after the rest expired") << source << cgi << fixtureNow.addYears(2) << QByteArray();
            QTest::newRow(s + "other host")
                << source << QStringLiteral("http://127.0.0.2/aw-cgi/eBayISAPI.dll") << fixtureNow << QByteArray();
        }
        QTest::newRow("firefox: localhost is its own host")
            << QStringLiteral("firefox") << QStringLiteral("http://localhost:5000/aw-cgi/eBayISAPI.dll") << fixtureNow
            << QByteArray("lh=1");
    }
    void selection()
    {
        QFETCH(QString, source);
        QFETCH(QString, url);
        QFETCH(QDateTime, now);
        QFETCH(QByteArray, header);
        const BrowserCookies cookies = source == QLatin1String("firefox")
                                           ? BrowserCookies::fromFirefoxRoot(m_root)
                                           : BrowserCookies::fromCookiesTxt(fixtures + QStringLiteral("/cookies.txt"));
        QVERIFY(cookies.problems().isEmpty());
        QCOMPARE(headerFor(cookies, url, now), header);
    }

    void domainAndSecureCookies_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("bare domain, plain http")
            << QStringLiteral("http://example.test/") << QByteArray("dom=1; flagged=1");
        QTest::newRow("bare domain, https")
            << QStringLiteral("https://example.test/") << QByteArray("dom=1; sec=1; flagged=1");
        QTest::newRow("sub-host") << QStringLiteral("http://cgi.example.test/") << QByteArray("dom=1; flagged=1");
        QTest::newRow("host-only cookie")
            << QStringLiteral("http://www.example.test/") << QByteArray("dom=1; www=1; flagged=1");
        QTest::newRow("not a sub-host") << QStringLiteral("http://badexample.test/") << QByteArray();
        QTest::newRow("host in capitals")
            << QStringLiteral("http://WWW.Example.Test/") << QByteArray("dom=1; www=1; flagged=1");
    }
    void domainAndSecureCookies()
    {
        QFETCH(QString, url);
        QFETCH(QByteArray, header);
        const QString txt = m_dir.filePath(QStringLiteral("domains.txt"));
        QVERIFY(writeFile(txt, "# Netscape HTTP Cookie File\r\n"
                               ".example.test\tTRUE\t/\tFALSE\t0\tdom\t1\r\n"
                               "example.test\tFALSE\t/\tTRUE\t0\tsec\t1\r\n"
                               "www.example.test\tFALSE\t/\tFALSE\t0\twww\t1\r\n"
                               "cgi.example.test\tFALSE\t/\tFALSE\t1\told\t1\r\n"
                               "example.test\tTRUE\t/\tFALSE\t0\tflagged\t1\r\n" // the flag makes it a domain cookie
                               "broken line\r\n"));
        const BrowserCookies cookies = BrowserCookies::fromCookiesTxt(txt);
        QCOMPARE(cookies.cookies().size(), 5);
        QCOMPARE(headerFor(cookies, url), header);
    }

    // Older Firefox schemas: no originAttributes column and expiry in seconds.
    void olderSchema()
    {
        const QString db = m_dir.filePath(QStringLiteral("old/cookies.sqlite"));
        QVERIFY(QDir().mkpath(QFileInfo(db).path()));
        sqlite3 *handle = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(db).constData(), &handle), SQLITE_OK);
        const char *sql = "CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, baseDomain TEXT, name TEXT, value TEXT, "
                          "host TEXT, path TEXT, expiry INTEGER, isSecure INTEGER);"
                          "INSERT INTO moz_cookies VALUES (1, '127.0.0.1', 'sid', 'old', '127.0.0.1', '/', "
                          "1828074965, 0);"
                          "INSERT INTO moz_cookies VALUES (2, '127.0.0.1', 'gone', 'x', '127.0.0.1', '/', "
                          "1796538982, 0);";
        const int rc = sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
        sqlite3_close(handle);
        QCOMPARE(rc, SQLITE_OK);
        QCOMPARE(headerFor(BrowserCookies::fromCookiesSqlite(db), QStringLiteral("http://127.0.0.1/")),
                 QByteArray("sid=old"));
    }

    // What a user without Firefox, or with several installs, ends up sending: each cookie once.
    void fromSystemReadsHomeAndAppFolder()
    {
        const QByteArray oldHome = qgetenv("HOME");
        const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
        const QString home = m_dir.filePath(QStringLiteral("home"));
        QVERIFY(
            copyTree(fixtures + QStringLiteral("/firefox-profile"), home + QStringLiteral("/.config/mozilla/firefox")));
        const QString appFolder = m_dir.filePath(QStringLiteral("app"));
        QVERIFY(copyTree(fixtures, appFolder)); // brings cookies.txt, with the same 127.0.0.1 cookies
        qputenv("HOME", QFile::encodeName(home));
        qunsetenv("XDG_CONFIG_HOME");
        BrowserCookies cookies = BrowserCookies::fromSystem(appFolder);
        qputenv("HOME", oldHome);
        if (!oldConfig.isEmpty())
            qputenv("XDG_CONFIG_HOME", oldConfig);

        QVERIFY2(cookies.problems().isEmpty(), qPrintable(cookies.problems().join(QLatin1Char('\n'))));
        QCOMPARE(cookies.sources().size(), 2);
        QCOMPARE(headerFor(cookies, QStringLiteral("http://127.0.0.1:5000/aw-cgi/eBayISAPI.dll")),
                 "pref=uk; nonsession=keepme; sid=" + sid);
        QCOMPARE(headerFor(cookies, QStringLiteral("http://localhost/")), QByteArray("lh=1"));
    }

    // The stand-in demands the session cookie; the requests carry exactly the matching, unexpired ones.
    void requestsCarryTheBrowserCookies()
    {
        StandinSite site;
        QVERIFY(site.start());
        site.setRequiredCookie("sid", sid.toStdString());
        site.setSellerList({"alice", "bob"});
        BrowserCookies cookies = BrowserCookies::fromFirefoxRoot(m_root);
        cookies.setNow(fixtureNow);
        SiteClient client(QString::fromStdString(site.baseUrl()), m_dir.path(), cookies);

        const auto list = DownloadBlockedList(client);
        QVERIFY(list.has_value());
        QCOMPARE(*list, (QStringList{"alice", "bob"}));
        const auto upload = UploadBlockList(client, {QStringLiteral("carol")});
        QVERIFY(upload && upload->done());
        QCOMPARE(site.sellerList(), std::vector<std::string>{"carol"});

        for (const StandinSite::Request &request : site.requests()) {
            QCOMPARE(request.headers.count("Cookie"), size_t(1));
            QCOMPARE(QByteArray::fromStdString(request.headers.find("Cookie")->second),
                     "pref=uk; nonsession=keepme; sid=" + sid);
        }
    }

    void requestGoesOutWithoutCookies()
    {
        StandinSite site;
        QVERIFY(site.start());
        site.setRequiredCookie("sid", sid.toStdString());
        site.setSellerList({"alice"});
        SiteClient client(QString::fromStdString(site.baseUrl()), m_dir.path(), BrowserCookies());
        QVERIFY(DownloadBlockedList(client).signedOut());
        QVERIFY(UploadBlockList(client, {}).signedOut());
        QCOMPARE(site.sellerList(), std::vector<std::string>{"alice"}); // not signed in: nothing replaced
        QCOMPARE(site.requests().size(), size_t(2));
        QCOMPARE(site.requests()[0].headers.count("Cookie"), size_t(0));
    }
};

QTEST_GUILESS_MAIN(TestCookies)
#include "tst_cookies.moc"
