// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// The NARU sweep over 1,000 list rows against the stand-in site on loopback: with no delay, against
// 1,000 bare libcurl requests of the same pages in the same run; and with the stand-in taking 50 ms
// over each reply, like a real site, against 1,000 such replies one after another, with the
// longest time the event loop waited meanwhile.
#include "BareGet.h"
#include "BenchUtil.h"
#include "RunLookups.h"
#include "StandinSite.h"
#include "app/BBMain.h"
#include "app/WindowFlow.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"
#include "sweep/NARU.h"
#include "ui/Appearance.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

int main(int argc, char *argv[])
{
    constexpr int rows = 1000;
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit()); // no browser cookies: our own overhead only
    QApplication app(argc, argv);
    ApplyAppearance();

    StandinSite site;
    if (!site.start())
        return 1;
    std::set<std::string> naru;
    QList<Bidder> bidders;
    for (const std::string &id : sampleIds(rows, &naru))
        bidders.append({QString::fromStdString(id), QStringLiteral("No"), QStringLiteral("01/12/2026-10:00:00"),
                        QStringLiteral("bench")});
    site.setNaruIds(naru);

    QTemporaryDir dir;
    if (!BidderStore(dir.filePath(QStringLiteral("bidders.mdb"))).replaceAll(bidders))
        return 1;
    WindowFlow flow(AppContext{dir.path(), QString::fromStdString(site.baseUrl()), {}});
    BBMain *main = flow.showMain();

    const std::string lookupUrl =
        site.baseUrl() + "/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=";
    int failures = 0;
    const double bare = medianMs(5, [&] {
        site.clearRequests();
        for (const Bidder &b : bidders)
            failures += bareGet(lookupUrl + b.userName.toStdString()) ? 0 : 1;
    });

    SiteClient client(QString::fromStdString(site.baseUrl()), dir.path(), CookieJar());
    const double lookups = medianMs(5, [&] {
        site.clearRequests();
        for (const Bidder &b : bidders)
            failures += runLookups(client, {b.userName}) ? 0 : 1;
    });

    CURLSH *share = bareShare();
    const double bareKept = medianMs(5, [&] {
        site.clearRequests();
        for (const Bidder &b : bidders)
            failures += bareGet(lookupUrl + b.userName.toStdString(), share) ? 0 : 1;
    });
    curl_share_cleanup(share);

    // The sweep waits for its window to show before it starts; that fixed wait is not its cost.
    int startDelay = 0;
    auto runSweep = [&] {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        NARU window(flow.list(), flow.context(), main);
        startDelay = window.findChild<QTimer *>()->interval();
        window.exec();
    };
    const double sweep = medianMs(5, runSweep) - startDelay;

    // Like a real site: every reply takes 50 ms. A 10 ms timer meanwhile notes how late it fires,
    // which is how long the event loop was kept from the window at worst.
    constexpr int replyMs = 50;
    site.setFault({0, replyMs, false});
    qint64 worstLateMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { worstLateMs = std::max(worstLateMs, sinceTick.restart() - 10); });
    const double slowSweep = medianMs(
                                 5,
                                 [&] {
                                     sinceTick.start();
                                     ticker.start(10);
                                     runSweep();
                                     ticker.stop();
                                 },
                                 false) -
                             startDelay;
    const auto shown = MessageBox::takeShown();
    for (const auto &message : shown)
        failures += message.title == QLatin1String("Bidwarden") ? 1 : 0;

    std::printf("NARU sweep over %d rows, stand-in on loopback (median of 5 runs)\n", rows);
    std::printf("  %-52s %9.2f ms\n", "baseline: bare libcurl GETs, a new connection each", bare);
    report("(b) sweep, no delay, less the 500 ms start", sweep, bare);
    report("    the lookups alone, one at a time (x1000)", lookups, bare);
    std::printf("  %-52s %9.2f ms\n", "bare GETs keeping the connection, like the client", bareKept);
    report("    sweep against that like-for-like baseline", sweep, bareKept);
    const double slowBaseline = double(rows) * replyMs;
    std::printf("  %-52s %9.2f ms\n", "baseline: 1,000 replies of 50 ms one after another", slowBaseline);
    report("(a) sweep, 50 ms a reply, less the 500 ms start", slowSweep, slowBaseline);
    std::printf("  %-52s %9lld ms\n", "(d) longest the event loop waited during (a)",
                static_cast<long long>(worstLateMs));
    std::printf("  failed requests or sweeps: %d\n", failures);
    delete main;
    return failures == 0 ? 0 : 1;
}
