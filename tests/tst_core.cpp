// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"
#include "core/BidderList.h"
#include "core/SyncPlan.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>
#include <QTest>

namespace {

// "a|b!|c": the rows alice... with "!" marking NARU "Yes".
QList<Bidder> rowsOf(const QString &ids)
{
    QList<Bidder> rows;
    for (const QString &id : ids.split('|', Qt::SkipEmptyParts))
        rows << bidder(id.endsWith('!') ? id.chopped(1) : id, id.endsWith('!') ? "Yes" : "No");
    return rows;
}

QList<QStringList> shown(const QAbstractItemModel &model)
{
    QList<QStringList> rows;
    for (int row = -1; row < model.rowCount(); ++row) {
        QStringList cells;
        for (int column = 0; column < model.columnCount(); ++column)
            cells << (row < 0 ? model.headerData(column, Qt::Horizontal) : model.index(row, column).data()).toString();
        rows << cells;
    }
    return rows;
}

// The headings, then each bidder's values in the columns they should stand in.
QList<QStringList> cellsOf(const QList<Bidder> &bidders)
{
    QList<QStringList> rows{{"UserName", "NARU", "Date Added", "Reason"}};
    for (const Bidder &b : bidders)
        rows << QStringList{b.userName, b.naru, b.dateTime, b.reason};
    return rows;
}

// The rows (and columns) each change touched, as a view hears of it.
QList<int> touched(const QSignalSpy &spy)
{
    QList<int> numbers;
    for (const QVariantList &signal : spy)
        for (const QVariant &argument : signal)
            if (argument.canConvert<int>())
                numbers << argument.toInt();
            else if (const QModelIndex index = argument.toModelIndex(); index.isValid())
                numbers << index.row() << index.column();
    return numbers;
}

} // namespace

class TestCore : public QObject
{
    Q_OBJECT

private slots:
    // A click on a heading sorts by what stands under it, and a second click the other way.
    void clicksSortByTheColumnThenTheOtherWay_data()
    {
        using Column = BidderStore::Column;
        QTest::addColumn<QList<int>>("clicks"); // the headings clicked
        QTest::addColumn<Column>("column");
        QTest::addColumn<bool>("descending");
        QTest::addColumn<QStringList>("names");
        const QStringList byName{"Alice", "bob", "carol"};
        QTest::newRow("once") << QList<int>{0} << Column::UserName << false << byName;
        QTest::newRow("twice") << QList<int>{0, 0} << Column::UserName << true << QStringList{"carol", "bob", "Alice"};
        QTest::newRow("other column between") << QList<int>{0, 1, 0} << Column::UserName << false << byName;
        QTest::newRow("naru") << QList<int>{1} << Column::Naru << false << QStringList{"carol", "bob", "Alice"};
        QTest::newRow("date twice") << QList<int>{2, 2} << Column::DateTime << true
                                    << QStringList{"bob", "Alice", "carol"};
        QTest::newRow("reason after its descending")
            << QList<int>(3, 3) << Column::Reason << false << QStringList{"carol", "Alice", "bob"};
    }
    void clicksSortByTheColumnThenTheOtherWay()
    {
        QFETCH(QList<int>, clicks);
        QFETCH(BidderStore::Column, column);
        QFETCH(bool, descending);
        TestFolder folder;
        folder.seed({bidder("carol", "No", "03/12/2026", "a"), bidder("bob", "No", "05/12/2026", "c"),
                     bidder("Alice", "Yes", "04/12/2026", "b")});
        BidderList list(folder.storePath());
        QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QVERIFY(list.load());
        QVERIFY(!list.sortOrder());
        for (int section : clicks)
            QVERIFY(list.sortBy(BidderTableModel::columnAt(section)));
        QVERIFY(list.sortOrder());
        QCOMPARE(list.sortOrder()->column, column);
        QCOMPARE(list.sortOrder()->descending, descending);
        QTEST(list.userNames(), "names");
    }

    // Saving as a sync: what the site holds, the local list and the base (the site's list as last
    // confirmed; "-" for none) decide what is unblocked, asked about and left off for the limit.
    // A later read names only what no earlier read held.
    void syncPlan_data()
    {
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("local");
        QTest::addColumn<QString>("base");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QString>("again"); // the site's list read again before the post
        QTest::addColumn<QString>("plan");  // unblocked/asked/left off/sent/ids:over the limit/new again
        auto row = [](const char *name, const char *site, const char *local, const char *base, int limit,
                      const char *plan, const char *again = "") {
            QTest::newRow(name) << site << local << base << limit << again << plan;
        };
        row("in step", "a|b", "a|b", "a|b", 9, "///a|b/2:0/");
        row("deleted here", "a|b", "a", "a|b", 9, "b///a/1:0/");
        row("blocked on the site since", "a|b|c", "a|b", "a|b", 9, "/c//a|b/2:0/");
        row("no base: every id only the site holds", "a|b|c", "a", "-", 9, "/b|c//a/1:0/");
        row("in the base, gone from the site", "a", "a", "a|z", 9, "///a/1:0/");
        row("case and repeats", "Bob|BOB|Carol|dave|Dave", "bob", "CAROL", 9, "Carol/dave//bob/1:0/");
        row("an id the site splits", "a|b|c|d", "a b,c", "-", 9, "/d//a b,c/3:0/");
        row("under the limit", "", "a|n!|b|m!", "-", 4, "///a|n|b|m/4:0/");
        row("one over: the last NARU off", "", "a|n!|b|m!|k", "-", 4, "//m/a|n|b|k/4:0/");
        row("two over", "", "a|n!|b|m!|k", "-", 3, "//n|m/a|b|k/3:0/");
        row("repeats count once", "", "a|A|b|n!", "-", 3, "///a|A|b|n/3:0/");
        row("a NARU id with another row of it stays", "", "a|n!|N|b", "-", 2, "////3:1/");
        row("registered ids over the limit", "", "a|b|n!|c", "-", 2, "////3:1/");
        row("a row that frees nothing stays", "", "a b|n!|a!", "-", 2, "//n/a b|a/2:0/");
        row("empty ids count for nothing", "", "a| |n!", "-", 1, "//n/a| /1:0/");
        row("again: only what no read held", "a|b|c", "a", "a|b", 9, "b/c//a/1:0/d|e", "A|b|c|d|e|E");
        row("again: an id here is no news", "a|b", "a|x", "a|b", 9, "b///a|x/2:0/", "a|X");
    }
    void syncPlan()
    {
        QFETCH(QString, site);
        QFETCH(QString, local);
        QFETCH(QString, base);
        QFETCH(int, limit);
        QFETCH(QString, again);
        QFETCH(QString, plan);
        const auto ids = [](const QString &text) { return text.split('|', Qt::SkipEmptyParts); };
        const QList<Bidder> rows = rowsOf(local);
        const SyncPlanner planner(rows, base == "-" ? std::nullopt : std::optional(ids(base)));
        const SyncPlan made = planner.plan(ids(site), limit);
        QCOMPARE(QStringList({made.unblocked.join('|'), made.asked.join('|'), made.leftOff.join('|'),
                              made.send.join('|'), QStringLiteral("%1:%2").arg(made.idCount).arg(made.mustDelete),
                              planner.newSiteIds(ids(again), ids(site)).join('|')})
                     .join('/'),
                 plan);
    }

    void changesGoToTheStoreThenTheRows()
    {
        TestFolder folder;
        folder.seed({bidder("alice"), bidder("zap", "No", "d1"), bidder("ZAP", "No", "d2")});
        BidderList list(folder.storePath());
        QVERIFY(list.load());
        const BidderTableModel &model = list.model();
        QAbstractItemModelTester tester(&list.model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        QSignalSpy appended(&model, &QAbstractItemModel::rowsInserted),
            changed(&model, &QAbstractItemModel::dataChanged), removed(&model, &QAbstractItemModel::rowsRemoved),
            reset(&model, &QAbstractItemModel::modelReset);

        // After a sort, a new bidder still goes to the end.
        QVERIFY(list.sortBy(BidderStore::Column::UserName));
        QVERIFY(list.add(bidder("aaron", "Yes")));
        QCOMPARE(list.userNames(), QStringList({"alice", "zap", "ZAP", "aaron"}));
        QVERIFY(list.storedRecord(3)->has_value());
        QCOMPARE(*list.setNaru(2, true), true);
        // A record is edited where it was clicked: of two rows of one id, the one meant, whichever
        // was stored first, in the store and on screen alike.
        QCOMPARE(*list.setDateAndReason(2, QStringLiteral("then"), QStringLiteral("why")), true);
        QCOMPARE(folder.stored().at(2), bidder("ZAP", "Yes", "then", "why"));
        QVERIFY(list.remove(1));
        QCOMPARE(touched(appended), QList<int>({3, 3}));
        // A NARU value and a delete are about the user id: every row of it, in any letter case.
        // Each change redraws the cells it changed.
        QCOMPARE(touched(changed), QList<int>({2, 1, 2, 1, 1, 1, 1, 1, 2, 2, 2, 3}));
        QCOMPARE(touched(removed), QList<int>({2, 2, 1, 1}));
        QCOMPARE(reset.count(), 1);
        const QList<Bidder> expected = {bidder("alice"), bidder("aaron", "Yes")};
        QCOMPARE(folder.stored(), expected);
        QCOMPARE(list.rows(), expected);
        QCOMPARE(shown(model), cellsOf(expected));
        // A row whose record went behind the program's back is not shown as saved.
        QVERIFY(BidderStore(folder.storePath()).removeUser(QStringLiteral("aaron")));
        changed.clear();
        QCOMPARE(*list.setNaru(1, true), false);
        QCOMPARE(*list.setDateAndReason(1, QStringLiteral("x"), QStringLiteral("y")), false);
        QVERIFY(!list.storedRecord(1)->has_value());
        QCOMPARE(list.rows(), expected);
        QCOMPARE(changed.count(), 0);
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
        QVERIFY(list.sortBy(BidderStore::Column::Naru));
        folder.sql("CREATE TRIGGER a BEFORE INSERT ON Bidders BEGIN SELECT RAISE(ABORT, 'no insert'); END;"
                   "CREATE TRIGGER b BEFORE UPDATE ON Bidders BEGIN SELECT RAISE(ABORT, 'no update'); END;"
                   "CREATE TRIGGER c BEFORE DELETE ON Bidders BEGIN SELECT RAISE(ABORT, 'no delete'); END;");
        const QList<Bidder> before = list.rows();
        QSignalSpy signalled(&list.model(), &QAbstractItemModel::dataChanged);
        const Status added = list.add(bidder("carol"));
        QVERIFY2(!added && added.error().contains(QStringLiteral("carol")), qPrintable(added.error()));
        QVERIFY(!list.setNaru(0, true));
        QVERIFY(!list.setDateAndReason(1, QStringLiteral("x"), QStringLiteral("y")));
        QVERIFY(!list.remove(0));
        QVERIFY(!list.replaceAll({}));
        QCOMPARE(list.rows(), before);
        QCOMPARE(signalled.count(), 0);
        // A sort that cannot read keeps the rows and the order, and has them drawn again.
        QFile::remove(folder.storePath());
        folder.write(QStringLiteral("bidders.mdb"), "not a store");
        QSignalSpy reset(&list.model(), &QAbstractItemModel::modelReset);
        QVERIFY(!list.sortBy(BidderStore::Column::Naru));
        QVERIFY(list.sortOrder() && list.sortOrder()->column == BidderStore::Column::Naru &&
                !list.sortOrder()->descending);
        QCOMPARE(list.rows(), before);
        // A load that cannot read holds no rows, as it shows none, and takes none until a read succeeds.
        QVERIFY(!list.load());
        QCOMPARE(reset.count(), 2);
        QVERIFY(list.rows().isEmpty() && !list.sortOrder() && !list.isLoaded() && list.model().rowCount() == 0);
        QFile::remove(folder.storePath());
        folder.seed({bidder("dave")});
        QVERIFY(!list.add(bidder("carol")));
        QVERIFY(list.sortBy(BidderStore::Column::UserName) && list.isLoaded());
        QCOMPARE(list.rows(), folder.stored());
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
