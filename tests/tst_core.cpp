// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "core/BidderList.h"

#include <QSignalSpy>
#include <QTest>

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    void headerClicksSortThroughTheMarker_data()
    {
        QTest::addColumn<QStringList>("clicks");
        QTest::addColumn<QString>("marker");
        QTest::addColumn<QStringList>("names");
        const QStringList byName{"Alice", "bob", "carol"}, byNameDown{"carol", "bob", "Alice"};
        QTest::newRow("once") << QStringList{"UserName"} << "UserName" << byName;
        QTest::newRow("twice") << QStringList{"UserName", "UserName"} << "UserNameDESC" << byNameDown;
        QTest::newRow("thrice") << QStringList{"UserName", "UserName", "UserName"} << "UserName" << byName;
        QTest::newRow("other column between") << QStringList{"UserName", "NARU", "UserName"} << "UserName" << byName;
        QTest::newRow("reason after its descending")
            << QStringList{"Reason", "Reason", "Reason"} << "Reason" << QStringList{"carol", "Alice", "bob"};
        QTest::newRow("date twice") << QStringList{"Date Added", "Date Added"} << "dateTimeDESC"
                                    << QStringList{"bob", "Alice", "carol"};
        QTest::newRow("naru") << QStringList{"NARU"} << "NARU" << QStringList{"carol", "bob", "Alice"};
        // Header texts are matched exactly; anything else leaves the list and the marker alone.
        QTest::newRow("unknown header") << QStringList{"NARU", "username"} << "NARU"
                                        << QStringList{"carol", "bob", "Alice"};
    }
    void headerClicksSortThroughTheMarker()
    {
        QFETCH(QStringList, clicks);
        QFETCH(QString, marker);
        QFETCH(QStringList, names);
        TestFolder folder;
        folder.seed({bidder("carol", "No", "03/12/2026", "a"), bidder("bob", "No", "05/12/2026", "c"),
                     bidder("Alice", "Yes", "04/12/2026", "b")});
        BidderList list(folder.storePath());
        QVERIFY(list.load());
        QCOMPARE(list.sortMarker(), QString());
        for (const QString &header : clicks)
            QVERIFY(list.sortByHeader(header));
        QCOMPARE(list.sortMarker(), marker);
        QCOMPARE(list.userNames(), names);
    }

    void changesGoToTheStoreThenTheRows()
    {
        TestFolder folder;
        folder.seed({bidder("alice"), bidder("zap", "No", "d1"), bidder("ZAP", "No", "d2")});
        BidderList list(folder.storePath());
        QVERIFY(list.load());
        QSignalSpy appended(&list, &BidderList::appended), changed(&list, &BidderList::changed),
            removed(&list, &BidderList::removed), reset(&list, &BidderList::reset);

        // After a sort, a new bidder still goes to the end.
        QVERIFY(list.sortByHeader(QStringLiteral("UserName")));
        QVERIFY(list.add(bidder("aaron", "Yes")));
        QCOMPARE(list.userNames(), QStringList({"alice", "zap", "ZAP", "aaron"}));
        QVERIFY(list.storedRecord(3)->has_value());
        QVERIFY(list.setNaru(2, true));
        // A record is edited where it was clicked: of two rows of one id, the one meant, whichever
        // was stored first, in the store and on screen alike.
        QCOMPARE(*list.setDateAndReason(2, QStringLiteral("then"), QStringLiteral("why")), true);
        QCOMPARE(folder.stored().at(2), bidder("ZAP", "Yes", "then", "why"));
        QVERIFY(list.remove(1));
        QCOMPARE(appended.takeFirst(), QVariantList{3});
        // A NARU value and a delete are about the user id: every row of it, in any letter case.
        QCOMPARE(changed, QList<QVariantList>({{2}, {1}, {2}}));
        QCOMPARE(removed, QList<QVariantList>({{2}, {1}}));
        QCOMPARE(reset.count(), 1);
        const QList<Bidder> expected = {bidder("alice"), bidder("aaron", "Yes")};
        QCOMPARE(folder.stored(), expected);
        QCOMPARE(list.rows(), expected);
        // A row whose record went behind the program's back is not shown as saved.
        QVERIFY(BidderStore(folder.storePath()).removeUser(QStringLiteral("aaron")));
        const Status naru = list.setNaru(1, true);
        QVERIFY2(!naru && naru.error().contains(QStringLiteral("\"aaron\"")), qPrintable(naru.error()));
        QCOMPARE(*list.setDateAndReason(1, QStringLiteral("x"), QStringLiteral("y")), false);
        QVERIFY(!list.storedRecord(1)->has_value());
        QCOMPARE(list.rows(), expected);
        QVERIFY(list.replaceAll({bidder("x")}));
        QCOMPARE(list.rows(), folder.stored());
        QVERIFY(list.storedRecord(0)->has_value());
    }

    void aFailingStoreChangesNothing()
    {
        TestFolder folder;
        folder.seed({bidder("alice"), bidder("bob")});
        BidderList list(folder.storePath());
        QVERIFY(list.load());
        QVERIFY(list.sortByHeader(QStringLiteral("NARU")));
        folder.sql("CREATE TRIGGER a BEFORE INSERT ON Bidders BEGIN SELECT RAISE(ABORT, 'no insert'); END;"
                   "CREATE TRIGGER b BEFORE UPDATE ON Bidders BEGIN SELECT RAISE(ABORT, 'no update'); END;"
                   "CREATE TRIGGER c BEFORE DELETE ON Bidders BEGIN SELECT RAISE(ABORT, 'no delete'); END;");
        const QList<Bidder> before = list.rows();
        QSignalSpy signalled(&list, &BidderList::changed);
        const Status added = list.add(bidder("carol"));
        QVERIFY2(!added && added.error().contains(QStringLiteral("carol")), qPrintable(added.error()));
        QVERIFY(!list.setNaru(0, true));
        QVERIFY(!list.setDateAndReason(1, QStringLiteral("x"), QStringLiteral("y")));
        QVERIFY(!list.remove(0));
        QVERIFY(!list.replaceAll({}));
        QCOMPARE(list.rows(), before);
        QCOMPARE(signalled.count(), 0);
        // A sort that cannot read keeps the rows and the marker, and has them drawn again.
        QFile::remove(folder.storePath());
        folder.write(QStringLiteral("bidders.mdb"), "not a store");
        QSignalSpy reset(&list, &BidderList::reset);
        QVERIFY(!list.sortByHeader(QStringLiteral("NARU")));
        QCOMPARE(list.sortMarker(), QStringLiteral("NARU"));
        QCOMPARE(list.rows(), before);
        // A load that cannot read holds no rows, as it shows none, and takes none until a read succeeds.
        QVERIFY(!list.load());
        QCOMPARE(reset.count(), 2);
        QVERIFY(list.rows().isEmpty() && list.sortMarker().isEmpty() && !list.isLoaded());
        QFile::remove(folder.storePath());
        folder.seed({bidder("dave")});
        QVERIFY(!list.add(bidder("carol")));
        QVERIFY(list.sortByHeader(QStringLiteral("UserName")) && list.isLoaded());
        QCOMPARE(list.rows(), folder.stored());
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
