#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <array>
#include <string>
#include <vector>

class CGroup;
class CKw;

/// @brief The PC list's rows: each refers to a PC record of the document and keeps the
/// picture and texts it shows, so that an update rewrites only the cells that changed.
///
/// With a group set, the rows are that group's members: member pictures, and the
/// group's reservations in the two next-time columns.
class CKwListModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(CKwListModel)
public:
    enum Column { ColName, ColIp, ColStatus, ColMac, ColBroadcast, ColNextOff, ColNextOn, kColumnCount };
    /// Row picture index (0..7) as an int, on column 0.
    static constexpr int ImageRole = Qt::UserRole + 1;

    explicit CKwListModel(QObject* pParent = nullptr);
    ~CKwListModel() override;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    /// Replaces every row (null entries are skipped); pGroup null = the whole roster.
    void Reset(const CGroup* pGroup, const std::vector<CKw*>& records);
    const CGroup* Group() const { return m_pGroup; }
    /// Appends a row; returns its index.
    int Append(CKw* pPc);
    void Remove(int nRow);
    CKw* Record(int nRow) const;
    int FindRow(const CKw* pPc) const;

    /// Recomputes every row; only cells whose picture or text changed are rewritten.
    /// Returns the number of cells that changed.
    int UpdateRows();
    /// The same for the rows showing one record.
    int UpdateRecord(const CKw* pPc);

    /// Sorts by a column with the list's comparisons; keeps selections on their records.
    void SortRows(int nColumn, bool bDescending);
    /// Sign of the list's comparison of two records by a column (ascending).
    static int Compare(const CKw& a, const CKw& b, int nColumn);

private:
    using Texts = std::array<std::string, kColumnCount>;
    struct Row {
        CKw* pPc = nullptr;
        int nImage = 0;
        Texts texts;
        std::array<QString, kColumnCount> display;
    };
    int ImageOf(const CKw& pc) const;
    Texts TextsOf(const CKw& pc) const;
    void Fill(Row& row) const;
    int UpdateRow(int nRow);

    std::vector<Row> m_rows;
    const CGroup* m_pGroup = nullptr;
};
