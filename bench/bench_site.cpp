// SPDX-License-Identifier: MIT
// Site client overheads against the stand-in site on loopback: lookups with page files against
// bare libcurl requests of the same pages, and the upload of a long list.
#include "BareGet.h"
#include "StandinSite.h"
#include "site/SiteClient.h"
#include "site/SiteOperations.h"

#include <QTemporaryDir>
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

} // namespace

int main()
{
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
    SiteClient client(QString::fromStdString(site.baseUrl()), dir.path(), BrowserCookies());
    const std::string lookupUrl =
        site.baseUrl() + "/aw-cgi/eBayISAPI.dll?MfcISAPICommand=ReturnUserIdHistory&requested=";

    int failures = 0;
    auto runLookups = [&] {
        for (const std::string &id : ids)
            failures += IsNaru(client, QString::fromStdString(id)).has_value() ? 0 : 1;
    };
    auto runBare = [&] {
        for (const std::string &id : ids)
            failures += bareGet(lookupUrl + id) ? 0 : 1;
    };
    CURLSH *share = bareShare();
    auto runBareKept = [&] {
        for (const std::string &id : ids)
            failures += bareGet(lookupUrl + id, share) ? 0 : 1;
    };

    for (int i = 0; i < 50; ++i) { // warm-up: page cache, thread pool, first connections
        IsNaru(client, QStringLiteral("warmup"));
        bareGet(lookupUrl + "warmup");
    }
    std::vector<double> lookupRuns, bareRuns, bareKeptRuns;
    for (int r = 0; r < repeats; ++r) {
        // Alternate which goes first, so neither always meets a busier machine.
        if (r % 2) {
            bareRuns.push_back(millisecondsOf(runBare));
            lookupRuns.push_back(millisecondsOf(runLookups));
        } else {
            lookupRuns.push_back(millisecondsOf(runLookups));
            bareRuns.push_back(millisecondsOf(runBare));
        }
        bareKeptRuns.push_back(millisecondsOf(runBareKept));
        site.clearRequests();
    }
    curl_share_cleanup(share);

    QStringList uploadList;
    for (int i = 0; i < uploadIds; ++i)
        uploadList << QStringLiteral("bidder%1").arg(i);
    std::vector<double> buildRuns, sendRuns;
    size_t bodySize = 0;
    for (int r = 0; r < 11; ++r)
        buildRuns.push_back(millisecondsOf([&] { bodySize = UploadBody(uploadList).size(); }));
    for (int r = 0; r < 5; ++r)
        sendRuns.push_back(millisecondsOf([&] {
            const auto sent = UploadBlockList(client, uploadList);
            failures += sent && sent->done() ? 0 : 1;
        }));

    const double lookupMs = median(lookupRuns), bareMs = median(bareRuns);
    std::printf("bench_site: stand-in on %s, medians of %d runs\n\n", site.baseUrl().c_str(), repeats);
    std::printf("%-46s %10s %12s\n", "case", "total ms", "per call ms");
    std::printf("%-46s %10.1f %12.3f\n", "(a) IsNaru x1000 (request + naru.htm + scan)", lookupMs, lookupMs / lookups);
    std::printf("%-46s %10.1f %12.3f\n", "(b) bare libcurl GET x1000 (fresh handle)", bareMs, bareMs / lookups);
    std::printf("%-46s %10.2f %12s\n", "    ratio (a)/(b), target <= 1.5", lookupMs / bareMs, "");
    const double bareKeptMs = median(bareKeptRuns);
    std::printf("%-46s %10.1f %12.3f\n", "(b') bare GET x1000 keeping the connection", bareKeptMs,
                bareKeptMs / lookups);
    std::printf("%-46s %10.2f %12s\n", "    ratio (a)/(b'), like for like", lookupMs / bareKeptMs, "");
    std::printf("%-46s %10.2f %12s\n", "(c) upload body for 5000 ids, build, target<50", median(buildRuns), "");
    std::printf("%-46s %10.2f %12s\n", "    upload for 5000 ids, POST + read-back", median(sendRuns), "");
    std::printf("\nupload body %zu bytes; failed requests: %d\n", bodySize, failures);
    site.stop();
    curl_global_cleanup();
    return failures == 0 ? 0 : 1;
}
