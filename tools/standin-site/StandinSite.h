// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

// A stand-in for the auction site's CGI endpoint on 127.0.0.1: the bidder-block page, the user-id
// history page and the block-list upload, with faults on demand. It records every request raw.
// All members are safe to call from any thread while the server runs.
class StandinSite
{
public:
    StandinSite();
    ~StandinSite(); // stops the server

    StandinSite(const StandinSite &) = delete;
    StandinSite &operator=(const StandinSite &) = delete;

    // Listens on 127.0.0.1 (port 0 = any free port) and serves from its own thread.
    // Returns once connections are accepted; false if the port could not be bound.
    bool start(int port = 0);
    void stop();
    int port() const;
    std::string baseUrl() const; // "http://127.0.0.1:PORT"

    void setSellerList(const std::vector<std::string> &ids);
    std::vector<std::string> sellerList() const;
    // Once the next read of the bidder-block page is answered, these ids join the list, as if the
    // seller blocked them on the site's own page meanwhile. Each call waits for a read of its own.
    void addAfterNextBlockPageRead(const std::vector<std::string> &ids);
    // Form tokens: hidden fields "stok" and "srt" in the bidder-block page's form, and an upload
    // without both, as the page gave them, keeps nothing (it is still answered with a page).
    void setFormTokens(bool on);
    static const char *const TokenStok; // the values the tokens have, as posted (decoded)
    static const char *const TokenSrt;
    void setNaruIds(const std::set<std::string> &ids);
    // The reply body for one id's lookup instead of the generated history page.
    void setHistoryPage(const std::string &id, const std::string &body);
    // The reply body for the bidder-block page instead of the generated one ("" = generated again).
    void setBlockPage(const std::string &body);
    // Without this cookie the bidder-block page, the lookups and the upload answer with a sign-in page.
    void setRequiredCookie(const std::string &name, const std::string &value);
    // A session that has ended: every request to the CGI endpoint gets the sign-in page (a 200 with a
    // password field) or, given redirectTo, a 302 there. "/signin" serves the sign-in page under any
    // host name, so redirectTo may be a whole address on another host name that reaches this server
    // (the site's sign-in host); a CGI address is served as usual.
    void setSignedOut(bool signedOut, const std::string &redirectTo = {});
    // The site's limit: an upload answered as done keeps only the first `count` of its ids (0 = ignores
    // it, -1 = keeps all).
    void setUploadKeeps(int count);
    // The next `count` requests of any kind get this status (0 = the connection drops mid-reply),
    // with a Retry-After of that many seconds unless it is -1.
    void failNextRequests(int count, int status = 503, int retryAfterSeconds = -1);

    struct Fault
    {
        int status = 0;    // answer the usual page with this status (0 = 200)
        int delayMs = 0;   // wait this long before answering
        bool drop = false; // close the connection after the headers, before the body
    };
    void setFault(const Fault &fault);                              // every request
    void setLookupFault(const std::string &id, const Fault &fault); // that id's lookups only
    // Block-list uploads only; with a 3xx status, location is where the reply sends the client.
    void setUploadFault(const Fault &fault, const std::string &location = {});
    void setLfOnly(bool lfOnly); // pages with LF line ends instead of CR LF
    // Down for maintenance: every lookup is answered 200 with a page that names neither the id nor
    // the phrase.
    void setMaintenance(bool maintenance);
    // A robot check: every lookup is answered 200 with a page whose form echoes the requested id, in
    // its action and in a hidden field, and whose text names neither the id nor the phrase.
    void setRobotCheck(bool robotCheck);
    // History pages in Latin-1, as they declare, with the id converted from UTF-8 (others: UTF-8).
    void setLatin1(bool latin1);
    // Requests of one kind that reach it as 127.0.0.1 are sent on with a 302 to `base` (another
    // origin: "http://localhost:PORT", or another port) plus the same path and query; "" = none.
    enum class Kind
    {
        Lookup,
        BlockPage
    };
    void setRedirectElsewhere(Kind kind, const std::string &base);
    // Every reply comes a byte a second.
    void setTrickle(bool trickle);

    struct Request
    {
        std::string method;
        std::string target; // path and query exactly as sent, not decoded
        std::multimap<std::string, std::string> headers;
        std::string body;
    };
    std::vector<Request> requests() const;
    void clearRequests();
    // The most requests it was answering at one time since it started or its requests were cleared.
    int peakRequestsInFlight() const;

    // Percent-decodes %XX sequences; everything else is kept as it is.
    static std::string percentDecode(const std::string &text);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
