// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any page read as the bidder-block page: its list texts found, each split into ids.
#include "site/SiteClient.h"
#include "site/SitePages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QList<QByteArray> lines =
        SplitPageLines(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    for (const QByteArrayView text : FindListTexts(lines))
        SplitBlockedList(text.toByteArray());
    return 0;
}
