#pragma once

#include "model/CDoc.h"

#include <cstdint>
#include <string>

/// The largest roster the program allows: 254 PCs from `dwFirstIp` on (host order), 100
/// groups holding all of them, every reservation set at the time of day of `at`.
inline void FillFullRoster(CDoc& doc, VtTime at, std::uint32_t dwFirstIp, std::uint32_t dwBroadcast)
{
    for (std::uint32_t i = 0; i < CDoc::kMaxPcs; ++i) {
        const std::uint8_t mac[6] = {0x02, 0, 0, 0, 0, static_cast<std::uint8_t>(i + 1)};
        CKw* pc = doc.AddPc("LAB-PC-" + std::to_string(i), dwFirstIp + i, mac, dwBroadcast);
        pc->m_reserveOff.Set(1, ReserveWeekly, 0, 0x3E, at, OP_SHUTDOWN, 1);
        pc->m_reserveOn.Set(1, ReserveMonthly, 0x7FFFFFFF, 0, at, OP_WAKEUP, 0);
    }
    for (std::size_t g = 0; g < CDoc::kMaxGroups; ++g) {
        CGroup* group = doc.AddGroup("Group " + std::to_string(g));
        for (std::int32_t id = 0; id < static_cast<std::int32_t>(CDoc::kMaxPcs); ++id)
            doc.AddToGroup(group, id);
        group->m_reserveOff.Set(1, ReserveDaily, 0, 0, at, OP_REBOOT, 0);
        group->m_reserveOn.Set(1, ReserveDaily, 0, 0, at, OP_WAKEUP, 0);
    }
}
