#pragma once

#include "site/BrowserCookies.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <memory>

// One synchronous request to the auction site's CGI endpoint per call; the whole reply goes to a
// page file in the application folder, and the site operations read that file back line by line.
class SiteClient
{
public:
    struct Timeouts
    {
        // Generous: the site can be slow, but a silent server must not freeze the program for ever.
        int connectMs = 30'000;
        int noProgressMs = 60'000; // no byte sent or received for this long ends the request
    };

    // baseUrl: scheme and host of the CGI endpoint, without a trailing slash.
    // The cookies of the signed-in browser are read here, once, for all requests of this client
    // (decrypting only those for baseUrl's host).
    SiteClient(QString baseUrl, QString appFolder);
    SiteClient(QString baseUrl, QString appFolder, BrowserCookies cookies);
    ~SiteClient();
    SiteClient(const SiteClient &) = delete;
    SiteClient &operator=(const SiteClient &) = delete;

    void setTimeouts(const Timeouts &timeouts) { m_timeouts = timeouts; }

    // Sends the request and writes the reply body, whatever its status, to the page file.
    // On a failed request the page file is left as it was. False = failed; lastError() says why.
    bool FetchToPageFile(const QString &method, const QString &pathAndQuery, const QByteArray &body,
                         const QString &pageFileName);

    // The page file's lines without their ends: a line ends at CR or CR LF; a lone LF is part of the line.
    bool ReadPageLines(const QString &pageFileName, QList<QByteArray> *lines);

    int lastStatus() const { return m_lastStatus; } // of the last completed request; 0 if none
    QString lastError() const { return m_lastError; }
    void setLastError(const QString &error) { m_lastError = error; }

    QString pagePath(const QString &pageFileName) const;
    QString baseUrl() const { return m_baseUrl; }
    const BrowserCookies &cookies() const { return m_cookies; }

private:
    struct ShareDeleter
    {
        void operator()(void *share) const;
    };

    QString m_baseUrl;
    QString m_appFolder;
    BrowserCookies m_cookies;
    Timeouts m_timeouts;
    int m_lastStatus = 0;
    QString m_lastError;
    // Each request has a fresh handle, but the open connections to the site are kept between the
    // requests of one client, as a browser's HTTP stack keeps them: a sweep over thousands of
    // bidders then pays for one connection (and one TLS handshake), not one per bidder.
    std::unique_ptr<void, ShareDeleter> m_share; // a CURLSH
};

// Splits page bytes into lines by the page-file line rule (exposed for the operations and tests).
QList<QByteArray> SplitPageLines(const QByteArray &text);
