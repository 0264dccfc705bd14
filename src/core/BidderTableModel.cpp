// SPDX-FileCopyrightText: The Bidwarden authors
// SPDX-License-Identifier: MIT
#include "core/BidderTableModel.h"

#include "core/BidderList.h"

namespace {

struct ColumnShown
{
    BidderStore::Column column;
    const char *caption;
};

// The columns left to right, with their headings.
constexpr ColumnShown kColumns[] = {
    {BidderStore::Column::UserName, "UserName"},
    {BidderStore::Column::Naru, "NARU"},
    {BidderStore::Column::DateTime, "Date Added"},
    {BidderStore::Column::Reason, "Reason"},
};
constexpr int kColumnCount = int(std::size(kColumns));

const QString &text(const Bidder &bidder, BidderStore::Column column)
{
    switch (column) {
    case BidderStore::Column::Naru:
        return bidder.naru;
    case BidderStore::Column::DateTime:
        return bidder.dateTime;
    case BidderStore::Column::Reason:
        return bidder.reason;
    case BidderStore::Column::UserName:
        break;
    }
    return bidder.userName;
}

} // namespace

BidderTableModel::BidderTableModel(const BidderList &list, QObject *parent) : QAbstractTableModel(parent), m_list(list)
{}

int BidderTableModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_list.count();
}

int BidderTableModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant BidderTableModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    return text(m_list.at(index.row()), kColumns[index.column()].column);
}

QVariant BidderTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    return QString::fromLatin1(kColumns[section].caption);
}

BidderStore::Column BidderTableModel::columnAt(int section)
{
    return kColumns[section].column;
}

int BidderTableModel::sectionOf(BidderStore::Column column)
{
    for (int section = 0; section < kColumnCount; ++section)
        if (kColumns[section].column == column)
            return section;
    return -1;
}
