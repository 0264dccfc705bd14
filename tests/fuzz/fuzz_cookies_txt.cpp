// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any cookies.txt: read for the site's host, then the header a request to the site would carry.
#include "session/CookiesTxt.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray text = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const CookieJar cookies = ParseCookiesTxt(text, QStringLiteral("cgi.ebay.co.uk"), QStringLiteral("cookies.txt"));
    cookies.cookieHeaderFor(QStringLiteral("https://cgi.ebay.co.uk/aw-cgi/eBayISAPI.dll?BidderBlockLogin"));
    return 0;
}
