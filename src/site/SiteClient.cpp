#include "site/SiteClient.h"

#include "store/AppFilePath.h"

#include <QFile>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <curl/curl.h>
#include <memory>
#include <thread>

namespace {

// libcurl's global set-up is not thread-safe; do it once, before the first handle, not lazily inside it.
void initCurlOnce()
{
    static const bool done = [] {
        curl_global_init(CURL_GLOBAL_DEFAULT);
        return true;
    }();
    (void)done;
}

// The reply so far; a runaway reply ends the transfer instead of filling the memory.
struct ReplyBuffer
{
    QByteArray bytes;
    bool tooLarge = false;
};

size_t appendToBuffer(char *data, size_t size, size_t count, void *bufferPtr)
{
    auto *buffer = static_cast<ReplyBuffer *>(bufferPtr);
    const auto length = static_cast<qsizetype>(size * count);
    if (buffer->bytes.size() + length > SiteClient::MaxReplyBytes) {
        buffer->tooLarge = true;
        return 0; // anything but the length given aborts the transfer
    }
    buffer->bytes.append(data, length);
    return size * count;
}

// libcurl's low-speed limit averages over several seconds and counts the bytes of an upload body,
// so a server that takes a POST and then stays silent would slip past it; watch progress ourselves.
struct ProgressWatch
{
    std::chrono::milliseconds limit;
    std::chrono::steady_clock::time_point lastChange = std::chrono::steady_clock::now();
    curl_off_t received = 0;
    curl_off_t sent = 0;
    bool stalled = false;
};

int checkProgress(void *watchPtr, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent)
{
    auto *watch = static_cast<ProgressWatch *>(watchPtr);
    const auto now = std::chrono::steady_clock::now();
    if (received != watch->received || sent != watch->sent) {
        watch->received = received;
        watch->sent = sent;
        watch->lastChange = now;
        return 0;
    }
    watch->stalled = now - watch->lastChange >= watch->limit;
    return watch->stalled ? 1 : 0;
}

struct CurlDeleter
{
    void operator()(CURL *handle) const { curl_easy_cleanup(handle); }
    void operator()(curl_slist *list) const { curl_slist_free_all(list); }
};

// How one try of a request ended.
struct TryOutcome
{
    bool completed = false; // a whole reply came in
    bool outage = false;    // refused, dropped or silent: a GET is worth another try
    QString failure;        // why it did not complete
    int status = 0;
    int retryAfterSeconds = -1;
    QByteArray body;
    QString effectiveUrl;
};

TryOutcome sendOnce(CURLSH *share, const SiteClient::Timeouts &timeouts, const QByteArray &url, curl_slist *headers,
                    bool post, const QByteArray &body)
{
    TryOutcome outcome;
    // A fresh handle per try: nothing but the open connections is carried from one to the next.
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        outcome.failure = QStringLiteral("libcurl could not start");
        return outcome;
    }
    CURL *h = curl.get();
    char errorText[CURL_ERROR_SIZE] = {};
    ReplyBuffer reply;
    curl_easy_setopt(h, CURLOPT_URL, url.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendToBuffer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (share)
        curl_easy_setopt(h, CURLOPT_SHARE, share);
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The program takes no settings from the environment, so no proxy from http_proxy either.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    // The browser-side client this replaces followed redirects; libcurl drops our Cookie header
    // when a redirect leaves the host.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    ProgressWatch watch{std::chrono::milliseconds(timeouts.noProgressMs)};
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    if (post) {
        // A redirected post would be followed as a GET of some other page (a sign-in page, say)
        // whose success says nothing about the post: the redirect itself is the answer.
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        outcome.outage = watch.stalled || rc == CURLE_COULDNT_CONNECT || rc == CURLE_OPERATION_TIMEDOUT ||
                         rc == CURLE_GOT_NOTHING || rc == CURLE_PARTIAL_FILE || rc == CURLE_RECV_ERROR ||
                         rc == CURLE_SEND_ERROR;
        if (reply.tooLarge)
            outcome.failure = QStringLiteral("the reply grew beyond %1 MB, far more than any page of the site, "
                                             "so it was dropped")
                                  .arg(SiteClient::MaxReplyBytes / (1024 * 1024));
        else if (watch.stalled)
            outcome.failure =
                QStringLiteral("nothing came from the site for %1 seconds").arg(timeouts.noProgressMs / 1000.0);
        else
            outcome.failure = QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(rc));
        return outcome;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    char *effectiveUrl = nullptr;
    curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effectiveUrl);
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
    outcome.body = std::move(reply.bytes);
    outcome.effectiveUrl = QString::fromUtf8(effectiveUrl);
    return outcome;
}

} // namespace

SiteClient::SiteClient(QString baseUrl, QString appFolder)
    : SiteClient(baseUrl, appFolder, BrowserCookies::fromSystem(appFolder, baseUrl))
{}

SiteClient::SiteClient(QString baseUrl, QString appFolder, BrowserCookies cookies)
    : m_baseUrl(std::move(baseUrl)), m_appFolder(std::move(appFolder)), m_cookies(std::move(cookies))
{
    initCurlOnce();
    m_share.reset(curl_share_init());
    if (m_share) {
        curl_share_setopt(m_share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
        curl_share_setopt(m_share.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
    }
}

SiteClient::~SiteClient() = default;

void SiteClient::ShareDeleter::operator()(void *share) const
{
    curl_share_cleanup(share);
}

QString SiteClient::pagePath(const QString &pageFileName) const
{
    return AppFilePath(m_appFolder, pageFileName);
}

SiteResult<SiteReply> SiteClient::FetchToPageFile(const QString &method, const QString &pathAndQuery,
                                                  const QByteArray &body, const QString &pageFileName)
{
    const QString url = m_baseUrl + pathAndQuery;
    const bool post = method == QLatin1String("POST");
    if (!post && method != QLatin1String("GET"))
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("Could not send the request to %1: unsupported method %2.").arg(url, method)};

    // The site expects the form content type on every request, GET included. "Expect:" stops libcurl
    // from waiting for a 100-continue before a large upload body.
    curl_slist *rawHeaders = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    const QByteArray cookieHeader = m_cookies.cookieHeaderFor(url);
    if (!cookieHeader.isEmpty())
        rawHeaders = curl_slist_append(rawHeaders, QByteArray("Cookie: " + cookieHeader).constData());
    std::unique_ptr<curl_slist, CurlDeleter> headers(rawHeaders);

    const QByteArray urlBytes = url.toUtf8();
    TryOutcome outcome;
    int tries = 0;
    for (;;) {
        outcome = sendOnce(m_share.get(), m_timeouts, urlBytes, headers.get(), post, body);
        ++tries;
        const bool outage = outcome.completed ? IsPassingOutageStatus(outcome.status) : outcome.outage;
        // A post is never sent again: the site may have taken the first one, whatever came back.
        const int waitMs = outage && !post ? NextTryWaitMs(m_timeouts, tries, outcome.retryAfterSeconds) : -1;
        if (waitMs < 0)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
    }
    if (!outcome.completed) {
        const QString tried = tries > 1 ? QStringLiteral(" (tried %1 times)").arg(tries) : QString();
        return SiteError{SiteError::Kind::Failed,
                         QStringLiteral("The request to %1 failed%2: %3").arg(url, tried, outcome.failure)};
    }

    // Overwritten in place and cut to length afterwards: emptying the file first makes ext4 flush it
    // to disk on close, which would cost a lookup sweep more than its requests.
    QFile page(pagePath(pageFileName));
    const QByteArray &text = outcome.body;
    if (!page.open(QIODevice::ReadWrite) || page.write(text) != text.size() || !page.resize(text.size()) ||
        !page.flush())
        return SiteError{
            SiteError::Kind::Failed,
            QStringLiteral("Could not write the page file %1: %2").arg(page.fileName(), page.errorString())};
    page.close();

    SiteReply reply;
    reply.status = outcome.status;
    reply.redirectedOffPath = !post && QUrl(outcome.effectiveUrl).path() != QUrl(url).path();
    return reply;
}

SiteResult<QList<QByteArray>> SiteClient::ReadPageLines(const QString &pageFileName) const
{
    QFile page(pagePath(pageFileName));
    const bool opened = page.open(QIODevice::ReadOnly);
    const QByteArray text = opened ? page.readAll() : QByteArray();
    if (!opened || page.error() != QFileDevice::NoError)
        return SiteError{
            SiteError::Kind::Failed,
            QStringLiteral("Could not read the page file %1: %2").arg(page.fileName(), page.errorString())};
    return SplitPageLines(text);
}

bool IsPassingOutageStatus(int status)
{
    return status == 429 || status == 500 || status == 502 || status == 503 || status == 504;
}

int NextTryWaitMs(const SiteClient::Timeouts &timeouts, int triesMade, int retryAfterSeconds)
{
    if (triesMade < 1 || triesMade > timeouts.retryWaitsMs.size())
        return -1;
    if (retryAfterSeconds >= 0)
        return static_cast<int>(std::min<qint64>(qint64(retryAfterSeconds) * 1000, timeouts.maxRetryWaitMs));
    return timeouts.retryWaitsMs.at(triesMade - 1);
}

QList<QByteArray> SplitPageLines(const QByteArray &text)
{
    QList<QByteArray> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != '\r')
            continue;
        lines.append(text.mid(start, i - start));
        if (i + 1 < text.size() && text.at(i + 1) == '\n')
            ++i;
        start = i + 1;
    }
    // A final line end closes the last line; it does not open an empty one.
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}
