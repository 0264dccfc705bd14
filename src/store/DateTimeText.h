// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>

// The "Date Added" text a new bidder row gets: the locale's short date, "-", then the locale's
// long time (hours, minutes, seconds) without the time-zone name, e.g. 05/12/2026-12:01:17 in en_GB.
QString DateTimeText(const QDateTime &when = QDateTime::currentDateTime(), const QLocale &locale = QLocale());
