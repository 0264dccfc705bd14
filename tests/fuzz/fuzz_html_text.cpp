// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any page's text with its character references decoded.
#include "site/SitePages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    DecodeHtmlText(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
