// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "store/AppFilePath.h"
#include "store/DateTimeText.h"
#include "store/StoreBackup.h"

#include <QDir>
#include <QTest>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Sets the time a backup's file says it was written, making the file when there is none.
void setWritten(const TestFolder &folder, const QString &name, const QDateTime &written)
{
    QFile file(folder.file(QStringLiteral("backups/") + name));
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(written, QFileDevice::FileModificationTime));
}

} // namespace

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void pathsFollowTheXdgRules()
    {
        QCOMPARE(AppFilePath(QStringLiteral("/opt/bw"), QStringLiteral("bidders.mdb")), "/opt/bw/bidders.mdb");
        QCOMPARE(AppFilePath(QStringLiteral("/"), QStringLiteral("bidders.mdb")), "/bidders.mdb");
        const QByteArray home = qgetenv("HOME"), data = qgetenv("XDG_DATA_HOME");
        const QString fromPasswords = QFile::decodeName(getpwuid(geteuid())->pw_dir);
        qputenv("HOME", "/home/seller");
        qputenv("XDG_DATA_HOME", "/data/");
        QCOMPARE(DataFolderPath(), QStringLiteral("/data/bidwarden"));
        // A relative data home would put the list under whatever folder the program started in.
        qputenv("XDG_DATA_HOME", "data");
        QCOMPARE(DataFolderPath(), QStringLiteral("/home/seller/.local/share/bidwarden"));
        qunsetenv("XDG_DATA_HOME");
        qunsetenv("HOME");
        QCOMPARE(DataFolderPath(), fromPasswords + QStringLiteral("/.local/share/bidwarden"));
        qputenv("HOME", "seller");
        QCOMPARE(DataFolderPath(), fromPasswords + QStringLiteral("/.local/share/bidwarden"));
        qputenv("HOME", home);
        if (!data.isNull())
            qputenv("XDG_DATA_HOME", data);
    }

    // The program's folder holds the list only when it is the user's alone; else the data folder,
    // which is checked and made private, does.
    void appFolderIsOnlyOneNobodyElseMayWrite_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("otherOwner");
        QTest::addColumn<bool>("otherGroup");
        QTest::addColumn<QString>("dataFolder"); // what is at the data folder's place beforehand
        QTest::addColumn<QString>("says");       // empty: the program's folder is used
        QTest::addColumn<bool>("fails");
        auto row = [](const char *name, int mode, bool otherOwner, bool otherGroup, const char *dataFolder,
                      const char *says, bool fails = false) {
            QTest::newRow(name) << mode << otherOwner << otherGroup << QString(dataFolder) << QString(says) << fails;
        };
        row("own", 0755, false, false, "", "");
        row("own, private group may write", 0775, false, false, "", "");
        row("everyone may write", 0777, false, false, "", "every user of this computer may write");
        row("another group may write", 0775, false, true, "", "the group nogroup may write");
        row("another user's", 0755, true, false, "", "belongs to another user (nobody)");
        row("data folder open to all", 0777, false, false, "open", "may write");
        row("data folder is a link", 0777, false, false, "link", "is a link", true);
        row("data folder is another user's", 0777, false, false, "other", "belongs to another user (nobody)", true);
    }
    void appFolderIsOnlyOneNobodyElseMayWrite()
    {
        QFETCH(int, mode);
        QFETCH(bool, otherOwner);
        QFETCH(bool, otherGroup);
        QFETCH(QString, dataFolder);
        QFETCH(QString, says);
        QFETCH(bool, fails);
        const passwd *user = getpwuid(geteuid());
        const group *primary = getgrgid(user->pw_gid);
        if (QTest::currentDataTag() == QLatin1String("own, private group may write") &&
            (!primary || qstrcmp(primary->gr_name, user->pw_name) != 0 || primary->gr_mem[0]))
            QSKIP("the user's primary group is not a private one");
        if ((otherOwner || otherGroup || dataFolder == QLatin1String("other")) && geteuid() != 0)
            QSKIP("needs root, to give a folder to another user");

        TestFolder top;
        const QString program = top.file(QStringLiteral("bin")), data = top.file(QStringLiteral("xdg/bidwarden"));
        QVERIFY(QDir().mkpath(program));
        top.write(QStringLiteral("bin/bidders.mdb"), "a list");
        QVERIFY(::chown(QFile::encodeName(program).constData(), otherOwner ? 65534 : geteuid(),
                        otherGroup ? 65534 : user->pw_gid) == 0);
        QVERIFY(::chmod(QFile::encodeName(program).constData(), mode) == 0);
        if (dataFolder == QLatin1String("link")) {
            QVERIFY(QDir().mkpath(top.file(QStringLiteral("elsewhere"))) && QDir().mkpath(top.file("xdg")));
            QVERIFY(QFile::link(top.file(QStringLiteral("elsewhere")), data));
        } else if (!dataFolder.isEmpty()) {
            QVERIFY(QDir().mkpath(data) && ::chmod(QFile::encodeName(data).constData(), 0777) == 0);
            if (dataFolder == QLatin1String("other"))
                QVERIFY(::chown(QFile::encodeName(data).constData(), 65534, 65534) == 0);
        }
        const QByteArray home = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", QFile::encodeName(top.file(QStringLiteral("xdg"))));
        const Result<AppFolderChoice> chosen = AppFolder(program);
        home.isNull() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", home);

        if (fails) {
            QVERIFY(!chosen);
            QVERIFY2(chosen.error().contains(program) && chosen.error().contains(data) && chosen.error().contains(says),
                     qPrintable(chosen.error()));
            return;
        }
        QVERIFY2(chosen, qPrintable(chosen.error()));
        if (says.isEmpty()) {
            QCOMPARE(chosen->folder, program);
            QVERIFY(chosen->refusal.isEmpty() && !chosen->listLeftBehind);
            return;
        }
        QCOMPARE(chosen->folder, data);
        QVERIFY2(chosen->refusal.contains(says) && chosen->refusal.contains(program + QStringLiteral("/bidders.mdb")),
                 qPrintable(chosen->refusal));
        QVERIFY(chosen->listLeftBehind);
        QCOMPARE(QFileInfo(data).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    void dateTimeText()
    {
        const QDateTime when(QDate(2026, 12, 5), QTime(15, 1, 17));
        QCOMPARE(DateTimeText(when, QLocale(QStringLiteral("en_GB"))), QStringLiteral("05/12/2026-15:01:17"));
        // Date first, then the time with seconds, and no time-zone name whatever the locale writes.
        const QString us = DateTimeText(when, QLocale(QStringLiteral("en_US")));
        QVERIFY2(us.startsWith(QStringLiteral("12/5/")) && us.endsWith(QStringLiteral("-3:01:17 PM")), qPrintable(us));
    }

    // On the table the program makes, and on one made without COLLATE NOCASE (as a file converted
    // from the old format is), which must behave the same.
    void textMatchesAndSortsIgnoringCase_data()
    {
        QTest::addColumn<bool>("plain");
        QTest::newRow("table made by the program") << false;
        QTest::newRow("plain table") << true;
    }
    void textMatchesAndSortsIgnoringCase()
    {
        QFETCH(bool, plain);
        TestFolder folder;
        if (plain)
            folder.sql("CREATE TABLE Bidders (UserName TEXT, NARU TEXT, dateTime TEXT, Reason TEXT)");
        folder.seed({bidder("bob", "Yes", "05/11/2026-09:00:00", "b"), bidder("alice", "No", "a while ago", "a"),
                     bidder("carol", "yes", "01/12/2026-07:00:00", "B"), bidder("BOB", "no", "About then", "c")});
        BidderStore store(folder.storePath());
        // Ties keep the order stored (reasons "b" and "B" are equal). Date Added orders by its text:
        // 01/12 comes before 05/11, and a typed text by its letters.
        using C = BidderStore::Column;
        const std::tuple<C, bool, QStringList> orders[] = {{C::UserName, false, {"alice", "bob", "BOB", "carol"}},
                                                           {C::UserName, true, {"carol", "bob", "BOB", "alice"}},
                                                           {C::Naru, false, {"alice", "BOB", "bob", "carol"}},
                                                           {C::Reason, false, {"alice", "bob", "carol", "BOB"}},
                                                           {C::DateTime, false, {"carol", "bob", "alice", "BOB"}},
                                                           {C::DateTime, true, {"BOB", "alice", "bob", "carol"}}};
        for (const auto &[column, descending, names] : orders)
            QCOMPARE(namesOf(*store.readAll(BidderStore::Order{column, descending})), names);

        folder.seed({bidder("zed"), bidder("dup", "No", "d1", "first"), bidder("x' OR '1'='1"),
                     bidder("DUP", "No", "d2", "second"), bidder("Dup ")});
        const QList<Bidder> rows = *store.readAll();
        // A record is its own row, the second of two of a name included, and only while it is of
        // that name; a NARU value goes to every row of the name; a crafted name matches only itself.
        QCOMPARE(store.record(rows.at(3).rowid, QStringLiteral("dup"))->value_or(Bidder{}).reason,
                 QStringLiteral("second"));
        QVERIFY(!store.record(rows.at(3).rowid, QStringLiteral("zed"))->has_value());
        QVERIFY(*store.updateRecord(rows.at(3).rowid, QStringLiteral("dUP"), QStringLiteral("new date"), "new"));
        QVERIFY(!*store.updateRecord(rows.at(0).rowid, QStringLiteral("nobody"), {}, {}));
        QCOMPARE(*store.setNaru(QStringLiteral("X' or '1'='1"), QStringLiteral("Yes")), 1);
        QCOMPARE(*store.setNaru(QStringLiteral("Dup"), QStringLiteral("Yes")), 2);
        QCOMPARE(*store.setNaru(QStringLiteral("nobody"), QStringLiteral("Yes")), 0);
        QCOMPARE(folder.stored(),
                 QList<Bidder>({bidder("zed"), bidder("dup", "Yes", "d1", "first"), bidder("x' OR '1'='1", "Yes"),
                                bidder("DUP", "Yes", "new date", "new"), bidder("Dup ")}));
        // Deleting removes every row of the name in any case, and an unknown name is no failure.
        QVERIFY(store.removeUser(QStringLiteral("DuP")));
        QVERIFY(store.removeUser(QStringLiteral("nobody")));
        QCOMPARE(folder.storedNames(), QStringList({"zed", "x' OR '1'='1", "Dup "}));
    }

    // The first statement that fails ends it, the DELETE of the old rows included; a site's list that
    // cannot be written takes the rows with it.
    void replaceAllIsAllOrNothing_data()
    {
        QTest::addColumn<QByteArray>("trigger");
        QTest::newRow("an insert fails") << QByteArray("BEFORE INSERT ON Bidders WHEN NEW.UserName = 'boom'");
        QTest::newRow("the delete fails") << QByteArray("BEFORE DELETE ON Bidders");
        QTest::newRow("the site's list fails") << QByteArray("BEFORE INSERT ON SiteList WHEN NEW.UserName = 'boom'");
    }
    void replaceAllIsAllOrNothing()
    {
        QFETCH(QByteArray, trigger);
        TestFolder folder;
        const QList<Bidder> old = {bidder("alice"), bidder("bob")};
        folder.seed(old);
        BidderStore store(folder.storePath());
        QVERIFY(store.setSiteBase({"carol"}));
        folder.sql("CREATE TRIGGER refuse " + trigger + " BEGIN SELECT RAISE(ABORT, 'refused'); END");
        const auto failed = store.replaceAll({bidder("new1"), bidder("boom"), bidder("new2")}, QStringList{"boom"});
        QVERIFY2(!failed && failed.error().contains(QStringLiteral("refused")), qPrintable(failed.error()));
        QVERIFY(trigger.contains("Bidders") || !store.setSiteBase({"new", "boom"}));
        QCOMPARE(folder.stored(), old);
        QCOMPARE(*store.siteBase(), std::optional(QStringList{"carol"}));
        // The same connection goes on working after the rollback.
        folder.sql("DROP TRIGGER refuse");
        const QList<Bidder> fresh = {bidder(""), bidder("dup"), bidder("dup")};
        QVERIFY(store.replaceAll(fresh));
        QCOMPARE(folder.stored(), fresh);
    }

    // The site's list as last confirmed: absent from an older store until first written, written
    // with the rows or on its own.
    void siteBaseIsKeptBesideTheRows()
    {
        TestFolder older;
        older.sql("CREATE TABLE Bidders (UserName, NARU, dateTime, Reason)");
        BidderStore store(older.storePath());
        QVERIFY(store.replaceAll({bidder("alice")}));
        QCOMPARE(*store.siteBase(), std::optional<QStringList>());
        const QStringList base{"zed", "Alice", "bob"};
        QVERIFY(store.replaceAll({bidder("alice"), bidder("bob")}, base));
        QCOMPARE(*BidderStore(older.storePath()).siteBase(), std::optional(base));
        QVERIFY(store.setSiteBase({"carol"}));
        QCOMPARE(*BidderStore(older.storePath()).siteBase(), std::optional(QStringList{"carol"}));

        // A store this program makes, from an empty file (as an interrupted copy leaves) too, has the
        // table from the start; another connection takes it, and text is kept as given.
        TestFolder fresh;
        fresh.write(QStringLiteral("bidders.mdb"), {});
        QCOMPARE(*BidderStore(fresh.storePath()).siteBase(), std::optional(QStringList()));
        const Bidder accented = bidder(QStringLiteral("Zoë_Ünal"), "No", "01/12/2026", "paid in 💷, then reversed");
        QVERIFY(BidderStore(fresh.storePath()).add(accented));
        QCOMPARE(fresh.stored(), QList<Bidder>{accented});
    }

    void unusableFilesAreReportedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("says");
        const QByteArray jet = QByteArray("\x00\x01\x00\x00Standard Jet DB\x00", 20) + QByteArray(2048, '\x5a');
        const QByteArray ace = QByteArray("\x00\x01\x00\x00Standard ACE DB\x00", 20) + QByteArray(4096, '\x11');
        const QByteArray damaged = QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xff');
        QTest::newRow("access jet") << jet << QByteArray() << "Microsoft Access database (Jet format)";
        QTest::newRow("access ace") << ace << QByteArray() << "Microsoft Access database (ACE format)";
        QTest::newRow("access header, other kind") << QByteArray("\x00\x01\x00\x00Standard XYZ DB\x00", 20)
                                                   << QByteArray() << "not a database Bidwarden can read";
        QTest::newRow("damaged sqlite") << damaged << QByteArray() << "could not be read";
        QTest::newRow("other program") << QByteArray() << QByteArray("CREATE TABLE Invoices (id INTEGER)")
                                       << "database of another program";
        QTest::newRow("missing column") << QByteArray() << QByteArray("CREATE TABLE Bidders (UserName, NARU, Reason)")
                                        << "no datetime column";
        QTest::newRow("another site list")
            << QByteArray()
            << QByteArray("CREATE TABLE Bidders (UserName, NARU, dateTime, Reason); CREATE TABLE SiteList (Id)")
            << "SiteList table has no username column";
    }
    void unusableFilesAreReportedAndLeftAlone()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, sql);
        QFETCH(QString, says);
        TestFolder folder;
        if (sql.isEmpty())
            folder.write(QStringLiteral("bidders.mdb"), content);
        else
            folder.sql(sql.constData());
        content = folder.bytes(QStringLiteral("bidders.mdb"));

        BidderStore store(folder.storePath());
        const Status opened = store.open();
        QVERIFY2(!opened && opened.error().contains(says) && opened.error().contains(folder.storePath()),
                 qPrintable(opened.error()));
        // Every call refuses the file again rather than writing to it.
        QVERIFY(!store.add(bidder("alice")));
        QVERIFY(!store.replaceAll({bidder("alice")}));
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), content);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"bidders.mdb"});
    }

    void backupsKeepTheTenNewestByNumberWhateverTheClock()
    {
        TestFolder folder;
        // Kept open, so the rows are still in the write-ahead log and not yet in bidders.mdb itself.
        BidderStore writer(folder.storePath());
        QVERIFY(writer.open());
        QCOMPARE(BackUpStore(folder.storePath())->saved, false); // nothing to lose
        // Named by date as earlier versions did, while the clock ran years ahead, and not a backup.
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("backups")));
        setWritten(folder, QStringLiteral("bidders-20990101-000000.mdb"), QDateTime(QDate(2099, 1, 1), QTime(0, 0)));
        folder.write(QStringLiteral("backups/notes.txt"), "not a backup");

        // Ten made in one second while the clock ran a year ahead, each under a name of its own.
        const QDateTime ahead = QDateTime::currentDateTime().addYears(1);
        QList<Bidder> rows;
        QStringList kept;
        auto backUp = [&](const QDateTime &now) {
            rows << bidder(QString::number(rows.size()));
            QVERIFY(writer.add(rows.last()));
            const auto made = BackUpStore(folder.storePath(), now);
            QVERIFY2(made && made->saved, made ? "not saved" : qPrintable(made.error()));
            kept << QFileInfo(made->path).fileName();
            setWritten(folder, kept.last(), now);
        };
        for (int i = 0; i < 10; ++i)
            backUp(ahead);
        QCOMPARE(kept.last(), ahead.toString(QStringLiteral("'bidders-000010-'yyyyMMdd-HHmmss'.mdb'")));
        // The tenth pushed out the one from 2099, the oldest by number.
        const auto backups = [&] { return QDir(folder.file(QStringLiteral("backups"))).entryList(QDir::Files); };
        QCOMPARE(backups(), QStringList(kept) << QStringLiteral("notes.txt"));
        // The clock put right: each new backup is the newest, and pushes out only the oldest.
        for (int i = 0; i < 3; ++i)
            backUp(QDateTime::currentDateTime().addSecs(i));
        kept = kept.mid(3);
        QCOMPARE(backups(), QStringList(kept) << QStringLiteral("notes.txt"));
        QCOMPARE(folder.bytes(QStringLiteral("backups/") + kept.at(9)).at(18), char(1)); // not in WAL mode
        QCOMPARE(*BidderStore(folder.file(QStringLiteral("backups/") + kept.at(9))).readAll(), rows);
        // The same rows as the newest backup need no new one.
        const auto same = BackUpStore(folder.storePath());
        QVERIFY(same && !same->saved && same->path.endsWith(kept.at(9)));

        // Importing the same list again stamps new dates on the rows the wizard adds, and only that:
        // no backup for it, so it never pushes out the one with the seller's own reasons.
        const QString imported = QString::fromLatin1(BidderStore::ImportReason);
        const auto imports = [&](const QString &importDate, const QString &ownDate) {
            return QList<Bidder>{bidder("alice", "No", importDate, imported), bidder("bob", "No", ownDate, "mine"),
                                 bidder("carol", "Yes", importDate, imported)};
        };
        const auto newBackup = [&] { // its path, empty when none was needed
            const auto made = BackUpStore(folder.storePath());
            return made && made->saved ? made->path : QString();
        };
        const QStringList base{"alice", "carol"};
        QVERIFY(writer.replaceAll(imports("01/12/2026-10:00:00", "01/11/2026"), base));
        const QString first = newBackup();
        QVERIFY(writer.replaceAll(imports("02/12/2026-11:30:00", "01/11/2026"), base));
        QCOMPARE(newBackup(), QString());
        // The seller's own row's date, or the site's list, is a change worth keeping.
        QVERIFY(writer.replaceAll(imports("02/12/2026-11:30:00", "02/11/2026"), base));
        QVERIFY(!newBackup().isEmpty());
        QVERIFY(writer.setSiteBase({"alice"}));
        const QString newBase = newBackup();
        // The backup is the whole file: the site's list goes with the rows.
        QVERIFY(!first.isEmpty() && !newBase.isEmpty());
        QCOMPARE(*BidderStore(first).siteBase(), std::optional(base));
        QCOMPARE(*BidderStore(newBase).siteBase(), std::optional(QStringList{"alice"}));
    }

    void missingFolderIsReported()
    {
        TestFolder folder;
        // A folder path that runs through a plain file cannot hold a store, even for root.
        folder.write(QStringLiteral("plain"), "x");
        const Status opened = BidderStore(folder.file(QStringLiteral("plain/sub/bidders.mdb"))).open();
        QVERIFY2(!opened && opened.error().contains(QStringLiteral("does not exist")), qPrintable(opened.error()));
    }
};

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
