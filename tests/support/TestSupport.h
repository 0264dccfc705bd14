// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/BidderStore.h"

#include <QList>
#include <QString>
#include <QTemporaryDir>

// A fresh application folder for one test: bidders.mdb and the page files live here.
class TestFolder
{
public:
    TestFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &name) const { return m_dir.filePath(name); }
    QString storePath() const { return file(QStringLiteral("bidders.mdb")); }

    // Creates the store holding exactly these rows, in this order.
    void seed(const QList<Bidder> &bidders) const;
    // The stored rows, in the order they were stored.
    QList<Bidder> stored() const;
    QStringList storedNames() const;
    QByteArray bytes(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;
    // Runs SQL on the store behind the program's back (a trigger that makes the store fail, say).
    void sql(const char *statement) const;

private:
    QTemporaryDir m_dir;
};

// A row as the program writes them; the reason defaults to one that names the bidder.
Bidder bidder(const QString &userName, const QString &naru = QStringLiteral("No"),
              const QString &dateTime = QStringLiteral("01/12/2026-10:00:00"), const QString &reason = QString());
QStringList namesOf(const QList<Bidder> &bidders);

// For QCOMPARE on rows.
char *toString(const Bidder &bidder);
