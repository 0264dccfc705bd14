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

    void ordersIgnoreCaseAndKeepStoredOrderForTies_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("names");
        using C = BidderStore::Column;
        QTest::newRow("user name") << int(C::UserName) << false << QStringList{"Alice", "bob", "BOB", "carol"};
        QTest::newRow("user name desc") << int(C::UserName) << true << QStringList{"carol", "bob", "BOB", "Alice"};
        QTest::newRow("naru") << int(C::Naru) << false << QStringList{"Alice", "BOB", "bob", "carol"};
        // Reasons "b" and "B" are equal to the store, so they keep the order they were stored in.
        QTest::newRow("reason") << int(C::Reason) << false << QStringList{"Alice", "bob", "carol", "BOB"};
        // Date Added orders by its text: 01/12 comes before 05/11.
        QTest::newRow("date") << int(C::DateTime) << false << QStringList{"carol", "Alice", "BOB", "bob"};
        QTest::newRow("date desc") << int(C::DateTime) << true << QStringList{"bob", "BOB", "Alice", "carol"};
    }
    void ordersIgnoreCaseAndKeepStoredOrderForTies()
    {
        QFETCH(int, column);
        QFETCH(bool, descending);
        QFETCH(QStringList, names);
        TestFolder folder;
        folder.seed(
            {bidder("bob", "Yes", "05/11/2026-09:00:00", "b"), bidder("Alice", "No", "01/12/2026-08:00:00", "a"),
             bidder("carol", "Yes", "01/12/2026-07:00:00", "B"), bidder("BOB", "No", "02/12/2026-07:00:00", "c")});
        QCOMPARE(folder.storedNames(), QStringList({"bob", "Alice", "carol", "BOB"}));
        const auto rows =
            BidderStore(folder.storePath()).readAll(BidderStore::Order{BidderStore::Column(column), descending});
        QVERIFY(rows);
        QCOMPARE(namesOf(*rows), names);
    }

    void perBidderCallsMatchIgnoringCaseAndTakeNamesAsData()
    {
        TestFolder folder;
        folder.seed({bidder("zed"), bidder("dup", "No", "d1", "first"), bidder("x' OR '1'='1"),
                     bidder("DUP", "No", "d2", "second"), bidder("Dup ")});
        BidderStore store(folder.storePath());
        const auto first = store.findFirst(QStringLiteral("Dup"));
        QVERIFY(first && *first);
        QCOMPARE((*first)->reason, QStringLiteral("first"));
        // A record edit changes the first stored row of the name only, a NARU value every row of
        // it; a crafted name matches only itself.
        QCOMPARE(*store.updateFirst(QStringLiteral("dUP"), QStringLiteral("new date"), QStringLiteral("new")), true);
        QCOMPARE(*store.updateFirst(QStringLiteral("nobody"), {}, {}), false);
        QCOMPARE(*store.setNaru(QStringLiteral("X' or '1'='1"), QStringLiteral("Yes")), 1);
        QCOMPARE(*store.setNaru(QStringLiteral("Dup"), QStringLiteral("Yes")), 2);
        QCOMPARE(*store.setNaru(QStringLiteral("nobody"), QStringLiteral("Yes")), 0);
        QVERIFY(!store.findFirst(QStringLiteral("nobody"))->has_value());
        QCOMPARE(folder.stored(),
                 QList<Bidder>({bidder("zed"), bidder("dup", "Yes", "new date", "new"), bidder("x' OR '1'='1", "Yes"),
                                bidder("DUP", "Yes", "d2", "second"), bidder("Dup ")}));
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
        const Status failed = store.replaceAll({bidder("new1"), bidder("boom"), bidder("new2")});
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
