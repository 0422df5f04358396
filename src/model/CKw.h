#pragma once

#include "model/CArchive.h"
#include "schedule/CReserve.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class CArchive;
class CGroup;

using MacAddress = std::array<std::uint8_t, 6>;

/// The PC list's columns, shared by the window's list and the command line's: name, IP
/// address, status, MAC address, broadcast address, next shutdown, next wake-up.
inline constexpr std::size_t kListColumns = 7;
/// The string-table ids of the PC list's column headers.
inline constexpr std::array<std::uint32_t, kListColumns> kListHeaderIds = {2050, 2051, 2052, 2053,
                                                                           2060, 2062, 2065};

/// @brief The record of one registered PC: what the operator registered, the status
/// the server last learned, and its two reservations.
///
/// Only the document creates and destroys records. Addresses are held in host byte
/// order; every network use converts at that point.
class CKw final {
public:
    static constexpr CArchive::ClassInfo kClass{"CKw", 1};

    CKw() = default;

    std::string GetIpText() const;        ///< "Unknown" for 0 / 0xFFFFFFFF, else dotted decimal
    std::string GetStatusText() const;    ///< "Unknown" for 1, "Now operating" otherwise
    std::string GetMacText() const;       ///< "Unknown" when all zero, else "0A-1B-…"
    std::string GetBroadcastText() const; ///< always dotted decimal
    int GetImageIndex() const;            ///< 0..3, see the PC list's picture strip
    /// The PC list's texts of this PC; with a group, the group's reservation times.
    std::array<std::string, kListColumns> GetListTexts(const CGroup* pGroup) const;
    void GetMac(std::uint8_t* pMac) const;
    void SetMac(const std::uint8_t* pMac);

    void Serialize(CArchive& ar);

    std::int32_t m_nId = -1;
    std::string m_strName;
    std::uint32_t m_dwIp = 0xFFFFFFFFu;
    std::int32_t m_nStatus = 1;
    CReserve m_reserveOff;
    CReserve m_reserveOn;
    MacAddress m_mac{};
    std::uint32_t m_dwBroadcast = 0xFFFFFFFFu;
};

/// Dotted-decimal text of a host-order IPv4 address.
std::string IpToText(std::uint32_t dwHostOrder);
/// True when any byte is nonzero.
bool IsUsableMac(const std::uint8_t* pMac);
/// "0A-1B-2C-3D-4E-5F": the six bytes at pMac in hexadecimal capitals.
std::string MacToText(const std::uint8_t* pMac);
