// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "TestSupport.h"

#include <QFile>
#include <QTest>
#include <sqlite3.h>

TestFolder::TestFolder()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
}

void TestFolder::seed(const QList<Bidder> &bidders) const
{
    if (const auto seeded = BidderStore(storePath()).replaceAll(bidders); !seeded)
        QTest::qFail(qPrintable(seeded.error()), __FILE__, __LINE__);
}

QList<Bidder> TestFolder::stored() const
{
    const auto rows = BidderStore(storePath()).readAll();
    if (!rows)
        QTest::qFail(qPrintable(rows.error()), __FILE__, __LINE__);
    return rows ? *rows : QList<Bidder>();
}

QStringList TestFolder::storedNames() const
{
    return namesOf(stored());
}

QByteArray TestFolder::bytes(const QString &name) const
{
    QFile f(file(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void TestFolder::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(file(name));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

void TestFolder::sql(const char *statement) const
{
    sqlite3 *db = nullptr;
    sqlite3_open(QFile::encodeName(storePath()).constData(), &db);
    char *error = nullptr;
    if (sqlite3_exec(db, statement, nullptr, nullptr, &error) != SQLITE_OK)
        QTest::qFail(error, __FILE__, __LINE__);
    sqlite3_free(error);
    sqlite3_close(db);
}

Bidder bidder(const QString &userName, const QString &naru, const QString &dateTime, const QString &reason)
{
    return Bidder{userName, naru, dateTime, reason.isNull() ? QStringLiteral("reason for ") + userName : reason};
}

QStringList namesOf(const QList<Bidder> &bidders)
{
    QStringList names;
    for (const Bidder &b : bidders)
        names << b.userName;
    return names;
}

char *toString(const Bidder &b)
{
    return qstrdup(QStringLiteral("{%1|%2|%3|%4}").arg(b.userName, b.naru, b.dateTime, b.reason).toUtf8().constData());
}
