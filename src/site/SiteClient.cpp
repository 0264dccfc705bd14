#include "site/SiteClient.h"

#include "store/AppFilePath.h"

#include <QFile>
#include <chrono>
#include <curl/curl.h>
#include <memory>

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

size_t appendToBuffer(char *data, size_t size, size_t count, void *buffer)
{
    static_cast<QByteArray *>(buffer)->append(data, static_cast<qsizetype>(size * count));
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

bool SiteClient::FetchToPageFile(const QString &method, const QString &pathAndQuery, const QByteArray &body,
                                 const QString &pageFileName)
{
    m_lastStatus = 0;
    m_lastError.clear();
    const QString url = m_baseUrl + pathAndQuery;
    const QByteArray urlBytes = url.toUtf8();

    // A fresh handle per request, as before: nothing is carried from one request to the next.
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        m_lastError = QStringLiteral("Could not send the request to %1: libcurl could not start.").arg(url);
        return false;
    }
    CURL *h = curl.get();

    // The site expects the form content type on every request, GET included. "Expect:" stops libcurl
    // from waiting for a 100-continue before a large upload body.
    curl_slist *rawHeaders = curl_slist_append(nullptr, "Content-Type: application/x-www-form-urlencoded");
    rawHeaders = curl_slist_append(rawHeaders, "Expect:");
    const QByteArray cookieHeader = m_cookies.cookieHeaderFor(url);
    if (!cookieHeader.isEmpty())
        rawHeaders = curl_slist_append(rawHeaders, QByteArray("Cookie: " + cookieHeader).constData());
    std::unique_ptr<curl_slist, CurlDeleter> headers(rawHeaders);

    char errorText[CURL_ERROR_SIZE] = {};
    QByteArray reply;
    curl_easy_setopt(h, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, appendToBuffer);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (m_share)
        curl_easy_setopt(h, CURLOPT_SHARE, m_share.get());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // The program takes no settings from the environment, so no proxy from http_proxy either.
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    // The browser-side client this replaces followed redirects; libcurl drops our Cookie header
    // when a redirect leaves the host.
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeouts.connectMs));
    ProgressWatch watch{std::chrono::milliseconds(m_timeouts.noProgressMs)};
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, checkProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);

    if (method == QLatin1String("POST")) {
        // A redirected post would be followed as a GET of some other page (a sign-in page, say)
        // whose success says nothing about the post: the redirect itself is the answer.
        curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L);
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.constData());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    } else if (method != QLatin1String("GET")) {
        m_lastError = QStringLiteral("Could not send the request to %1: unsupported method %2.").arg(url, method);
        return false;
    }

    const CURLcode rc = curl_easy_perform(h);
    if (rc != CURLE_OK) {
        const QString why =
            watch.stalled
                ? QStringLiteral("nothing came from the site for %1 seconds").arg(m_timeouts.noProgressMs / 1000.0)
                : QString::fromUtf8(errorText[0] ? errorText : curl_easy_strerror(rc));
        m_lastError = QStringLiteral("The request to %1 failed: %2").arg(url, why);
        return false;
    }
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    m_lastStatus = static_cast<int>(status);

    // Overwritten in place and cut to length afterwards: emptying the file first makes ext4 flush it
    // to disk on close, which would cost a lookup sweep more than its requests.
    QFile page(pagePath(pageFileName));
    if (!page.open(QIODevice::ReadWrite) || page.write(reply) != reply.size() || !page.resize(reply.size()) ||
        !page.flush()) {
        m_lastError = QStringLiteral("Could not write the page file %1: %2").arg(page.fileName(), page.errorString());
        return false;
    }
    page.close();
    return true;
}

bool SiteClient::ReadPageLines(const QString &pageFileName, QList<QByteArray> *lines)
{
    QFile page(pagePath(pageFileName));
    if (!page.open(QIODevice::ReadOnly)) {
        m_lastError = QStringLiteral("Could not read the page file %1: %2").arg(page.fileName(), page.errorString());
        return false;
    }
    const QByteArray text = page.readAll();
    if (page.error() != QFileDevice::NoError) {
        m_lastError = QStringLiteral("Could not read the page file %1: %2").arg(page.fileName(), page.errorString());
        return false;
    }
    *lines = SplitPageLines(text);
    return true;
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
