// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "site/SiteClient.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <curl/curl.h>
#include <memory>

// How one try of a request ended.
struct TryOutcome
{
    bool completed = false; // a whole reply came in
    bool outage = false;    // refused, dropped or silent: a GET is worth another try
    QString failure;        // why it did not complete
    int status = 0;
    int retryAfterSeconds = -1;
    QByteArray body;
    // the reply came from another path than the one asked for, or from another host of the site's domain
    bool redirectedOffPath = false;

    // Whether the try met a passing outage, whether or not a reply came.
    bool passingOutage() const { return completed ? IsPassingOutageStatus(status) : outage; }
};

// One try of one request on a handle of its own, which ParallelGets runs among others on a curl
// multi handle. Not movable: libcurl holds pointers into it until it is concluded.
class SiteTransfer
{
public:
    // maxReplyBytes: a longer reply ends the transfer as a failure.
    SiteTransfer(const SiteClient::Timeouts &timeouts, const QByteArray &url, curl_slist *headers, bool post,
                 const QByteArray &body, qint64 maxReplyBytes = SiteClient::MaxReplyBytes);
    ~SiteTransfer();
    SiteTransfer(const SiteTransfer &) = delete;
    SiteTransfer &operator=(const SiteTransfer &) = delete;

    CURL *handle() const { return m_curl.get(); }
    // What came of it, once libcurl has finished with code `rc`.
    TryOutcome conclude(CURLcode rc);

    // The reply so far; a runaway reply ends the transfer instead of filling the memory.
    struct Reply
    {
        QByteArray bytes;
        qint64 maxBytes = SiteClient::MaxReplyBytes;
        bool tooLarge = false;
    };
    // libcurl's low-speed limit averages over several seconds and counts the bytes of an upload
    // body, so a server that takes a POST and then stays silent would slip past it.
    // The deadline of the try is kept here too: libcurl's own timeout ends a transfer with the same
    // code as its speed check, so the message could not tell which it was.
    struct ProgressWatch
    {
        std::chrono::milliseconds limit;
        std::chrono::milliseconds deadline;
        std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
        std::chrono::steady_clock::time_point lastChange = started;
        curl_off_t received = 0;
        curl_off_t sent = 0;
        bool stalled = false;
        bool pastDeadline = false;
    };

private:
    struct Cleanup
    {
        void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
    };

    std::unique_ptr<CURL, Cleanup> m_curl;
    QByteArray m_url;
    char m_errorText[CURL_ERROR_SIZE] = {};
    Reply m_reply;
    ProgressWatch m_watch;
    int m_noProgressMs;
    int m_overallMs;
};

struct SlistDeleter
{
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// Why a request got no reply, after all its tries.
SiteError RequestFailure(const QString &url, int tries, const QString &failure);

// The headers every request carries: the form content type (the site expects it on a GET too),
// no 100-continue wait before a large body, and the browser's cookies for the address.
struct curl_slist *SiteRequestHeaders(const CookieJar &cookies, const QString &url);
