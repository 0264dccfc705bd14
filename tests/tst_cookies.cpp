// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// The signed-in browser's cookies, read from stores real Firefox and Chromium wrote, and sent with site requests.
#include "StandinSite.h"
#include "session/BrowserSession.h"
#include "session/ChromiumCookies.h"
#include "session/CookiesTxt.h"
#include "session/FirefoxCookies.h"
#include "session/SafeStorageKeyring.h"
#include "site/ParallelGets.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <sqlite3.h>
#include <sys/stat.h>
#include <tuple>
#include <unistd.h>

namespace {

// Reads a store it sets up in work, for the site at url; copies go where the program puts them.
using Reader = std::function<CookieJar(const QString &work, const QString &url)>;
using Case = std::tuple<Reader, QString, QByteArray, QString, QDateTime>; // store, url, header, problem, time

const QString fixtures = QStringLiteral(BIDWARDEN_FIXTURES);
const QString cgi = QStringLiteral("http://127.0.0.1:5000/aw-cgi/eBayISAPI.dll?BidderBlockLogin");
const QByteArray firefoxSid = "794f48f6956c52038e2e6b7b1adc0057";
const QByteArray v10Sid = QByteArray("a1").repeated(16), v11Sid = QByteArray("b2").repeated(16);
const QByteArray safeStorageSecret = "YSnCl7bTs4Ehlbz3QGILeA=="; // what the v11 fixture's keyring holds
const char *busConfig = "<busconfig><listen>unix:path=%1</listen><policy context='default'><allow own='*'/><allow "
                        "send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>%2</policy></busconfig>";
const char *bareProfiles = "[Profile0]\nPath=ysyvhger.default-esr\n[Profile1]\nPath=s9rvi61o.default\nDefault=1\n";
// After Firefox's `short` expired, before the rest do; Chromium's fixtures, made in 2036, are all live.
const QDateTime fixtureNow({2026, 12, 6}, {12, 0}, Qt::UTC);

void copyTree(const QString &from, const QString &to) // or one file
{
    QVERIFY(QDir().mkpath(QFileInfo(to).path()));
    QCOMPARE(QProcess::execute("cp", {"-rT", from, to}), 0);
}

void write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
}

void runSql(const QString &db, const QByteArray &sql)
{
    sqlite3 *handle = nullptr;
    const bool ok = !sqlite3_open(db.toUtf8(), &handle) && !sqlite3_exec(handle, sql, nullptr, nullptr, nullptr);
    sqlite3_close(handle);
    QVERIFY2(ok, sql);
}

const auto signedIn = [](const QByteArray &sid, bool withShort = false) { // the cookies that go under /aw-cgi
    return "pref=uk; nonsession=keepme; " + QByteArray(withShort ? "short=expires-soon; " : "") + "sid=" + sid;
};

// Firefox's folder: an install section (in that file) names the profile in use, then Default=1, else any.
Reader firefox(const QString &installSection = "profiles.ini", bool defaultProfileCookies = true)
{
    return [=](const QString &work, const QString &url) {
        copyTree(fixtures + "/firefox-profile", work);
        if (defaultProfileCookies)
            copyTree(work + "/wal-only/cookies.sqlite", work + "/s9rvi61o.default/cookies.sqlite"); // no `lh`
        if (installSection != "installs.ini")
            QFile::remove(work + "/installs.ini");
        if (installSection != "profiles.ini")
            write(work + "/profiles.ini", bareProfiles);
        return ReadFirefoxRoot(work, SessionQuery::forSite(url));
    };
}

// A fixture, or a database of the content or made by its SQL; a -wal, where Firefox writes first, stays as it was.
Reader file(const QString &name, const QByteArray &content = {})
{
    return [=](const QString &work, const QString &url) {
        const QString path = (content.isEmpty() ? fixtures : work) + '/' + name;
        content.startsWith("CREATE") ? runSql(path, content) : content.isEmpty() ? void() : write(path, content);
        const bool wal = QFile::exists(path + "-wal");
        const CookieJar cookies = ReadCookiesSqlite(path, SessionQuery::forSite(url));
        return QFile::exists(path + "-wal") == wal ? cookies : CookieJar();
    };
}

// The content, or the fixture's, as cookies.txt in work: a plain file, a link to one, a folder, or nobody's file.
void placeCookiesTxt(const QString &work, mode_t mode, const QString &kind = "file", const QByteArray &content = {})
{
    const QString path = work + "/cookies.txt", target = kind == "link" ? work + "/elsewhere.txt" : path;
    if (kind == "folder")
        QVERIFY(QDir().mkdir(target));
    else
        content.isEmpty() ? copyTree(fixtures + "/cookies.txt", target) : write(target, content);
    QVERIFY(kind != "link" || QFile::link(target, path));
    QVERIFY(::chmod(QFile::encodeName(target), mode) == 0);
    QVERIFY(kind != "nobody" || ::chown(QFile::encodeName(target), 65534, 65534) == 0);
}

// cookies.txt takes the place of every browser's session: only a plain file of the user's own, which no
// one else may read or write, is read, and it is checked as opened, not by its name.
Reader cookiesTxt(const QByteArray &content = {}, mode_t mode = 0600, const QString &kind = "file")
{
    return [=](const QString &work, const QString &url) {
        placeCookiesTxt(work, mode, kind, content);
        return ReadCookiesTxt(work + "/cookies.txt", SessionQuery::forSite(url));
    };
}

// v10's Local State names "Profile 1" as the one in use; v11's names none, so Default is read.
Reader chromium(const char *fixture, const QByteArray &edit = {}, const QByteArray &secret = safeStorageSecret)
{
    return [=](const QString &work, const QString &url) {
        copyTree(fixtures + '/' + fixture, work);
        runSql(work + (QByteArray(fixture).endsWith("v10") ? "/Profile 1/Cookies" : "/Default/Cookies"), edit);
        return ReadChromiumRoot(work, "Chromium", "chromium", SessionQuery::forSite(url), secret);
    };
}

// A home, also the program's folder, with some browsers in it; edit runs on Chromium's profile.
Reader home(const QStringList &installs, const QByteArray &edit = {})
{
    return [=](const QString &work, const QString &url) {
        const QString config = work + "/.config", brave = config + "/BraveSoftware/Brave-Browser";
        if (installs.contains("firefox"))
            copyTree(fixtures + "/firefox-profile", config + "/mozilla/firefox");
        if (installs.contains("chromium"))
            copyTree(fixtures + "/chromium-v10", config + "/chromium"),
                runSql(config + "/chromium/Profile 1/Cookies", edit);
        if (installs.contains("brave")) // no profile.last_used in its Local State: Default
            copyTree(fixtures + "/chromium-v10", brave), write(brave + "/Local State", "{}");
        if (installs.contains("cookies.txt"))
            placeCookiesTxt(work, 0600);
        if (installs.contains("loose cookies.txt")) // another user could have put a session of theirs in it
            placeCookiesTxt(work, 0620);
        qputenv("HOME", work.toUtf8());
        qunsetenv("XDG_CONFIG_HOME");
        return ReadBrowserSession(url, work, SessionStop());
    };
}

// A keyring that takes every call and never answers the search, as one waiting on its own prompt
// does; the bus itself answers for it.
class HungKeyring : public QDBusVirtualObject
{
public:
    QString introspect(const QString &) const override { return {}; }
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override
    {
        if (message.member() == "GetAll")
            return connection.send(message.createReply(QVariant::fromValue(QVariantMap())));
        message.setDelayedReply(true); // and the reply never comes
        return true;
    }
};

} // namespace

Q_DECLARE_METATYPE(Case)

class TestCookies : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_work;      // a fresh folder for each row
    QProcess m_buses[3]; // private session buses: a plain one, one whose policy refuses the keyring, a hung one
    QProcess m_keyring;

    // The address of private bus number `bus`, started when it is not running.
    QString startBus(int bus)
    {
        const QString socket = m_dir.filePath(QString("bus%1").arg(bus));
        if (m_buses[bus].state() == QProcess::NotRunning) {
            const char *refuse = bus == 1 ? "<deny send_destination='org.freedesktop.secrets'/>" : "";
            write(socket + ".conf", QString(busConfig).arg(socket, refuse).toUtf8());
            m_buses[bus].start("dbus-daemon", {"--nofork", "--config-file=" + socket + ".conf"});
            // The socket file comes before the bus takes connections: wait for one to succeed.
            (void)QTest::qWaitFor([&] {
                const bool up = QDBusConnection::connectToBus("unix:path=" + socket, "probe").isConnected();
                QDBusConnection::disconnectFromBus("probe");
                return up;
            });
        }
        return "unix:path=" + socket;
    }

    // gnome-keyring holding the v11 fixture's secret ("locked", "unlocked") on a private bus, or none;
    // the key asked for is the browser's, or another's.
    Reader keyring(const QString &state, const QString &browser = "chromium")
    {
        return [this, state, browser](const QString &work, const QString &url) {
            const QString address = state == "no bus" ? QString() : startBus(state == "refusing bus");
            qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
            if (state.endsWith("locked") || state == "refusing bus") {
                copyTree(fixtures + "/chromium-v11/keyrings", work + "/keyrings");
                qputenv("XDG_DATA_HOME", work.toUtf8()); // for gnome-keyring, which finds its keyrings there
                QProcessEnvironment own = QProcessEnvironment::systemEnvironment(); // its sockets go elsewhere
                own.insert("XDG_RUNTIME_DIR", work), m_keyring.setProcessEnvironment(own);
                m_keyring.start("gnome-keyring-daemon",
                                {"--foreground", "--components=secrets", state == "locked" ? "--" : "--unlock"});
                m_keyring.write(state == "locked" ? "" : "keyring-password"), m_keyring.closeWriteChannel();
                QDBusConnection d = QDBusConnection::connectToBus(address, work);
                (void)QTest::qWaitFor([&] { return d.interface()->isServiceRegistered("org.freedesktop.secrets"); });
            }
            return ReadChromiumRoot(fixtures + "/chromium-v11", "Chromium", browser, SessionQuery::forSite(url));
        };
    }

    static void storeRows(const char *store, const Reader &read, const QDateTime &shortExpiry, const QByteArray &sid)
    {
        const bool chromium = QByteArray(store).startsWith("chromium");
        auto row = [&](const char *what, QString url, QByteArray header, QDateTime now = fixtureNow) {
            QTest::addRow("%s: %s", store, what) << Case{read, url, header, {}, now};
        };
        // Which cookies go with which request: longer paths first, then in the store's order (Chromium's by name).
        row("under /aw-cgi", cgi, signedIn(sid, chromium));
        row("path prefix is not a path", "http://127.0.0.1/aw-cgiX", signedIn(sid, chromium).mid(9));
        row("short expired", cgi, signedIn(sid), shortExpiry.addSecs(5));
        row("before short expired", cgi, chromium ? signedIn(sid, true) : signedIn(sid) + "; short=expires-soon",
            shortExpiry.addSecs(-5));
        row("after the rest expired", cgi, {}, fixtureNow.addYears(12));
        row("https adds secure ones", "https://127.0.0.1/aw-cgi/",
            chromium ? signedIn(sid, true).replace("short", "sec=only-https; short") : signedIn(sid));
        row("other host", "http://127.0.0.2/aw-cgi/eBayISAPI.dll", {});
        row("localhost is its own host", "http://localhost:5000/", store == QByteArray("cookies.txt") ? "" : "lh=1");
    }

private slots:
    void initTestCase()
    {
        // Copies of the stores must go to the user's runtime folder, never to the temporary one.
        QVERIFY(QDir(m_dir.path()).mkdir("tmp") && QDir(m_dir.path()).mkdir("run"));
        QVERIFY(QFile::setPermissions(m_dir.filePath("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("TMPDIR", QFile::encodeName(m_dir.filePath("tmp")));
    }
    void init()
    {
        QVERIFY(QDir().mkpath(
            m_work = m_dir.filePath(QString("%1/%2").arg(QTest::currentTestFunction(), QTest::currentDataTag()))));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(m_dir.filePath("run")));
        ForgetSafeStorageKeys(); // each row is a run of its own
    }
    void cleanup() { m_keyring.close(); }
    void cleanupTestCase() { m_buses[0].close(), m_buses[1].close(), m_buses[2].close(); }

    void reading_data()
    {
        QTest::addColumn<Case>("row");
        const QDateTime firefoxShortExpiry({2026, 12, 6}, {6, 36, 22}, Qt::UTC);
        storeRows("firefox", firefox(), firefoxShortExpiry, firefoxSid);
        storeRows("cookies.txt", cookiesTxt(), firefoxShortExpiry, firefoxSid);
        storeRows("chromium v10", chromium("chromium-v10"), {{2036, 1, 1}, {12, 10, 13}, Qt::UTC}, v10Sid);
        storeRows("chromium v11", chromium("chromium-v11"), {{2036, 2, 1}, {12, 0, 13}, Qt::UTC}, v11Sid);
        auto row = [](const char *name, Reader read, QString url, QByteArray header, const char *problem = "") {
            QTest::newRow(name) << Case{read, url, header, problem, fixtureNow};
        };
        const Reader domains = cookiesTxt(
            ".example.test\tTRUE\t/\tFALSE\t0\tdom\t1\r\nbroken line\r\n"
            "example.test\tFALSE\t/\tTRUE\t0\tsec\t1\r\n" // the flag makes the next one a domain's
            "example.test\tTRUE\t/\tFALSE\t0\tflagged\t1\r\nWWW.Example.test\tFALSE\t/\tFALSE\t0\twww\t1\r\n");
        row("domain: bare, https", domains, "https://example.test/", "dom=1; sec=1; flagged=1");
        row("domain: bare, http", domains, "http://example.test/", "dom=1; flagged=1");
        row("domain: sub-host, capitals", domains, "http://www.example.test/", "dom=1; flagged=1; www=1");
        row("domain: not a sub-host", domains, "http://badexample.test/", "");
        row("firefox: installs.ini names the profile", firefox("installs.ini"), "http://localhost/", "lh=1");
        row("firefox: then Default=1", firefox(""), "http://localhost/", ""); // its main file alone: no `lh`
        row("firefox: then any profile with cookies", firefox("", false), "http://localhost/", "lh=1");
        row("firefox: -wal read too", file("firefox-profile/wal-only/cookies.sqlite"), "http://localhost/", "lh=1");
        row("firefox: older schema, expiry in seconds",
            file("cookies.sqlite",
                 "CREATE TABLE moz_cookies (name, value, host, path, expiry, lastAccessed, isSecure);"
                 "INSERT INTO moz_cookies VALUES ('sid', 'old', '127.0.0.1', '/', 1828074965, 0, 0);"),
            "http://127.0.0.1/", "sid=old");
        row("firefox: not a database", file("cookies.sqlite", "SQLite?"), cgi, "", "Could not read the Firefox");
        row("cookies.txt: others may read it", cookiesTxt({}, 0604), cgi, "", "other users can read it");
        row("cookies.txt: its group may read it", cookiesTxt({}, 0640), cgi, "", "other users can read it");
        row("cookies.txt: its group may write it", cookiesTxt({}, 0620), cgi, "", "other users can write to it");
        row("cookies.txt: a link to the user's own", cookiesTxt({}, 0600, "link"), cgi, "", "it is a link");
        row("cookies.txt: a folder", cookiesTxt({}, 0700, "folder"), cgi, "", "it is not a plain file");
        if (::geteuid() == 0) // only root can give a file to another user
            row("cookies.txt: another user's", cookiesTxt({}, 0600, "nobody"), cgi, "", "it belongs to another user");
        row("a control byte in a value",
            cookiesTxt("127.0.0.1\tFALSE\t/\tFALSE\t0\tbad\tx\x01y\r\n127.0.0.1\tFALSE\t/\tFALSE\t0\tok\t1 2\r\n"), cgi,
            "ok=1 2", "Left out the cookie bad in"); // a space is no control byte
        auto sidSet = [](const char *set) { return "UPDATE cookies SET " + QByteArray(set) + " WHERE name = 'sid'"; };
        const QByteArray noSid = "pref=uk; nonsession=keepme; short=expires-soon";
        row("chromium: a plain value goes as it is", chromium("chromium-v10", sidSet("value = 'plain'")), cgi,
            signedIn("plain", true));
        row("chromium: unknown encryption",
            chromium("chromium-v10", sidSet("encrypted_value = CAST('v20' AS BLOB) || substr(encrypted_value, 4)")),
            cgi, noSid, "Chromium: could not use the cookies sid in");
        row("chromium: another host's value",
            chromium("chromium-v10",
                     sidSet("encrypted_value = (SELECT encrypted_value FROM cookies WHERE name = 'lh')")),
            cgi, noSid, "sid in");
        row("chromium: wrong Safe Storage secret", chromium("chromium-v11", {}, "wrong"), cgi, "", "do not decrypt");
        row("keyring: no session bus", keyring("no bus"), cgi, "", "no desktop keyring is running (there is");
        row("keyring: none on the bus", keyring("empty bus"), cgi, "", "no desktop keyring is running (nothing");
        row("keyring: locked", keyring("locked"), cgi, "", "the desktop keyring is locked");
        row("keyring: unlocked", keyring("unlocked"), cgi, signedIn(v11Sid, true));
        row("keyring: no key for the browser", keyring("unlocked", "brave"), cgi, "", "holds no Safe Storage key");
        row("keyring: the bus refuses", keyring("refusing bus"), cgi, "", "the desktop keyring refused");
        // Several browsers: the one profile that used the site last, unless cookies.txt is there.
        const QByteArray longAgo = "UPDATE cookies SET last_access_utc = 13000000000000000";
        const QStringList both = {"firefox", "chromium"};
        row("system: nothing installed", home({}), cgi, "");
        row("system: Chromium used the site after Firefox", home(both), cgi, signedIn(v10Sid, true));
        row("system: Firefox used it last", home(both, longAgo), cgi, signedIn(firefoxSid));
        row("system: Chromium's session expired", home(both, "UPDATE cookies SET expires_utc = 13300000000000000"), cgi,
            signedIn(firefoxSid));
        row("system: Chromium's session does not decrypt", home(both, "UPDATE cookies SET encrypted_value = x'00'"),
            cgi, "", "Chromium: could not use the cookies");
        row("system: Brave's Default used it last", home({"chromium", "brave"}, longAgo), cgi,
            signedIn(QByteArray("d0").repeated(16), true));
        row("system: cookies.txt wins", home({"chromium", "cookies.txt"}), cgi, signedIn(firefoxSid));
        row("system: a cookies.txt others can write is passed over", home({"chromium", "loose cookies.txt"}), cgi,
            signedIn(v10Sid, true), "other users can write to it");
    }
    void reading()
    {
        QFETCH(Case, row);
        auto [read, url, header, problem, now] = row;
        const QDateTime tmpChanged = QFileInfo(m_dir.filePath("tmp")).lastModified();
        CookieJar cookies = read(m_work, url);
        cookies.setNow(now);
        QCOMPARE(cookies.cookieHeaderFor(url), header);
        // Only the site's cookies were read, from copies that are gone, and nothing, not even for a
        // moment, went to the temporary folder.
        const QString other = QUrl(url).host() == "localhost" ? cgi : "http://localhost:5000/";
        QCOMPARE(cookies.cookieHeaderFor(other), QByteArray());
        QCOMPARE(entries(m_dir.filePath("run")), QStringList());
        QCOMPARE(QFileInfo(m_dir.filePath("tmp")).lastModified(), tmpChanged);
        if (url == cgi) { // and a request to the site carries exactly that, or no Cookie header
            StandinSite site;
            QVERIFY(site.start());
            SiteClient client(QString::fromStdString(site.baseUrl()), m_work, cookies);
            ParallelGets gets(client);
            gets.start({BlockPagePath()});
            QTRY_VERIFY(!site.requests().empty());
            const auto sent = site.requests().at(0).headers;
            QCOMPARE(QByteArray(sent.count("Cookie") ? sent.find("Cookie")->second.c_str() : ""), header);
        }
        const QString said = cookies.problems().join('\n'); // one line, with the words and the file
        QVERIFY2(cookies.problems().size() == !problem.isEmpty() && said.contains(problem), qPrintable(said));
        QVERIFY2(problem.isEmpty() || said.contains(m_work) || said.contains(fixtures), qPrintable(said));
    }

    // A cookie is bound no higher than the host's registered domain: one set for a public suffix is
    // neither read nor sent.
    void publicSuffixes_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<QByteArrayList>("read");
        QTest::addColumn<QByteArray>("sent");
        QTest::newRow("under a two-label suffix")
            << "cgi.ebay.co.uk" << QByteArrayList{"cgi.ebay.co.uk", ".cgi.ebay.co.uk", ".ebay.co.uk"}
            << QByteArray("reg=1; cgi=1");
        QTest::newRow("under a one-label suffix")
            << "www.Example.test" << QByteArrayList{"www.example.test", ".www.example.test", ".example.test"}
            << QByteArray("ex=1");
        QTest::newRow("an address") << "127.0.0.1" << QByteArrayList{"127.0.0.1", ".127.0.0.1"} << QByteArray("ip=1");
    }
    void publicSuffixes()
    {
        QFETCH(QString, host);
        QFETCH(QByteArrayList, read);
        QFETCH(QByteArray, sent);
        QCOMPARE((SessionQuery{host, {}, nullptr}.cookieHosts()), read);
        CookieJar jar;
        const std::pair<const char *, const char *> cookies[] = {
            {".uk", "uk"},  {".co.uk", "co"},        {".ebay.co.uk", "reg"}, {"cgi.ebay.co.uk", "cgi"},
            {".test", "t"}, {".example.test", "ex"}, {".0.0.1", "ip0"},      {"127.0.0.1", "ip"}};
        for (const auto &[domain, name] : cookies)
            jar.add({name, "1", domain, "/"}, "test");
        QCOMPARE(jar.cookieHeaderFor("http://" + host + "/"), sent);
    }

    // The clean-up at start removes a crashed run's copies from the runtime folder, and nothing else:
    // not a running program's, not another user's, and never what a link in a copy leads to.
    void staleCopies()
    {
        const QString run = m_work + "/run", ours = m_work + "/ours";
        QVERIFY(QDir().mkpath(run) && QDir().mkpath(ours + "/kept"));
        QVERIFY(QFile::setPermissions(run, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(run));
        QProcess gone;
        gone.start("true");
        QVERIFY(gone.waitForStarted());
        const QString stale = QString("bidwarden-cookies-%1-").arg(gone.processId());
        QVERIFY(gone.waitForFinished());
        const QString running = QString("bidwarden-cookies-%1-abcdef").arg(::getppid());
        QVERIFY(QDir(run).mkpath(stale + "crashed/Network") && QDir(run).mkpath(running));
        write(run + '/' + stale + "crashed/Network/Cookies", "a copy");
        QVERIFY(QFile::link(ours, run + '/' + stale + "crashed/Default")); // swapped in for a part of the copy
        QVERIFY(QFile::link(ours, run + '/' + stale + "linked"));
        QStringList left = {running, stale + "linked"};
        if (::geteuid() == 0) { // planted by another user who can write the folder
            QVERIFY(QDir(run).mkdir(stale + "theirs"));
            QVERIFY(::chown(QFile::encodeName(run + '/' + stale + "theirs"), 65534, 65534) == 0);
            left << stale + "theirs";
        }
        RemoveStaleSessionCopies();
        left.sort();
        QCOMPARE(entries(run), left);
        QCOMPARE(entries(ours), QStringList{"kept"});
        if (::geteuid() != 0)
            QSKIP("not root: no folder of another user was planted");
    }

    // A keyring that never answers holds up neither the event loop nor, past its wait, the read. Each
    // question to it waits on its own, from when it is asked, and its silence is not remembered: the
    // next read asks again. A read stopped because its window went ends at once.
    void hungKeyring()
    {
        const QString address = startBus(2);
        HungKeyring hung;
        QDBusConnection keyringSide = QDBusConnection::connectToBus(address, "hung keyring");
        QVERIFY(keyringSide.registerVirtualObject("/org/freedesktop/secrets", &hung, QDBusConnection::SubPath));
        QVERIFY(keyringSide.registerService("org.freedesktop.secrets"));
        copyTree(fixtures + "/chromium-v11", m_work + "/.config/chromium");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8()), qputenv("HOME", m_work.toUtf8());
        qunsetenv("XDG_CONFIG_HOME");

        auto reader = std::make_unique<SessionReader>();
        QSignalSpy cancelled(reader.get(), &SessionReader::finished);
        reader->start(cgi, m_work);
        QTest::qWait(300);
        QElapsedTimer clock;
        clock.start();
        reader.reset();
        QVERIFY2(clock.elapsed() < 1000 && cancelled.isEmpty(), qPrintable(QString::number(clock.elapsed())));

        SessionReader read;
        QSignalSpy finished(&read, &SessionReader::finished);
        int ticks = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&ticks] { ++ticks; });
        tick.start(20), clock.start();
        read.start(cgi, m_work);
        QVERIFY(finished.wait(SessionStop::KeyringWaitMs + 1000));
        QVERIFY2(clock.elapsed() >= SessionStop::KeyringWaitMs, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(ticks >= clock.elapsed() / 20 / 2, qPrintable(QString::number(ticks)));
        QStringList problems = finished.at(0).at(0).value<CookieJar>().problems();
        QVERIFY2(problems.size() == 1 && problems[0].contains("the desktop keyring did not answer"),
                 qPrintable(problems.join('\n')));

        // Chromium's silence was not kept; Brave, asked after it, gets its own wait.
        copyTree(fixtures + "/chromium-v11", m_work + "/.config/BraveSoftware/Brave-Browser");
        const SessionStop stop(500);
        clock.start();
        problems = ReadBrowserSession(cgi, m_work, stop).problems();
        QVERIFY2(clock.elapsed() >= 2 * 500 && clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY2(problems.size() == 2 && problems.filter("the desktop keyring did not answer").size() == 2,
                 qPrintable(problems.join('\n')));
        QCOMPARE(entries(m_dir.filePath("run")), QStringList());
    }
};

QTEST_GUILESS_MAIN(TestCookies)
#include "tst_cookies.moc"
