#include "CKwListModel.h"

#include "UiText.h"
#include "ViewSupport.h"
#include "model/CKw.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace {

static_assert(CKwListModel::kColumnCount == kListColumns);

template <typename T> int Sign(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareText(const std::string& a, const std::string& b)
{
    const int n = std::strcmp(a.c_str(), b.c_str());
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

} // namespace

CKwListModel::CKwListModel(QObject* pParent) : QAbstractTableModel(pParent)
{
}

CKwListModel::~CKwListModel() = default;

int CKwListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CKwListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CKwListModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.display[static_cast<std::size_t>(index.column())];
    case Qt::DecorationRole:
        if (index.column() == ColName)
            return vtview::ListIcon(row.nImage);
        break;
    case ImageRole:
        if (index.column() == ColName)
            return row.nImage;
        break;
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        break;
    }
    return {};
}

QVariant CKwListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return S(kListHeaderIds[static_cast<std::size_t>(section)]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags CKwListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemNeverHasChildren;
}

int CKwListModel::ImageOf(const CKw& pc) const
{
    return m_pGroup ? 4 + pc.GetImageIndex() % 2 : pc.GetImageIndex();
}

CKwListModel::Texts CKwListModel::TextsOf(const CKw& pc) const
{
    return pc.GetListTexts(m_pGroup);
}

void CKwListModel::Fill(Row& row) const
{
    row.nImage = ImageOf(*row.pPc);
    row.texts = TextsOf(*row.pPc);
    for (std::size_t i = 0; i < row.texts.size(); ++i)
        row.display[i] = QString::fromStdString(row.texts[i]);
}

void CKwListModel::Reset(const CGroup* pGroup, const std::vector<CKw*>& records)
{
    beginResetModel();
    m_pGroup = pGroup;
    m_rows.clear();
    m_rows.reserve(records.size());
    for (CKw* pPc : records) {
        if (!pPc)
            continue;
        Row row;
        row.pPc = pPc;
        Fill(row);
        m_rows.push_back(std::move(row));
    }
    endResetModel();
}

int CKwListModel::Append(CKw* pPc)
{
    const int nRow = static_cast<int>(m_rows.size());
    Row row;
    row.pPc = pPc;
    Fill(row);
    beginInsertRows({}, nRow, nRow);
    m_rows.push_back(std::move(row));
    endInsertRows();
    return nRow;
}

void CKwListModel::Remove(int nRow)
{
    if (nRow < 0 || nRow >= rowCount())
        return;
    beginRemoveRows({}, nRow, nRow);
    m_rows.erase(m_rows.begin() + nRow);
    endRemoveRows();
}

CKw* CKwListModel::Record(int nRow) const
{
    if (nRow < 0 || nRow >= rowCount())
        return nullptr;
    return m_rows[static_cast<std::size_t>(nRow)].pPc;
}

int CKwListModel::FindRow(const CKw* pPc) const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].pPc == pPc)
            return static_cast<int>(i);
    return -1;
}

int CKwListModel::UpdateRow(int nRow)
{
    Row& row = m_rows[static_cast<std::size_t>(nRow)];
    const CKw& pc = *row.pPc;
    Texts fresh = TextsOf(pc);

    std::array<bool, kColumnCount> changed{};
    int nChanged = 0;
    const int nImage = ImageOf(pc);
    if (nImage != row.nImage) {
        row.nImage = nImage;
        changed[ColName] = true;
        ++nChanged;
    }
    for (std::size_t i = 0; i < changed.size(); ++i) {
        if (fresh[i] == row.texts[i])
            continue;
        row.texts[i] = std::move(fresh[i]);
        row.display[i] = QString::fromStdString(row.texts[i]);
        if (!changed[i])
            ++nChanged;
        changed[i] = true;
    }
    // One notification per run of neighbouring changed cells.
    for (int nFirst = 0; nFirst < kColumnCount;) {
        if (!changed[static_cast<std::size_t>(nFirst)]) {
            ++nFirst;
            continue;
        }
        int nLast = nFirst;
        while (nLast + 1 < kColumnCount && changed[static_cast<std::size_t>(nLast + 1)])
            ++nLast;
        emit dataChanged(index(nRow, nFirst), index(nRow, nLast));
        nFirst = nLast + 1;
    }
    return nChanged;
}

int CKwListModel::UpdateRows()
{
    int nChanged = 0;
    for (int nRow = 0; nRow < rowCount(); ++nRow)
        nChanged += UpdateRow(nRow);
    return nChanged;
}

int CKwListModel::UpdateRecord(const CKw* pPc)
{
    int nChanged = 0;
    for (int nRow = 0; nRow < rowCount(); ++nRow)
        if (m_rows[static_cast<std::size_t>(nRow)].pPc == pPc)
            nChanged += UpdateRow(nRow);
    return nChanged;
}

int CKwListModel::Compare(const CKw& a, const CKw& b, int nColumn)
{
    switch (nColumn) {
    case ColName:
        return CompareText(a.m_strName, b.m_strName);
    case ColIp:
        return Sign(a.m_dwIp, b.m_dwIp);
    case ColStatus:
        return Sign(static_cast<std::uint32_t>(a.m_nStatus), static_cast<std::uint32_t>(b.m_nStatus));
    case ColMac:
        return CompareText(a.GetMacText(), b.GetMacText());
    case ColBroadcast:
        return Sign(a.m_dwBroadcast, b.m_dwBroadcast);
    case ColNextOff:
        return a.m_reserveOff.CompareNext(b.m_reserveOff);
    case ColNextOn:
        return a.m_reserveOn.CompareNext(b.m_reserveOn);
    default:
        return 0;
    }
}

void CKwListModel::SortRows(int nColumn, bool bDescending)
{
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> order(m_rows.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        const int n = Compare(*m_rows[static_cast<std::size_t>(a)].pPc,
                              *m_rows[static_cast<std::size_t>(b)].pPc, nColumn);
        return (bDescending ? -n : n) < 0;
    });
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    std::vector<int> newRowOf(m_rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        newRowOf[static_cast<std::size_t>(order[i])] = static_cast<int>(i);
        sorted.push_back(std::move(m_rows[static_cast<std::size_t>(order[i])]));
    }
    m_rows = std::move(sorted);

    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& idx : before)
        after.append(index(newRowOf[static_cast<std::size_t>(idx.row())], idx.column()));
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
