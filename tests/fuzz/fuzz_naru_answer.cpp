// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any lookup reply: the input's first line is the id looked up, the rest the page the site sent.
#include "site/SiteClient.h"
#include "site/SitePages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const SiteClient site(QStringLiteral("https://cgi.ebay.co.uk"), QStringLiteral("/nonexistent"), {});
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype idEnd = input.indexOf('\n');
    const QString userId = QString::fromUtf8(input.left(idEnd < 0 ? input.size() : idEnd));
    (void)NaruAnswer(site, userId, SiteReply{200, false},
                     SplitPageLines(idEnd < 0 ? QByteArray() : input.mid(idEnd + 1)));
    return 0;
}
