#pragma once

#include <QCoreApplication>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

class CDoc;

/// @brief The roster as a spreadsheet: one row per PC with the columns
/// name, ip, mac, broadcast, groups (group names joined with ';').
///
/// Import applies every row to a document in memory and reports each problem with its
/// line number; the caller saves only when there is none, so a file is taken whole or
/// not at all. It never removes anything: rows add PCs, update the PC registered at
/// their address, create missing groups and add memberships.
class CRosterCsv final {
    Q_DECLARE_TR_FUNCTIONS(vtctl)
public:
    static constexpr int kMaxNameChars = 128;     ///< the registration dialog's limit
    static constexpr int kMaxGroupNameBytes = 64; ///< the group tree's limit

    /// The header and one line per PC, in roster order. Groups whose names the groups
    /// column cannot carry (a ';', blanks at either end) are left out with a warning.
    static std::string Export(const CDoc& doc, std::vector<QString>* pWarnings = nullptr);

    struct Problem {
        int nLine = 0; ///< 0: the file as a whole
        QString strText;
    };
    struct Report {
        std::vector<Problem> problems; ///< by line
        std::vector<QString> changes;  ///< what the rows change, in order
        int nAdded = 0;
        int nUpdated = 0;
        int nGroupsCreated = 0;
        int nMemberships = 0;
        bool HasChanges() const { return !changes.empty(); }
        QString Summary() const;
        static QString Text(const Problem& problem);
    };
    /// Applies the rows to `doc`. With problems the document holds part of the rows and
    /// must not be saved.
    static Report Import(CDoc& doc, std::string_view text);
};
