// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"
#include "store/Result.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <utility>

// Why a site request or operation gave no answer, in words for the user.
struct SiteError
{
    enum class Kind
    {
        Failed,    // no complete reply, an error status, a runaway reply, or a page file that failed
        SignedOut, // the site answered with its sign-in page: the browser's session has ended
        NotAList,  // the bidder-block page came back without its list (an error or some other page)
        NoAnswer,  // a lookup's page named neither the id nor the phrase: a maintenance or bot-check page
    };
    Kind kind = Kind::Failed;
    QString message;
    // The message advises signing in again (always so for SignedOut): the caller may add where
    // the program itself offers the site's sign-in page.
    bool signInMayHelp = false;
};

// A value, or the error that stopped it.
template <typename T> using SiteResult = Result<T, SiteError>;

// The page files: the latest reply of each kind, kept in the application folder.
enum class Page
{
    BlockList,   // the bidder-block page the import reads (response.htm)
    UploadReply, // the site's answer to the latest upload (response2.htm)
    Lookup,      // the latest NARU lookup's history page (naru.htm)
    ReadBack,    // the site's list as the latest upload read it, before the post and after (readback.htm)
};
constexpr Page AllPages[] = {Page::BlockList, Page::UploadReply, Page::Lookup, Page::ReadBack};
QString fileName(Page page);

// A request that got a whole reply, saved to its page file whatever the status.
struct SiteReply
{
    int status = 0;
    // A GET that ended on another path than it asked for, or on another host of the site's own
    // domain: the site sent us elsewhere, to sign in.
    bool redirectedOffPath = false;
};

// What every request to the auction site's CGI endpoint shares: the address, the browser's session,
// the time limits and the page files in the application folder. The requests
// themselves go through ParallelGets, which never blocks the event loop.
class SiteClient
{
public:
    struct Timeouts
    {
        // Generous: the site can be slow, but a silent server must not freeze the program for ever.
        int connectMs = 30'000;
        int noProgressMs = 60'000; // no byte sent or received for this long ends the request
        int overallMs = 60'000;    // no try of a request lasts longer, however slowly the bytes trickle in
        // A GET that meets a passing outage is tried again after these waits, so 3 tries in all.
        QList<int> retryWaitsMs{1'000, 2'000};
        int maxRetryWaitMs = 10'000; // the most a Retry-After may make us wait
    };
    // A reply larger than this is not a page of the site: the request fails and nothing is kept.
    static constexpr qint64 MaxReplyBytes = 16 * 1024 * 1024;
    // A user-id history page is a few kilobytes; one this large is no answer.
    static constexpr qint64 MaxLookupReplyBytes = 2 * 1024 * 1024;

    // baseUrl: scheme and host of the CGI endpoint, without a trailing slash. cookies: the signed-in
    // browser's session for that host (ReadBrowserSession), sent with every request of this client.
    SiteClient(QString baseUrl, QString appFolder, CookieJar cookies);
    ~SiteClient();
    SiteClient(const SiteClient &) = delete;
    SiteClient &operator=(const SiteClient &) = delete;

    void setTimeouts(const Timeouts &timeouts) { m_timeouts = timeouts; }
    const Timeouts &timeouts() const { return m_timeouts; }
    // Where host names are reached instead of where they resolve, in libcurl's CURLOPT_CONNECT_TO
    // form ("host:port:address:port", a part left empty matches any). Lets tests give the site
    // host names of a real domain and still serve it on loopback.
    void setConnectTo(const QStringList &mappings) { m_connectTo = mappings; }
    const QStringList &connectTo() const { return m_connectTo; }

    // Replaces the page file's text, whole or not at all, readable by the user alone; a link planted
    // in its place is replaced, never written through. Every reply kept goes this way.
    SiteResult<Done> WritePageFile(Page page, const QByteArray &text) const;
    // Removes the half-written page files that a run killed while writing one left in appFolder.
    // Only for the program that holds the folder's lock: another's may be writing one.
    static void RemoveUnfinishedPageFiles(const QString &appFolder);

    QString pagePath(Page page) const;
    QString baseUrl() const { return m_baseUrl; }
    const CookieJar &cookies() const { return m_cookies; }

private:
    QString m_baseUrl;
    QString m_appFolder;
    CookieJar m_cookies;
    Timeouts m_timeouts;
    QStringList m_connectTo;
};

// The retry rule, in one place for every way of sending a GET. Passing outages are a refused,
// dropped or silent connection and these statuses; a sign-in page or any other status is an answer.
bool IsPassingOutageStatus(int status);
// The wait in ms before the next try of a GET whose triesMade-th try met a passing outage, or -1
// when it has had all its tries. retryAfterSeconds: the reply's Retry-After, -1 when it has none.
int NextTryWaitMs(const SiteClient::Timeouts &timeouts, int triesMade, int retryAfterSeconds);
