// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "DateTimeText.h"

namespace {

// Removes the time-zone fields ("t", "tt", ...) from a QLocale time format, together with the
// blank that separated them, leaving quoted literal text alone.
QString withoutZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    return out.trimmed();
}

} // namespace

QString DateTimeText(const QDateTime &when, const QLocale &locale)
{
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    const QString time = locale.toString(when.time(), withoutZone(locale.timeFormat(QLocale::LongFormat)));
    return date + QLatin1Char('-') + time;
}
