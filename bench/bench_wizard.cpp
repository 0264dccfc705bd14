// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// The wizard's import of a 5,000-id site list (step 2's Download, window on screen) against the
// same 5,001 requests made with bare libcurl, on the stand-in site on loopback; and the site
// operations the import is made of, alone, to tell the window's own share from the client's.
#include "BareGet.h"
#include "BenchUtil.h"
#include "StandinSite.h"
#include "app/WindowFlow.h"
#include "core/BidderList.h"
#include "jobs/ImportFromSite.h"
#include "jobs/SiteConnection.h"
#include "store/BidderStore.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"
#include "wizard/Setup2.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <string>
#include <vector>

int main(int argc, char *argv[])
{
    constexpr int entries = 5000;
    constexpr int runs = 5;

    // No browser cookies: the figures are about our own overhead, not about the user's profile.
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    QApplication app(argc, argv);
    ApplyAppearance();
    curl_global_init(CURL_GLOBAL_DEFAULT);

    StandinSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_wizard: the stand-in site did not start\n");
        return 1;
    }
    std::set<std::string> naru;
    const std::vector<std::string> ids = sampleIds(entries, &naru);
    site.setSellerList(ids);
    site.setNaruIds(naru);

    QTemporaryDir folder;
    WindowFlow flow(AppContext{folder.path(), QString::fromStdString(site.baseUrl()), {}});
    auto *step2 = new Setup2(flow);
    step2->show();
    if (!QTest::qWaitForWindowExposed(step2))
        return 1;
    auto *download = step2->findChild<QPushButton *>(QStringLiteral("Command1"));
    auto *list = step2->findChild<QListWidget *>(QStringLiteral("List1"));

    int failures = 0;
    auto *next = step2->findChild<QPushButton *>(QStringLiteral("Next"));
    auto runImport = [&] {
        download->click();
        while (!next->isEnabled())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        failures += MessageBox::takeShown().size() + (list->count() == entries ? 0 : 1);
        site.clearRequests();
    };
    const std::string base = site.baseUrl() + "/aw-cgi/eBayISAPI.dll?";
    auto runBare = [&] {
        failures += bareGet(base + "BidderBlockLogin") ? 0 : 1;
        for (const std::string &id : ids)
            failures += bareGet(base + "MfcISAPICommand=ReturnUserIdHistory&requested=" + id) ? 0 : 1;
        site.clearRequests();
    };

    CURLSH *share = bareShare();
    auto runBareKept = [&] {
        failures += bareGet(base + "BidderBlockLogin", share) ? 0 : 1;
        for (const std::string &id : ids)
            failures += bareGet(base + "MfcISAPICommand=ReturnUserIdHistory&requested=" + id, share) ? 0 : 1;
        site.clearRequests();
    };

    // The same import driven without a window, into a store of its own.
    QTemporaryDir jobFolder;
    BidderList jobList(jobFolder.filePath(QStringLiteral("bidders.mdb")));
    SiteConnection connection(QString::fromStdString(site.baseUrl()), jobFolder.path(), {});
    ImportFromSite import(connection, jobList);
    auto runOperations = [&] {
        bool ended = false;
        const auto end = QObject::connect(&import, &ImportFromSite::finished, &import,
                                          [&](const Result<ImportFromSite::Imported> &result) {
                                              failures += result && result->rows.size() == entries ? 0 : 1;
                                              ended = true;
                                          });
        import.start();
        while (!ended)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QObject::disconnect(end);
        site.clearRequests();
    };

    runImport(); // warm-up: page cache, the store file, first connections
    runBare();
    runOperations();
    // Rotate which goes first, so none always meets a busier machine.
    std::vector<double> importRuns, bareRuns, operationRuns, bareKeptRuns;
    auto time = [](auto &&work, std::vector<double> &into) {
        QElapsedTimer timer;
        timer.start();
        work();
        into.push_back(timer.nsecsElapsed() / 1e6);
    };
    for (int r = 0; r < runs; ++r) {
        time(runBareKept, bareKeptRuns);
        for (int i = 0; i < 3; ++i) {
            switch ((r + i) % 3) {
            case 0:
                time(runImport, importRuns);
                break;
            case 1:
                time(runBare, bareRuns);
                break;
            default:
                time(runOperations, operationRuns);
            }
        }
    }
    std::sort(importRuns.begin(), importRuns.end());
    std::sort(bareRuns.begin(), bareRuns.end());
    std::sort(operationRuns.begin(), operationRuns.end());
    std::sort(bareKeptRuns.begin(), bareKeptRuns.end());
    curl_share_cleanup(share);
    const double bareKeptMs = bareKeptRuns[runs / 2];
    const double importMs = importRuns[runs / 2], bareMs = bareRuns[runs / 2], operationsMs = operationRuns[runs / 2];
    const qsizetype stored = BidderStore(folder.filePath(QStringLiteral("bidders.mdb"))).readAll()->size();

    std::printf("bench_wizard: stand-in on %s, medians of %d runs\n\n", site.baseUrl().c_str(), runs);
    std::printf("%-50s %10s %12s\n", "case", "total ms", "per id ms");
    std::printf("%-50s %10.1f %12.3f\n", "(a) Download of 5000 ids (page + lookups + store)", importMs,
                importMs / entries);
    std::printf("%-50s %10.1f %12.3f\n", "(b) bare libcurl GET x5001 (fresh handle)", bareMs, bareMs / entries);
    std::printf("%-50s %10.1f %12.3f\n", "(c) the import job of 5000 ids, no window", operationsMs,
                operationsMs / entries);
    std::printf("%-50s %10.2f\n", "    ratio (a)/(b), target <= 1.3", importMs / bareMs);
    std::printf("%-50s %10.2f\n", "    ratio (c)/(b): the job's share", operationsMs / bareMs);
    std::printf("%-50s %10.2f\n", "    ratio (a)/(c): the window's share", importMs / operationsMs);
    std::printf("%-50s %10.1f %12.3f\n", "(b') bare GET x5001 keeping the connection", bareKeptMs,
                bareKeptMs / entries);
    std::printf("%-50s %10.2f\n", "    ratio (a)/(b'), like for like", importMs / bareKeptMs);

    // Like a real site: every reply takes 50 ms.
    constexpr int replyMs = 50;
    site.setFault({0, replyMs, false});
    // Three runs, not five: each takes a minute.
    const double slowImportMs = medianMs(3, runImport, false);
    const double slowBaselineMs = double(entries + 1) * replyMs;
    std::printf("%-50s %10.1f\n", "baseline: 5,001 replies of 50 ms one after another", slowBaselineMs);
    std::printf("%-50s %10.1f\n", "(c) Download of 5000 ids, 50 ms a reply", slowImportMs);
    std::printf("%-50s %10.2f\n", "    ratio, target <= 0.30", slowImportMs / slowBaselineMs);
    std::printf("\nrows stored: %lld; failures: %d\n", static_cast<long long>(stored), failures);

    delete step2;
    site.stop();
    curl_global_cleanup();
    return failures == 0 && stored == entries ? 0 : 1;
}
