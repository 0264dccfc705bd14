// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#pragma once

#include "store/BidderStore.h"

#include <QAbstractTableModel>

class BidderList;

// The list as a table for a view: one row per bidder in display order, and the four columns in
// the store's order, each headed by the column's name. It reads the list's rows where they are,
// so a view of it holds no copy of them. Only the list changes it, announcing each change to the
// view before and after it is made.
class BidderTableModel : public QAbstractTableModel
{
    Q_OBJECT

public:
    explicit BidderTableModel(const BidderList &list, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The store column a view's column shows, and the view's column that shows a store column.
    static BidderStore::Column columnAt(int section);
    static int sectionOf(BidderStore::Column column);

private:
    friend class BidderList;

    const BidderList &m_list;
};
