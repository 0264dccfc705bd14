// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Site client overheads against the stand-in site on loopback: lookups against bare libcurl
// requests of the same pages, and the upload of a long list against one bare GET and one bare POST.
#include "BareGet.h"
#include "RunLookups.h"
#include "StandinSite.h"
#include "core/BidderList.h"
#include "jobs/SaveToSite.h"
#include "jobs/SiteConnection.h"
#include "site/NaruChecks.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <curl/curl.h>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double millisecondsOf(const std::function<void()> &work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// What the upload's post costs without the program: one fresh handle, the same body, reply discarded.
bool barePost(const std::string &url, const QByteArray &body)
{
    auto discard = [](char *, size_t size, size_t count, void *) -> size_t { return size * count; };
    CURL *curl = curl_easy_init();
    curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Expect:");
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.constData());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, static_cast<size_t (*)(char *, size_t, size_t, void *)>(discard));
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    const bool ok = curl_easy_perform(curl) == CURLE_OK;
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return ok;
}

// Save to eBay as the main window runs it, the question answered Yes: the browser session read, the
// site's list read, read again just before the post, the post and the read-back.
bool runSave(SaveToSite &save)
{
    QEventLoop loop;
    bool done = false;
    const auto answer =
        QObject::connect(&save, &SaveToSite::choiceNeeded, &loop, [&] { save.answer(SaveToSite::Choice::Send); });
    const auto end = QObject::connect(&save, &SaveToSite::finished, &loop, [&](const SaveToSite::Outcome &outcome) {
        done = outcome.kind == SaveToSite::Outcome::Kind::Done;
        loop.quit();
    });
    save.start();
    loop.exec();
    QObject::disconnect(answer);
    QObject::disconnect(end);
    return done;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit()); // no browser cookies: our own overhead only
    QCoreApplication app(argc, argv);
    constexpr int lookups = 1000;
    constexpr int uploadIds = 5000;
    constexpr int repeats = 5;

    curl_global_init(CURL_GLOBAL_DEFAULT);
    StandinSite site;
    if (!site.start()) {
        std::fprintf(stderr, "bench_site: the stand-in site did not start\n");
        return 1;
    }
    std::set<std::string> naru;
    const std::vector<std::string> ids = sampleIds(lookups, &naru);
    site.setNaruIds(naru);

    QTemporaryDir dir;
    // No browser cookies: the figures are about our own overhead, not about the user's profile.
    SiteClient client(QString::fromStdString(site.baseUrl()), dir.path(), CookieJar());
    const std::string lookupUrl =
        site.baseUrl() + "/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=";
    QStringList lookupIds;
    for (const std::string &id : ids)
        lookupIds << QString::fromStdString(id);

    int failures = 0;
    auto runLookupJob = [&] { failures += runLookups(client, lookupIds) ? 0 : 1; };
    auto runBare = [&] {
        for (const std::string &id : ids)
            failures += bareGet(lookupUrl + id) ? 0 : 1;
    };
    CURLSH *share = bareShare();
    auto runBareKept = [&] {
        for (const std::string &id : ids)
            failures += bareGet(lookupUrl + id, share) ? 0 : 1;
    };

    for (int i = 0; i < 50; ++i) // warm-up: page cache, thread pool, first connections
        bareGet(lookupUrl + "warmup");
    runLookupJob();
    std::vector<double> lookupRuns, bareRuns, bareKeptRuns;
    for (int r = 0; r < repeats; ++r) {
        // Alternate which goes first, so neither always meets a busier machine.
        if (r % 2) {
            bareRuns.push_back(millisecondsOf(runBare));
            lookupRuns.push_back(millisecondsOf(runLookupJob));
        } else {
            lookupRuns.push_back(millisecondsOf(runLookupJob));
            bareRuns.push_back(millisecondsOf(runBare));
        }
        bareKeptRuns.push_back(millisecondsOf(runBareKept));
        site.clearRequests();
    }
    curl_share_cleanup(share);

    // The upload: the site already holds the list, as after an import, so the question would
    // have nothing to name; its two reads and its read-back each fetch a page of 5,000 ids.
    QStringList listToSend;
    std::vector<std::string> held;
    for (int i = 0; i < uploadIds; ++i) {
        listToSend << QStringLiteral("bidder%1").arg(i);
        held.push_back(listToSend.back().toStdString());
    }
    site.setSellerList(held);
    const QByteArray body = UploadBody(listToSend);
    QList<Bidder> rows;
    for (const QString &id : std::as_const(listToSend))
        rows << BidderList::block(id, false, QStringLiteral("bench"));
    if (!BidderStore(dir.filePath(QStringLiteral("bidders.mdb"))).replaceAll(rows))
        return 1;
    BidderList list(dir.filePath(QStringLiteral("bidders.mdb")));
    if (!list.load())
        return 1;
    SiteConnection connection(QString::fromStdString(site.baseUrl()), dir.path(), {});
    SaveToSite save(connection, list);
    const std::string blockUrl = site.baseUrl() + "/aw-cgi/eBayISAPI.dll?BidderBlockLogin";
    const std::string postUrl = site.baseUrl() + "/aw-cgi/eBayISAPI.dll";
    std::vector<double> buildRuns, uploadRuns, bareUploadRuns, changedRuns;
    for (int r = 0; r < 11; ++r)
        buildRuns.push_back(millisecondsOf([&] { failures += UploadBody(listToSend).isEmpty() ? 1 : 0; }));
    auto runUpload = [&] { failures += runSave(save) ? 0 : 1; };
    auto runBareUpload = [&] { failures += bareGet(blockUrl) && barePost(postUrl, body) ? 0 : 1; };
    runUpload();
    runBareUpload();
    for (int r = 0; r < 7; ++r) {
        uploadRuns.push_back(millisecondsOf(runUpload));
        bareUploadRuns.push_back(millisecondsOf(runBareUpload));
        site.clearRequests();
    }
    // The same save when the site lacks the last id: the list read back is not the one read before.
    const std::vector<std::string> lacking(held.begin(), held.end() - 1);
    for (int r = 0; r < 7; ++r) {
        site.setSellerList(lacking);
        changedRuns.push_back(millisecondsOf(runUpload));
        site.clearRequests();
    }

    // Against a site that takes 200 ms a reply, a 5 ms timer notes how late it fires during the
    // upload: how long the event loop was kept from the window at worst.
    site.setFault({0, 200, false});
    qint64 worstLateMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, &ticker,
                     [&] { worstLateMs = std::max(worstLateMs, sinceTick.restart() - 5); });
    double slowUploadMs = 0;
    for (int r = 0; r < 3; ++r) {
        sinceTick.start();
        ticker.start(5);
        slowUploadMs = std::max(slowUploadMs, millisecondsOf(runUpload));
        ticker.stop();
    }

    const double lookupMs = median(lookupRuns), bareMs = median(bareRuns);
    std::printf("bench_site: stand-in on %s, medians of %d runs\n\n", site.baseUrl().c_str(), repeats);
    std::printf("%-64s %10s %12s\n", "case", "total ms", "per call ms");
    std::printf("%-64s %10.1f %12.3f\n", "(a) lookups x1000 as the windows run them", lookupMs, lookupMs / lookups);
    std::printf("%-64s %10.1f %12.3f\n", "(b) bare libcurl GET x1000 (fresh handle)", bareMs, bareMs / lookups);
    std::printf("%-64s %10.2f %12s\n", "    ratio (a)/(b)", lookupMs / bareMs, "");
    const double bareKeptMs = median(bareKeptRuns);
    std::printf("%-64s %10.1f %12.3f\n", "(b') bare GET x1000 keeping the connection", bareKeptMs,
                bareKeptMs / lookups);
    std::printf("%-64s %10.2f %12s\n", "    ratio (a)/(b')", lookupMs / bareKeptMs, "");
    std::printf("%-64s %10.2f %12s\n", "(c) upload body for 5000 ids, build, target<50", median(buildRuns), "");
    const double uploadMs = median(uploadRuns), bareUploadMs = median(bareUploadRuns);
    std::printf("%-64s %10.2f %12s\n", "(d) Save to eBay of 5000 ids: session, 2 reads, POST, read-back", uploadMs, "");
    std::printf("%-64s %10.2f %12s\n", "(e) bare GET of the block page + bare POST", bareUploadMs, "");
    std::printf("%-64s %10.2f %12s\n", "    ratio (d)/(e), target <= 4.5", uploadMs / bareUploadMs, "");
    const double changedMs = median(changedRuns);
    std::printf("%-64s %10.2f %12s\n", "(d') the same save, the site lacking one id before it", changedMs, "");
    std::printf("%-64s %10.2f %12s\n", "    ratio (d')/(e)", changedMs / bareUploadMs, "");
    std::printf("%-64s %10.1f %12s\n", "(f) upload against a site taking 200 ms a reply", slowUploadMs, "");
    std::printf("%-64s %10lld %12s\n", "    longest the event loop waited, target <= 50",
                static_cast<long long>(worstLateMs), "");
    std::printf("\nupload body %lld bytes; failed requests: %d\n", static_cast<long long>(body.size()), failures);
    site.stop();
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
