#pragma once

#include "model/CArchive.h"
#include "schedule/CReserve.h"

#include <cstdint>
#include <string>
#include <vector>

/// @brief A named set of registered PCs (by id) with a pair of reservations of its own.
///
/// At most 254 members, each id at most once. Only the document creates, destroys and
/// (through its wrappers) changes groups.
class CGroup final {
public:
    static constexpr CArchive::ClassInfo kClass{"CGroup", 1};
    static constexpr std::size_t kMaxMembers = 254;

    CGroup() = default;

    bool AddMember(std::int32_t nId);
    void RemoveMember(std::int32_t nId);
    bool IsMember(std::int32_t nId) const;

    void Serialize(CArchive& ar);

    std::string m_strName;
    std::vector<std::int32_t> m_members;
    CReserve m_reserveOff;
    CReserve m_reserveOn;
};
