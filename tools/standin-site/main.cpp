// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// bidwarden-standin-site: serves the stand-in auction site on 127.0.0.1 until SIGINT or SIGTERM.
#include "StandinSite.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

std::vector<std::string> splitList(const std::string &text)
{
    std::vector<std::string> items;
    size_t pos = 0;
    while (!text.empty() && pos <= text.size()) {
        size_t end = text.find(',', pos);
        if (end == std::string::npos)
            end = text.size();
        items.push_back(text.substr(pos, end - pos));
        pos = end + 1;
    }
    return items;
}

int usage()
{
    std::fprintf(stderr,
                 "usage: bidwarden-standin-site --port N [--seller-list a,b,c] [--naru x,y] "
                 "[--require-cookie name=value] [--delay-ms N]\n"
                 "         [--signed-out page|redirect] [--upload-keeps N] [--fail-next N[,STATUS[,RETRY_AFTER]]]\n"
                 "         [--maintenance on] [--robot-check on] [--latin1 on] [--trickle on]\n"
                 "         [--elsewhere lookups|block-page] [--form-tokens on]\n"
                 "  --signed-out    every request gets the sign-in page, or a 302 to /signin; given an\n"
                 "                  http:// address (a sign-in host of the site's own domain), a 302 there\n"
                 "  --upload-keeps  the site's limit: an upload answered as done keeps only its first N ids\n"
                 "                  (0: ignores it)\n"
                 "  --fail-next     the next N requests get STATUS (503; 0 drops the connection), with a\n"
                 "                  Retry-After of RETRY_AFTER seconds if given\n"
                 "  --maintenance   every lookup gets a maintenance page that names neither id nor phrase\n"
                 "  --robot-check   every lookup gets a robot check that echoes the id in its form\n"
                 "  --latin1        history pages come in Latin-1\n"
                 "  --trickle       every reply comes a byte a second\n"
                 "  --elsewhere     those requests are redirected to localhost instead of 127.0.0.1\n"
                 "  --form-tokens   the block page's form carries tokens, and an upload without them keeps nothing\n");
    return 2;
}

bool toNumber(const std::string &text, long low, long high, int *number)
{
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || n < low || n > high)
        return false;
    *number = static_cast<int>(n);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int port = -1;
    std::vector<std::string> sellerList;
    std::set<std::string> naru;
    std::string cookieName, cookieValue;
    int delayMs = 0;
    std::string signedOut, elsewhere;
    bool maintenance = false, trickle = false, robotCheck = false, latin1 = false, formTokens = false;
    int uploadKeeps = -1, failCount = 0, failStatus = 503, retryAfter = -1;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage();
        const std::string value = argv[++i];
        if (arg == "--port") {
            if (!toNumber(value, 0, 65535, &port))
                return usage();
        } else if (arg == "--signed-out") {
            if (value != "page" && value != "redirect" && value.rfind("http://", 0) != 0)
                return usage();
            signedOut = value;
        } else if (arg == "--upload-keeps") {
            if (!toNumber(value, 0, 1'000'000, &uploadKeeps))
                return usage();
        } else if (arg == "--fail-next") {
            const std::vector<std::string> parts = splitList(value);
            if (parts.empty() || parts.size() > 3 || !toNumber(parts[0], 0, 1'000'000, &failCount) ||
                (parts.size() > 1 && !toNumber(parts[1], 0, 599, &failStatus)) ||
                (parts.size() > 2 && !toNumber(parts[2], 0, 86'400, &retryAfter)))
                return usage();
        } else if (arg == "--maintenance" || arg == "--trickle" || arg == "--robot-check" || arg == "--latin1" ||
                   arg == "--form-tokens") {
            (arg == "--maintenance"   ? maintenance
             : arg == "--trickle"     ? trickle
             : arg == "--latin1"      ? latin1
             : arg == "--form-tokens" ? formTokens
                                      : robotCheck) = value == "on";
        } else if (arg == "--elsewhere") {
            if (value != "lookups" && value != "block-page")
                return usage();
            elsewhere = value;
        } else if (arg == "--seller-list") {
            sellerList = splitList(value);
        } else if (arg == "--naru") {
            for (const std::string &id : splitList(value))
                naru.insert(id);
        } else if (arg == "--delay-ms") {
            // Slows every answer, so a window that shows while requests run stays on screen.
            char *end = nullptr;
            const long n = std::strtol(value.c_str(), &end, 10);
            if (*end || n < 0 || n > 60000)
                return usage();
            delayMs = static_cast<int>(n);
        } else if (arg == "--require-cookie") {
            const size_t eq = value.find('=');
            if (eq == std::string::npos || eq == 0)
                return usage();
            cookieName = value.substr(0, eq);
            cookieValue = value.substr(eq + 1);
        } else {
            return usage();
        }
    }
    if (port < 0)
        return usage();

    // Block the stop signals before the server thread starts, so only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    StandinSite site;
    site.setSellerList(sellerList);
    site.setNaruIds(naru);
    if (!cookieName.empty())
        site.setRequiredCookie(cookieName, cookieValue);
    if (delayMs > 0)
        site.setFault(StandinSite::Fault{0, delayMs, false});
    if (!signedOut.empty())
        site.setSignedOut(true, signedOut == "redirect" ? "/signin" : signedOut == "page" ? "" : signedOut);
    site.setUploadKeeps(uploadKeeps);
    site.failNextRequests(failCount, failStatus, retryAfter);
    site.setMaintenance(maintenance);
    site.setRobotCheck(robotCheck);
    site.setLatin1(latin1);
    site.setTrickle(trickle);
    site.setFormTokens(formTokens);
    if (!site.start(port)) {
        std::fprintf(stderr, "bidwarden-standin-site: cannot listen on 127.0.0.1:%d: %s\n", port, std::strerror(errno));
        return 1;
    }
    if (!elsewhere.empty())
        site.setRedirectElsewhere(elsewhere == "lookups" ? StandinSite::Kind::Lookup : StandinSite::Kind::BlockPage,
                                  "http://localhost:" + std::to_string(site.port()));
    std::printf("bidwarden-standin-site: serving %s\n", site.baseUrl().c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&stopSignals, &received);
    site.stop();
    return 0;
}
