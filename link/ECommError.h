#pragma once

#include <QString>
#include <QtGlobal>

// The error record every failed serial-port operation throws (by value). Code says which
// operation failed; SystemError carries errno taken when the record was made (0 when the port
// refused the device itself, with no system call failing: then one of the last two says why).
struct ECommError
{
    quint8 Code;
    quint32 SystemError;
    // Code 8: the device is some session's controlling terminal (someone's login, not an encoder).
    bool SessionTerminal = false;
    // Code 15: the setting the device did not take, in the operator's words ("7 bit di dati").
    QString Setting = QString();
};

// The codes, numbered as the operations that raise them.
namespace CommErrorCode {
inline constexpr quint8 SetBaudRate = 1;
inline constexpr quint8 SetPortNameWhileOpen = 6;
inline constexpr quint8 NotOpen = 7;
inline constexpr quint8 OpenFailed = 8;
inline constexpr quint8 WriteFailed = 9;
inline constexpr quint8 ReadFailed = 10;
inline constexpr quint8 CloseFailed = 11;
inline constexpr quint8 PurgeFailed = 12;
inline constexpr quint8 GetStateFailed = 14;
inline constexpr quint8 SetStateFailed = 15; // also: a setting the device did not take
inline constexpr quint8 SetupFailed = 16;
inline constexpr quint8 StatusFailed = 18;
inline constexpr quint8 DrainFailed = 19;
inline constexpr quint8 WriteTimedOut = 20; // a frame not out within its line time plus 2 s
} // namespace CommErrorCode
