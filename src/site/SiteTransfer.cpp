// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "site/SiteTransfer.h"

#include <QUrl>
#include <libpsl.h>

namespace {

// Whether two hosts belong to one registered domain ("cgi.ebay.co.uk" and "signin.ebay.co.uk", not
// "a.co.uk" and "b.co.uk"), by the public suffix list. An address is no domain at all.
bool sameRegisteredDomain(const QString &one, const QString &other)
{
    static const psl_ctx_t *const list = [] {
        const psl_ctx_t *latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    const auto domain = [](const QString &host) -> QByteArray {
        const QByteArray name = host.toLower().toUtf8();
        bool address = name.contains(':'); // IPv6
        if (!address) {
            address = true;
            for (const char c : name)
                address = address && ((c >= '0' && c <= '9') || c == '.');
        }
        const char *registered = address || !list ? nullptr : psl_registrable_domain(list, name.constData());
        return registered ? QByteArray(registered) : QByteArray();
    };
    const QByteArray registered = domain(one);
    return !registered.isEmpty() && registered == domain(other);
}

size_t appendToReply(char *data, size_t size, size_t count, void *replyPtr)
{
    auto *reply = static_cast<SiteTransfer::Reply *>(replyPtr);
    const auto length = static_cast<qsizetype>(size * count);
    if (reply->bytes.size() + length > reply->maxBytes) {
        reply->tooLarge = true;
        return 0; // anything but the length given aborts the transfer
    }
    reply->bytes.append(data, length);
    return size * count;
}

int checkProgress(void *watchPtr, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent)
{
    auto *watch = static_cast<SiteTransfer::ProgressWatch *>(watchPtr);
    const auto now = std::chrono::steady_clock::now();
    // However slowly the bytes trickle in, no try lasts longer than this.
    if (now - watch->started >= watch->deadline) {
        watch->pastDeadline = true;
        return 1;
    }
    if (received != watch->received || sent != watch->sent) {
        watch->received = received;
        watch->sent = sent;
        watch->lastChange = now;
        return 0;
    }
    watch->stalled = now - watch->lastChange >= watch->limit;
    return watch->stalled ? 1 : 0;
}

} // namespace

SiteError RequestFailure(const QString &url, int tries, const QString &failure)
{
    const QString tried = tries > 1 ? QStringLiteral(" (tried %1 times)").arg(tries) : QString();
    return SiteError{SiteError::Kind::Failed,
                     QStringLiteral("The request to %1 failed%2: %3").arg(url, tried, failure)};
}

curl_slist *SiteRequestHeaders(const CookieJar &cookies, const QString &url)
{
    curl_slist *headers = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    headers = curl_slist_append(headers, "Expect:");
    const QByteArray cookieHeader = cookies.cookieHeaderFor(url);
    if (!cookieHeader.isEmpty())
        headers = curl_slist_append(headers, QByteArray("Cookie: " + cookieHeader).constData());
    return headers;
}

SiteTransfer::SiteTransfer(const SiteClient::Timeouts &timeouts, const QByteArray &url, curl_slist *headers, bool post,
                           const QByteArray &body, qint64 maxReplyBytes)
    : m_curl(curl_easy_init()), m_url(url), m_watch{std::chrono::milliseconds(timeouts.noProgressMs),
                                                    std::chrono::milliseconds(timeouts.overallMs)},
      m_noProgressMs(timeouts.noProgressMs), m_overallMs(timeouts.overallMs)
{
    m_reply.maxBytes = maxReplyBytes;
    CURL *h = m_curl.get();
    if (!h)
        return;
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, m_errorText);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendToReply);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &m_reply);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    // A site reached over https is never followed down to plain http.
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, url.startsWith("https:") ? "https" : "http,https");
    // The program takes no settings from the environment, so no proxy from http_proxy either.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    // The browser-side client this replaces followed redirects; libcurl drops our Cookie header
    // when a redirect leaves the host.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &m_watch);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (post) {
        // A redirected post would be followed as a GET of some other page (a sign-in page, say)
        // whose success says nothing about the post: the redirect itself is the answer.
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }
}

SiteTransfer::~SiteTransfer() = default;

TryOutcome SiteTransfer::conclude(CURLcode rc)
{
    TryOutcome outcome;
    CURL *h = m_curl.get();
    if (!h) {
        outcome.failure = QStringLiteral("libcurl could not start");
        return outcome;
    }
    if (rc != CURLE_OK) {
        outcome.outage = m_watch.stalled || m_watch.pastDeadline || rc == CURLE_COULDNT_CONNECT ||
                         rc == CURLE_OPERATION_TIMEDOUT || rc == CURLE_GOT_NOTHING || rc == CURLE_PARTIAL_FILE ||
                         rc == CURLE_RECV_ERROR || rc == CURLE_SEND_ERROR;
        if (m_reply.tooLarge)
            outcome.failure = QStringLiteral("the reply grew beyond %1 MB, far more than any page of the site, "
                                             "so it was dropped")
                                  .arg(m_reply.maxBytes / (1024 * 1024));
        else if (m_watch.stalled)
            outcome.failure = QStringLiteral("nothing came from the site for %1 seconds").arg(m_noProgressMs / 1000.0);
        else if (m_watch.pastDeadline)
            outcome.failure =
                QStringLiteral("the site had not sent its whole reply after %1 seconds").arg(m_overallMs / 1000.0);
        else
            outcome.failure = QString::fromUtf8(m_errorText[0] ? m_errorText : curl_easy_strerror(rc));
        return outcome;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    char *effectiveUrl = nullptr;
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
    const QUrl asked(QString::fromUtf8(m_url)), reached(QString::fromUtf8(effectiveUrl));
    // Only the site's own pages are answers: a page of another origin is a failed request, unless
    // it is another host of the site's domain, where the site sends a seller to sign in.
    const bool sameOrigin = reached.scheme() == asked.scheme() && reached.host() == asked.host() &&
                            reached.port(reached.scheme() == QLatin1String("https") ? 443 : 80) ==
                                asked.port(asked.scheme() == QLatin1String("https") ? 443 : 80);
    if (!sameOrigin && !sameRegisteredDomain(asked.host(), reached.host())) {
        outcome.failure = QStringLiteral("the site sent it on to %1, which is not the site")
                              .arg(reached.toString(QUrl::RemoveUserInfo));
        return outcome;
    }
    outcome.redirectedOffPath = !sameOrigin || reached.path() != asked.path();
    // Only the seconds form: a date would trust the site's clock, and the default waits do as well.
    curl_header *retryAfter = nullptr;
    if (curl_easy_header(h, "Retry-After", 0, CURLH_HEADER, -1, &retryAfter) == CURLHE_OK) {
        bool isNumber = false;
        const int seconds = QByteArray(retryAfter->value).trimmed().toInt(&isNumber);
        if (isNumber && seconds >= 0)
            outcome.retryAfterSeconds = seconds;
    }
    outcome.completed = true;
    outcome.status = static_cast<int>(status);
    outcome.body = std::move(m_reply.bytes);
    return outcome;
}
