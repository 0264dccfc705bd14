// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "session/CookieJar.h"

#include <QByteArray>
#include <QString>

// A Netscape-format cookies.txt, as browser export extensions write it, given as its bytes: the
// cookies that could go to host; source names the file in the jar's problems and sources. Touches
// no file.
CookieJar ParseCookiesTxt(const QByteArray &text, const QString &host, const QString &source);

// The cookies.txt at path, for the query's host. A missing file is no error. It replaces every
// browser's session, so it is read only when it is the user's own regular file, not reached through
// a link, that no other user may read or write; otherwise it is passed over with a problem stated.
CookieJar ReadCookiesTxt(const QString &path, const SessionQuery &query);
