#include "TestSupport.h"

#include <QFile>
#include <QTest>

TestFolder::TestFolder()
{
    QVERIFY2(m_dir.isValid(), qPrintable(m_dir.errorString()));
}

QString TestFolder::file(const QString &name) const
{
    return m_dir.filePath(name);
}

void TestFolder::seed(const QList<Bidder> &bidders) const
{
    BidderStore store(storePath());
    if (!store.replaceAll(bidders))
        QTest::qFail(qPrintable(store.lastError()), __FILE__, __LINE__);
}

QList<Bidder> TestFolder::stored() const
{
    BidderStore store(storePath());
    const auto rows = store.readAll();
    if (!rows)
        QTest::qFail(qPrintable(store.lastError()), __FILE__, __LINE__);
    return rows.value_or(QList<Bidder>());
}

QStringList TestFolder::storedNames() const
{
    QStringList names;
    for (const Bidder &b : stored())
        names << b.userName;
    return names;
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

Bidder bidder(const QString &userName, const QString &naru, const QString &dateTime, const QString &reason)
{
    return Bidder{userName, naru, dateTime, reason.isNull() ? QStringLiteral("reason for ") + userName : reason};
}

char *toString(const Bidder &b)
{
    return qstrdup(QStringLiteral("{%1|%2|%3|%4}").arg(b.userName, b.naru, b.dateTime, b.reason).toUtf8().constData());
}
