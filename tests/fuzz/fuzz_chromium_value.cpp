// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
// Any stored value (after its "v10") decrypted with the key every Chromium without a keyring uses,
// as a newer database stores it: the hash of its host (here 127.0.0.1, as in the fixtures) in front.
#include "session/ChromiumCookies.h"

#include <QCryptographicHash>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const QByteArray key = ChromiumKey("peanuts");
    static const QByteArray hostHash = QCryptographicHash::hash("127.0.0.1", QCryptographicHash::Sha256);
    DecryptChromiumValue(key, QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size)), hostHash);
    return 0;
}
