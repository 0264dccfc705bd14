// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Main window with a 5,000-bidder store: its peak memory; showing every bidder, from the start of
// the load to the first paint; and one header re-sort. The baseline for both is a bare item model
// in a tree view of the same size, filled from the same rows already in memory (sorted first, for
// the re-sort). Also the cost of saving rows one at a time under the store's journal settings.
#include "BenchUtil.h"
#include "app/BBMain.h"
#include "app/WindowFlow.h"
#include "store/BidderStore.h"
#include "ui/Appearance.h"

#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <cstdlib>
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
        std::fprintf(stderr, "the window was not shown\n");
    w->repaint();
    QCoreApplication::processEvents();
}

void paint(QWidget *view)
{
    view->repaint();
    QCoreApplication::processEvents();
}

// Peak resident memory since the last reset, in MB; the kernel forgets the peak so far on "5".
double peakSinceResetMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly))
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.startsWith("VmHWM:"))
                return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return peakResidentMb();
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (!clear.open(QIODevice::WriteOnly) || clear.write("5") != 1)
        std::fprintf(stderr, "the peak memory could not be reset; the figure is the process's peak\n");
}

// Medians of a baseline and a measured task run in turns, so that whatever else the machine does
// meanwhile weighs on both alike.
template <typename B, typename M> std::pair<double, double> interleavedMediansMs(int runs, B &&baseline, M &&measured)
{
    baseline();
    measured();
    std::vector<double> baselineTimes, measuredTimes;
    QElapsedTimer timer;
    for (int i = 0; i < runs; ++i) {
        timer.start();
        baseline();
        baselineTimes.push_back(timer.nsecsElapsed() / 1e6);
        timer.start();
        measured();
        measuredTimes.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(baselineTimes.begin(), baselineTimes.end());
    std::sort(measuredTimes.begin(), measuredTimes.end());
    return {baselineTimes[runs / 2], measuredTimes[runs / 2]};
}

void click(QHeaderView *header, int section)
{
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(section) + 10, header->height() / 2));
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

constexpr int kRuns = 15;

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ApplyAppearance();
    QTemporaryDir dir;
    WindowFlow flow(AppContext{dir.path(), QStringLiteral("http://127.0.0.1:9"), {}});
    const QList<Bidder> bidders = sampleBidders(5000);
    if (!BidderStore(dir.filePath(QStringLiteral("bidders.mdb"))).replaceAll(bidders))
        return 1;
    std::printf("Main window, %lld bidders (median of %d runs, each in turn with its baseline)\n",
                static_cast<long long>(bidders.size()), kRuns);

    // Memory first, before any baseline has allocated: the window with every bidder, re-sorted once.
    resetPeak();
    BBMain *window = flow.showMain();
    settle(window);
    auto *view = window->findChild<QTreeView *>(QStringLiteral("ListView1"));
    click(view->header(), 0);
    paint(view);
    std::printf("  %-52s %9.1f MB\n", "peak resident memory, shown and re-sorted once", peakSinceResetMb());

    // Baseline: a bare item model, filled from rows in memory and set on a tree view like the list.
    QTreeView bare;
    bare.setRootIsDecorated(false);
    bare.setUniformRowHeights(true);
    bare.resize(view->size());
    bare.show();
    settle(&bare);
    std::unique_ptr<QStandardItemModel> bareModel;
    const auto fillBare = [&](const QList<Bidder> &rows) {
        auto model = std::make_unique<QStandardItemModel>(int(rows.size()), 4);
        model->setHorizontalHeaderLabels({"UserName", "NARU", "Date Added", "Reason"});
        for (int row = 0; row < rows.size(); ++row) {
            const Bidder &b = rows.at(row);
            int column = 0;
            for (const QString &text : {b.userName, b.naru, b.dateTime, b.reason})
                model->setItem(row, column++, new QStandardItem(text));
        }
        bare.setModel(model.get());
        bareModel = std::move(model);
        paint(&bare);
    };

    // The store's own share: opening it and reading every row, in the order given.
    const auto storeReadMs = [&](std::optional<BidderStore::Order> order) {
        return medianMs(kRuns, [&] {
            BidderStore store(dir.filePath(QStringLiteral("bidders.mdb")));
            if (!store.readAll(order))
                std::abort(); // figures of a failed read would mean nothing
        });
    };
    const auto [baseline, load] = interleavedMediansMs(
        kRuns, [&] { fillBare(bidders); },
        [&] {
            window->Form_Load();
            paint(view);
        });
    std::printf("  %-52s %9.2f ms\n", "baseline: fill a bare model from memory", baseline);
    report("(a) load the list until painted, store read included", load, baseline);
    report("    of which: open the store and read every row", storeReadMs(std::nullopt), baseline);

    bool descending = true;
    const auto [sortBaseline, sort] = interleavedMediansMs(
        kRuns,
        [&] {
            QList<Bidder> rows = bidders;
            descending = !descending;
            std::stable_sort(rows.begin(), rows.end(), [descending](const Bidder &a, const Bidder &b) {
                const int order = a.userName.compare(b.userName, Qt::CaseInsensitive);
                return descending ? order > 0 : order < 0;
            });
            fillBare(rows);
        },
        [&] {
            click(view->header(), 0);
            paint(view);
        });
    std::printf("  %-52s %9.2f ms\n", "baseline: sort in memory, fill a bare model", sortBaseline);
    report("(b) header click re-sort, store read included", sort, sortBaseline);
    report("    of which: read every row sorted by user name",
           storeReadMs(BidderStore::Order{BidderStore::Column::UserName, false}), sortBaseline);

    delete window;
    const double shown = medianMs(kRuns, [&] {
        BBMain *w = flow.showMain();
        settle(w);
        delete w;
    });
    report("    a new main window until shown (for reference)", shown, baseline);

    std::printf("\nSaving 5,000 rows, one commit each\n");
    const QString path = dir.filePath(QStringLiteral("commits.db"));
    const double walNormal = singleRowCommitsMs(path, bidders, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL");
    std::printf("  %-52s %9.2f ms\n", "WAL, synchronous=NORMAL (the store's setting)", walNormal);
    report("WAL, synchronous=FULL",
           singleRowCommitsMs(path, bidders, "PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL"), walNormal);
    report("rollback journal, synchronous=FULL (SQLite default)",
           singleRowCommitsMs(path, bidders, "PRAGMA synchronous=FULL"), walNormal);
    return 0;
}
