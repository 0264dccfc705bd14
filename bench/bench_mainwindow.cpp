// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Main window with a 5,000-bidder store: load until shown and one header re-sort, each against
// filling the same list widget from strings already in memory. Also the cost of saving rows one
// at a time under the store's journal settings.
#include "BenchUtil.h"
#include "app/BBMain.h"
#include "app/WindowFlow.h"
#include "store/BidderStore.h"
#include "ui/Appearance.h"

#include <QApplication>
#include <QHeaderView>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <sqlite3.h>

namespace {

QList<Bidder> sampleBidders(int count)
{
    QList<Bidder> bidders;
    for (int i = 0; i < count; ++i)
        bidders.append({QStringLiteral("bidder_%1_%2").arg((i * 7919) % count).arg(i % 13 ? "uk" : "x"),
                        i % 11 ? QStringLiteral("No") : QStringLiteral("Yes"),
                        QStringLiteral("%1/%2/2026-12:%3:17")
                            .arg(1 + i % 28, 2, 10, QLatin1Char('0'))
                            .arg(1 + i % 12, 2, 10, QLatin1Char('0'))
                            .arg(i % 60, 2, 10, QLatin1Char('0')),
                        QStringLiteral("Reason number %1: did not pay within the seven days").arg(i)});
    return bidders;
}

void settle(QWidget *w)
{
    if (!QTest::qWaitForWindowExposed(w))
        std::fprintf(stderr, "the main window was not shown\n");
    w->repaint();
    QCoreApplication::processEvents();
}

// Saves rows one commit each on a plain connection with the given pragmas.
double singleRowCommitsMs(const QString &path, const QList<Bidder> &bidders, const char *pragmas)
{
    QFile::remove(path);
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    sqlite3_exec(db,
                 "CREATE TABLE Bidders (UserName TEXT COLLATE NOCASE, NARU TEXT COLLATE NOCASE, "
                 "dateTime TEXT COLLATE NOCASE, Reason TEXT COLLATE NOCASE)",
                 nullptr, nullptr, nullptr);
    sqlite3_exec(db, pragmas, nullptr, nullptr, nullptr);
    QElapsedTimer timer;
    timer.start();
    sqlite3_stmt *insert = nullptr;
    sqlite3_prepare_v2(db, "INSERT INTO Bidders VALUES (?, ?, ?, ?)", -1, &insert, nullptr);
    for (const Bidder &b : bidders) {
        int column = 0;
        for (const QString &value : {b.userName, b.naru, b.dateTime, b.reason})
            sqlite3_bind_text(insert, ++column, value.toUtf8().constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const double ms = timer.nsecsElapsed() / 1e6;
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplyAppearance();
    QTemporaryDir dir;
    WindowFlow flow(AppContext{dir.path(), QStringLiteral("http://127.0.0.1:9"), {}});
    const QList<Bidder> bidders = sampleBidders(5000);
    {
        BidderStore store(dir.filePath(QStringLiteral("bidders.mdb")));
        store.replaceAll(bidders);
    }

    std::printf("Main window, %lld bidders (median of 7 runs)\n", static_cast<long long>(bidders.size()));
    BBMain *window = flow.showMain();
    auto *list = window->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    settle(window);

    // Baseline: the same list widget filled from the same strings held in memory.
    const double baseline = medianMs(7, [&] {
        list->clear();
        QList<QTreeWidgetItem *> items;
        items.reserve(bidders.size());
        for (const Bidder &b : bidders)
            items.append(new QTreeWidgetItem(QStringList{b.userName, b.naru, b.dateTime, b.reason}));
        list->addTopLevelItems(items);
        list->repaint();
        QCoreApplication::processEvents();
    });
    std::printf("  %-52s %9.2f ms\n", "baseline: fill the list from memory", baseline);

    const double read = medianMs(7, [&] {
        BidderStore store(dir.filePath(QStringLiteral("bidders.mdb")));
        store.readAll();
    });
    report("    of which: open the store and read every row", read, baseline);
    const double openOnly = medianMs(7, [&] {
        BidderStore store(dir.filePath(QStringLiteral("bidders.mdb")));
        store.open();
    });
    report("    of which: open the store", openOnly, baseline);
    const double readSorted = medianMs(7, [&] {
        BidderStore store(dir.filePath(QStringLiteral("bidders.mdb")));
        store.readAll(BidderStore::Order{BidderStore::Column::UserName, false});
    });
    report("    of which: read every row sorted by user name", readSorted, baseline);

    delete window;
    QTemporaryDir small;
    {
        BidderStore store(small.filePath(QStringLiteral("bidders.mdb")));
        store.replaceAll({bidders.first()});
    }
    WindowFlow smallFlow(AppContext{small.path(), flow.context().siteUrl, {}});
    const double empty = medianMs(7, [&] {
        BBMain *w = smallFlow.showMain();
        settle(w);
        delete w;
    });
    report("    of which: load a main window of one bidder", empty, baseline);
    const double load = medianMs(7, [&] {
        BBMain *w = flow.showMain();
        settle(w);
        delete w;
    });
    report("(a) load the main window until shown", load, baseline);

    window = flow.showMain();
    settle(window);
    list = window->findChild<QTreeWidget *>(QStringLiteral("ListView1"));
    QHeaderView *header = list->header();
    const double sort = medianMs(7, [&] {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionSize(0) / 2, 5));
        list->repaint();
        QCoreApplication::processEvents();
    });
    report("(b) header click re-sort", sort, baseline);
    std::printf("  %-52s %9.1f MB\n", "peak resident memory", peakResidentMb());
    delete window;

    std::printf("\nSaving 5,000 rows, one commit each\n");
    const QString path = dir.filePath(QStringLiteral("commits.db"));
    const QList<Bidder> some = bidders;
    const double walNormal = singleRowCommitsMs(path, some, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
    std::printf("  %-52s %9.2f ms\n", "WAL, synchronous=NORMAL (the store's setting)", walNormal);
    report("WAL, synchronous=FULL", singleRowCommitsMs(path, some, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL"),
           walNormal);
    report("rollback journal, synchronous=FULL (SQLite default)",
           singleRowCommitsMs(path, some, "PRAGMA synchronous=FULL"), walNormal);
    return 0;
}
