#include "net/WsaError.h"

#include <cerrno>

namespace vtwsa {

int FromErrno(int nErrno)
{
    switch (nErrno) {
    case 0:
        return 0;
    case ENOMEM:
        return kNoMemory;
    case EINTR:
        return kInterrupted;
    case EBADF:
        return 10009;
    case EACCES:
    case EPERM:
        return kAccess;
    case EFAULT:
        return kFault;
    case EINVAL:
        return kInvalid;
    case EMFILE:
    case ENFILE:
        return kTooManyFiles;
    case EAGAIN:
        return kWouldBlock;
    case EINPROGRESS:
        return 10036;
    case EALREADY:
        return 10037;
    case ENOTSOCK:
        return 10038;
    case EDESTADDRREQ:
        return 10039;
    case EMSGSIZE:
        return kMessageSize;
    case EPROTOTYPE:
        return 10041;
    case ENOPROTOOPT:
        return 10042;
    case EPROTONOSUPPORT:
        return 10043;
    case ESOCKTNOSUPPORT:
        return 10044;
    case EOPNOTSUPP:
        return 10045;
    case EPFNOSUPPORT:
        return 10046;
    case EAFNOSUPPORT:
        return kAfNoSupport;
    case EADDRINUSE:
        return kAddrInUse;
    case EADDRNOTAVAIL:
        return kAddrNotAvail;
    case ENETDOWN:
        return 10050;
    case ENETUNREACH:
        return kNetUnreach;
    case ENETRESET:
        return 10052;
    case ECONNABORTED:
        return kConnAborted;
    case ECONNRESET:
    case ECONNREFUSED:
        return kConnReset;
    case ENOBUFS:
        return kNoBufs;
    case EISCONN:
        return 10056;
    case ENOTCONN:
        return 10057;
    case ESHUTDOWN:
        return 10058;
    case ETIMEDOUT:
        return kTimedOut;
    case ELOOP:
        return 10062;
    case ENAMETOOLONG:
        return 10063;
    case EHOSTDOWN:
        return 10064;
    case EHOSTUNREACH:
        return kHostUnreach;
    default:
        return 10000 + nErrno;
    }
}

int LastError()
{
    return FromErrno(errno);
}

} // namespace vtwsa
