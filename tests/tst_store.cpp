#include "TestSupport.h"
#include "store/AppFilePath.h"
#include "store/BidderStore.h"
#include "store/DateTimeText.h"

#include <QDir>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTest>

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void appFilePath_data();
    void appFilePath();
    void dateTimeText();
    void firstUseCreatesTheStore();
    void ordersIgnoreCaseAndKeepStoredOrderForTies();
    void removeUserDeletesEveryMatchIgnoringCase();
    void quotesInUserNamesAreData();
    void perBidderCallsUseTheFirstStoredRow();
    void replaceAllIsAllOrNothing();
    void unusableFilesAreReportedAndLeftAlone_data();
    void unusableFilesAreReportedAndLeftAlone();
    void missingFolderIsReported();
};

void TestStore::appFilePath_data()
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
    QTest::newRow("unix folder with slash") << "/opt/bw/"
                                            << "/opt/bw/bidders.mdb";
    QTest::newRow("unix root") << "/"
                               << "/bidders.mdb";
}

void TestStore::appFilePath()
{
    QFETCH(QString, folder);
    QFETCH(QString, expected);
    QCOMPARE(AppFilePath(folder, QStringLiteral("bidders.mdb")), expected);
}

void TestStore::dateTimeText()
{
    const QDateTime when(QDate(2026, 12, 5), QTime(12, 1, 17));
    QCOMPARE(DateTimeText(when, QLocale(QStringLiteral("en_GB"))), QStringLiteral("05/12/2026-12:01:17"));
    // Date first, then time with seconds, and no time-zone name whatever the locale writes.
    const QString us = DateTimeText(QDateTime(QDate(2026, 12, 5), QTime(15, 1, 17)), QLocale(QStringLiteral("en_US")));
    QVERIFY2(us.startsWith(QStringLiteral("12/5/")), qPrintable(us));
    QVERIFY2(us.contains(QStringLiteral("-3:01:17")), qPrintable(us));
    QVERIFY2(!us.endsWith(QLatin1Char(' ')) && !us.contains(QStringLiteral("UTC")), qPrintable(us));
}

void TestStore::firstUseCreatesTheStore()
{
    TestFolder folder;
    BidderStore store(folder.storePath());
    QVERIFY2(store.open(), qPrintable(store.lastError()));
    QVERIFY(QFile::exists(folder.storePath()));
    QCOMPARE(store.readAll()->size(), 0);

    // An empty file (as left by an interrupted copy) is simply made into a store.
    TestFolder other;
    other.write(QStringLiteral("bidders.mdb"), {});
    BidderStore empty(other.storePath());
    QVERIFY2(empty.open(), qPrintable(empty.lastError()));
    QVERIFY(empty.add(bidder(QStringLiteral("alice"))));
    // Text beyond ASCII comes back exactly as it went in.
    const Bidder accented = bidder(QStringLiteral("Zoë_Ünal"), QStringLiteral("No"), QStringLiteral("01/12/2026"),
                                   QStringLiteral("paid in 💷, then reversed"));
    QVERIFY(empty.add(accented));
    QCOMPARE(other.stored(), QList<Bidder>({bidder(QStringLiteral("alice")), accented}));
}

void TestStore::ordersIgnoreCaseAndKeepStoredOrderForTies()
{
    TestFolder folder;
    folder.seed({bidder("bob", "Yes", "05/11/2026-09:00:00", "b"), bidder("Alice", "No", "01/12/2026-08:00:00", "a"),
                 bidder("carol", "Yes", "01/12/2026-07:00:00", "B"), bidder("BOB", "No", "02/12/2026-07:00:00", "c")});
    BidderStore store(folder.storePath());
    auto names = [&](BidderStore::Column column, bool descending) {
        QStringList out;
        const auto rows = store.readAll(BidderStore::Order{column, descending});
        for (const Bidder &b : rows.value_or(QList<Bidder>()))
            out << b.userName;
        return out;
    };
    using C = BidderStore::Column;
    QCOMPARE(folder.storedNames(), QStringList({"bob", "Alice", "carol", "BOB"}));
    QCOMPARE(names(C::UserName, false), QStringList({"Alice", "bob", "BOB", "carol"}));
    QCOMPARE(names(C::UserName, true), QStringList({"carol", "bob", "BOB", "Alice"}));
    QCOMPARE(names(C::Naru, false), QStringList({"Alice", "BOB", "bob", "carol"}));
    // Reasons "b" and "B" are equal to the store, so they keep the order they were stored in.
    QCOMPARE(names(C::Reason, false), QStringList({"Alice", "bob", "carol", "BOB"}));
    // Date Added orders by its text: 01/12 comes before 05/11.
    QCOMPARE(names(C::DateTime, false), QStringList({"carol", "Alice", "BOB", "bob"}));
    QCOMPARE(names(C::DateTime, true), QStringList({"bob", "BOB", "Alice", "carol"}));
}

void TestStore::removeUserDeletesEveryMatchIgnoringCase()
{
    TestFolder folder;
    folder.seed({bidder("abc"), bidder("keep"), bidder("ABC"), bidder("Abc ")});
    BidderStore store(folder.storePath());
    QVERIFY(store.removeUser(QStringLiteral("aBc")));
    QCOMPARE(folder.storedNames(), QStringList({"keep", "Abc "}));
    QVERIFY2(store.removeUser(QStringLiteral("nobody")), "deleting an unknown name is no failure");
    QCOMPARE(folder.stored().size(), 2);
}

void TestStore::quotesInUserNamesAreData()
{
    TestFolder folder;
    folder.seed({bidder("o'brien"), bidder("x' OR '1'='1"), bidder("alice")});
    BidderStore store(folder.storePath());
    const auto found = store.findFirst(QStringLiteral("O'Brien"));
    QVERIFY(found && *found);
    QCOMPARE((*found)->userName, QStringLiteral("o'brien"));

    bool matched = false;
    QVERIFY(store.setNaruOfFirst(QStringLiteral("x' OR '1'='1"), QStringLiteral("Yes"), &matched));
    QVERIFY(matched);
    QVERIFY(store.removeUser(QStringLiteral("o'brien")));
    // A crafted name matches only itself: alice is untouched by either call.
    QCOMPARE(folder.stored(), QList<Bidder>({bidder("x' OR '1'='1", "Yes"), bidder("alice")}));
    QVERIFY(store.removeUser(QStringLiteral("x' OR '1'='1")));
    QCOMPARE(folder.storedNames(), QStringList{"alice"});
}

void TestStore::perBidderCallsUseTheFirstStoredRow()
{
    TestFolder folder;
    folder.seed({bidder("zed"), bidder("dup", "No", "d1", "first"), bidder("DUP", "No", "d2", "second")});
    BidderStore store(folder.storePath());

    const auto first = store.findFirst(QStringLiteral("Dup"));
    QVERIFY(first && *first);
    QCOMPARE((*first)->reason, QStringLiteral("first"));

    bool matched = false;
    QVERIFY(
        store.updateFirst(QStringLiteral("dup"), QStringLiteral("new date"), QStringLiteral("new reason"), &matched));
    QVERIFY(matched);
    QVERIFY(store.setNaruOfFirst(QStringLiteral("dup"), QStringLiteral("Yes"), &matched));
    QCOMPARE(folder.stored(), QList<Bidder>({bidder("zed"), bidder("dup", "Yes", "new date", "new reason"),
                                             bidder("DUP", "No", "d2", "second")}));

    const auto none = store.findFirst(QStringLiteral("nobody"));
    QVERIFY(none && !*none);
    QVERIFY(store.setNaruOfFirst(QStringLiteral("nobody"), QStringLiteral("Yes"), &matched));
    QVERIFY(!matched);
    QCOMPARE(folder.stored().size(), 3);
}

void TestStore::replaceAllIsAllOrNothing()
{
    TestFolder folder;
    const QList<Bidder> old = {bidder("alice"), bidder("bob")};
    folder.seed(old);
    {
        // A row the engine refuses half-way through the new list.
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("trigger"));
        db.setDatabaseName(folder.storePath());
        QVERIFY(db.open());
        QVERIFY(
            QSqlQuery(db).exec(QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON Bidders "
                                              "WHEN NEW.UserName = 'boom' BEGIN SELECT RAISE(ABORT, 'refused'); END")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("trigger"));

    BidderStore store(folder.storePath());
    QVERIFY(!store.replaceAll({bidder("new1"), bidder("boom"), bidder("new2")}));
    QVERIFY2(store.lastError().contains(QStringLiteral("refused")), qPrintable(store.lastError()));
    QCOMPARE(folder.stored(), old);

    const QList<Bidder> fresh = {bidder(""), bidder("dup"), bidder("dup")};
    QVERIFY(store.replaceAll(fresh));
    QCOMPARE(folder.stored(), fresh);
    QVERIFY(store.replaceAll({}));
    QCOMPARE(folder.stored().size(), 0);
}

void TestStore::unusableFilesAreReportedAndLeftAlone_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("says");
    QByteArray jet("\x00\x01\x00\x00Standard Jet DB\x00", 20);
    jet.append(2048, '\x5a');
    QByteArray ace("\x00\x01\x00\x00Standard ACE DB\x00", 20);
    ace.append(4096, '\x11');
    QTest::newRow("access jet") << jet << "Microsoft Access database (Jet format)";
    QTest::newRow("access ace") << ace << "Microsoft Access database (ACE format)";
    QTest::newRow("text") << QByteArray("UserName,NARU\r\nalice,No\r\n") << "not a database Bidwarden can read";
    QByteArray damaged("SQLite format 3\0", 16);
    damaged.append(QByteArray(4080, '\xff'));
    QTest::newRow("damaged sqlite") << damaged << "could not be read";
}

void TestStore::unusableFilesAreReportedAndLeftAlone()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, says);
    TestFolder folder;
    folder.write(QStringLiteral("bidders.mdb"), content);

    BidderStore store(folder.storePath());
    QVERIFY(!store.open());
    QVERIFY2(store.lastError().contains(says), qPrintable(store.lastError()));
    QVERIFY2(store.lastError().contains(QDir::toNativeSeparators(folder.storePath())), qPrintable(store.lastError()));
    // Every call refuses the file again rather than writing to it.
    QVERIFY(!store.add(bidder("alice")));
    QVERIFY(!store.replaceAll({bidder("alice")}));
    QVERIFY(!store.removeUser(QStringLiteral("alice")));
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), content);
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{"bidders.mdb"});
}

void TestStore::missingFolderIsReported()
{
    TestFolder folder;
    // A folder path that runs through a plain file cannot hold a store, even for root.
    folder.write(QStringLiteral("plain"), "x");
    BidderStore store(folder.file(QStringLiteral("plain/sub/bidders.mdb")));
    QVERIFY(!store.open());
    QVERIFY2(store.lastError().contains(QStringLiteral("bidders.mdb")), qPrintable(store.lastError()));

    // Another program's SQLite file is not ours to add a table to.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
        db.setDatabaseName(folder.storePath());
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(QStringLiteral("CREATE TABLE Invoices (id INTEGER)")));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("other"));
    const QByteArray before = folder.bytes(QStringLiteral("bidders.mdb"));
    BidderStore other(folder.storePath());
    QVERIFY(!other.open());
    QVERIFY2(other.lastError().contains(QStringLiteral("another program")), qPrintable(other.lastError()));
    QCOMPARE(folder.bytes(QStringLiteral("bidders.mdb")), before);
}

QTEST_GUILESS_MAIN(TestStore)
#include "tst_store.moc"
