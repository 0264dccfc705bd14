// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "store/AppFilePath.h"
#include "store/DateTimeText.h"

#include <QDir>
#include <QTest>

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void appFilePath_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("expected");
        QTest::newRow("windows folder") << "C:\\Tools"
                                        << "C:\\Tools\\bidders.mdb";
        QTest::newRow("drive root") << "D:\\"
                                    << "D:\\bidders.mdb";
        QTest::newRow("network share") << "\\\\server\\share\\tool"
                                       << "\\\\server\\share\\tool\\bidders.mdb";
        QTest::newRow("unix folder") << "/opt/bw"
                                     << "/opt/bw/bidders.mdb";
        QTest::newRow("unix root") << "/"
                                   << "/bidders.mdb";
    }
    void appFilePath()
    {
        QFETCH(QString, folder);
        QFETCH(QString, expected);
        QCOMPARE(AppFilePath(folder, QStringLiteral("bidders.mdb")), expected);
    }

    void dateTimeText()
    {
        const QDateTime when(QDate(2026, 12, 5), QTime(15, 1, 17));
        QCOMPARE(DateTimeText(when, QLocale(QStringLiteral("en_GB"))), QStringLiteral("05/12/2026-15:01:17"));
        // Date first, then the time with seconds, and no time-zone name whatever the locale writes.
        const QString us = DateTimeText(when, QLocale(QStringLiteral("en_US")));
        QVERIFY2(us.startsWith(QStringLiteral("12/5/")) && us.endsWith(QStringLiteral("-3:01:17 PM")), qPrintable(us));
    }

    void firstUseCreatesTheStoreAndKeepsText()
    {
        TestFolder folder;
        // An empty file (as left by an interrupted copy) is simply made into a store.
        folder.write(QStringLiteral("bidders.mdb"), {});
        BidderStore store(folder.storePath());
        QVERIFY(store.open());
        const Bidder accented = bidder(QStringLiteral("Zoë_Ünal"), "No", "01/12/2026", "paid in 💷, then reversed");
        QVERIFY(store.add(bidder("alice")));
        QVERIFY(store.add(accented));
        QCOMPARE(folder.stored(), QList<Bidder>({bidder("alice"), accented}));
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
        QCOMPARE(*store.updateRecord(rows.at(3).rowid, QStringLiteral("dUP"), QStringLiteral("new date"),
                                     QStringLiteral("new")),
                 true);
        QCOMPARE(*store.updateRecord(rows.at(0).rowid, QStringLiteral("nobody"), {}, {}), false);
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

    void replaceAllIsAllOrNothing()
    {
        TestFolder folder;
        const QList<Bidder> old = {bidder("alice"), bidder("bob")};
        folder.seed(old);
        folder.sql("CREATE TRIGGER refuse BEFORE INSERT ON Bidders WHEN NEW.UserName = 'boom' "
                   "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        BidderStore store(folder.storePath());
        const auto failed = store.replaceAll({bidder("new1"), bidder("boom"), bidder("new2")});
        QVERIFY2(!failed && failed.error().contains(QStringLiteral("refused")), qPrintable(failed.error()));
        QCOMPARE(folder.stored(), old);
        // The same connection goes on working after the rollback.
        const QList<Bidder> fresh = {bidder(""), bidder("dup"), bidder("dup")};
        QVERIFY(store.replaceAll(fresh));
        QCOMPARE(folder.stored(), fresh);
    }

    void unusableFilesAreReportedAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("sql");
        QTest::addColumn<QString>("says");
        QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
        jet.append(2048, '\x5a');
        QByteArray ace("\x00\x01\x00\x00Standard ACE DB\x00", 20);
        ace.append(4096, '\x11');
        QByteArray damaged("SQLite format 3\0", 16);
        damaged.append(QByteArray(4080, '\xff'));
        QTest::newRow("access jet") << jet << QByteArray() << "Microsoft Access database (Jet format)";
        QTest::newRow("access ace") << ace << QByteArray() << "Microsoft Access database (ACE format)";
        QTest::newRow("text") << QByteArray("UserName,NARU\r\n") << QByteArray() << "not a database Bidwarden can read";
        QTest::newRow("damaged sqlite") << damaged << QByteArray() << "could not be read";
        QTest::newRow("other program") << QByteArray() << QByteArray("CREATE TABLE Invoices (id INTEGER)")
                                       << "database of another program";
        QTest::newRow("missing column") << QByteArray() << QByteArray("CREATE TABLE Bidders (UserName, NARU, Reason)")
                                        << "no datetime column";
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
        QVERIFY2(!opened && opened.error().contains(says), qPrintable(opened.error()));
        QVERIFY(opened.error().contains(QDir::toNativeSeparators(folder.storePath())));
        // Every call refuses the file again rather than writing to it.
        QVERIFY(!store.add(bidder("alice")));
        QVERIFY(!store.replaceAll({bidder("alice")}));
        QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), content);
        QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"bidders.mdb"});
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
