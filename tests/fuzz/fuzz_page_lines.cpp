// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any reply split into page-file lines.
#include "site/SitePages.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    SplitPageLines(QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)));
    return 0;
}
