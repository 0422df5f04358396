#pragma once

/// @brief Network failures travel through the program as Windows Sockets error numbers,
/// whatever the platform; this maps the system's errno onto them.
namespace vtwsa {

inline constexpr int kNoMemory = 14;
inline constexpr int kInterrupted = 10004;
inline constexpr int kAccess = 10013;
inline constexpr int kFault = 10014;
inline constexpr int kInvalid = 10022;
inline constexpr int kTooManyFiles = 10024;
inline constexpr int kWouldBlock = 10035;
inline constexpr int kMessageSize = 10040;
inline constexpr int kAfNoSupport = 10047;
inline constexpr int kAddrInUse = 10048;
inline constexpr int kAddrNotAvail = 10049;
inline constexpr int kNetUnreach = 10051;
inline constexpr int kConnAborted = 10053;
inline constexpr int kConnReset = 10054;
inline constexpr int kNoBufs = 10055;
inline constexpr int kTimedOut = 10060;
inline constexpr int kHostUnreach = 10065;

/// errno -> Windows Sockets number; 0 stays 0. An errno without a counterpart becomes
/// 10000 + errno, the way Windows Sockets numbers its own codes, so it can be read back.
int FromErrno(int nErrno);

/// The Windows Sockets number for the calling thread's errno.
int LastError();

} // namespace vtwsa
