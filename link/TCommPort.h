#pragma once

#include "link/ECommError.h"
#include "link/PagePort.h"

struct SerialSettings;

#include <QString>
#include <sys/types.h>
#include <termios.h>

// The one serial port of the encoder link, on POSIX termios. Every failure throws ECommError
// with the code of the operation (see ECommError.h) and errno as SystemError.
//
// Open: O_RDWR|O_NOCTTY|O_NONBLOCK, flock(LOCK_EX|LOCK_NB), TIOCEXCL, raw mode with CLOCAL and
// CREAD, no flow control, the bit rate and data format held now, DTR and RTS raised. The
// descriptor stays non-blocking: no write can hold the window's thread. A pseudo-terminal has
// no modem lines; ENOTTY there is not an error. The exclusive flag lasts only while the object
// holds the port: it is cleared before every close (a pseudo-terminal would keep it for as long
// as its other side is open, and lock out everyone but root). A device that is some session's
// controlling terminal is refused (code 8, SessionTerminal) before it is locked or changed.
// The settings are read back once applied; one the device did not take is code 15, named in
// Setting.
// The port name is "COMn" (resolved through ResolvePortDevice in the working directory) or a
// device path. The empty name opens nothing (code 8).
class TCommPort final : public PagePort
{
public:
    // Data formats of Configure.
    enum Format
    {
        Format7E2 = 0,
        Format8N1 = 1
    }; // any other value: 8 data bits, no parity, 2 stop bits

    TCommPort();
    ~TCommPort() override;
    TCommPort(const TCommPort &) = delete;
    TCommPort &operator=(const TCommPort &) = delete;

    bool IsOpen() const override { return m_open; }
    void Open();
    void Close();
    void SetBaudRate(int rate);
    void SetPortName(const QString &name);
    void Configure(int rate, const QString &name, int format);
    // Configure with the stored settings; a bit-rate position outside the list fails as
    // SetBaudRate does.
    void configure(const SerialSettings &settings);

    // Writes every byte, waiting for room at most the bytes' line time plus 2 s (then code 20).
    // Returns once the bytes are queued, not once they are out (the link waits for that).
    void Write(const char *bytes, int count);

    int writeSome(const char *bytes, int count) override;
    bool waitWritable(int ms) override;
    int outputQueued() override; // TIOCOUTQ; code 18 when it fails
    qint64 lineTimeUs(int count) const override;
    void waitOutput(qint64 us) override; // a port that went away throws code 9
    void drain() override; // tcdrain; code 19 when it fails
    quint8 ReadByte() override;
    int BytesWaiting() override;
    void Purge() override;
    void purgeInput() override;
    // poll() up to ms milliseconds; POLLHUP or POLLERR (the other side went away) throws code 10.
    bool waitReadable(int ms) override;

    // What the object holds, for the settings window and tests.
    QString portName() const { return m_portName; }
    int baudRate() const { return m_baudRate; }
    int dataBits() const { return m_dataBits; }
    char parity() const { return m_parity; } // 'N', 'E' or 'O'
    int stopBits() const { return m_stopBits; }
    // Bits one character takes on the line: start, data, parity and stop bits.
    int bitsPerCharacter() const;
    // The device the name resolved to when the port was last opened.
    QString devicePath() const { return m_devicePath; }
    int fd() const { return m_fd; }
    // The termios the object builds for its current settings (a zeroed record made raw, then
    // the format and rate; nothing is taken over from the device), and the one it last applied
    // (valid after a successful Open or SetBaudRate while open).
    termios buildTermios() const;
    const termios &appliedTermios() const { return m_applied; }

    // Where "COMn" names are looked up (default: the current directory).
    void setWorkDir(const QString &dir) { m_workDir = dir; }

private:
    void applySettings(int fd, quint8 failCode);
    // Clears the exclusive flag when this object set it (TIOCNXCL), then closes the descriptor.
    static int releaseDescriptor(int fd, bool exclusive);
    // The setting (in the operator's words) that `taken` lacks of `wanted`; empty when all took.
    QString settingNotTaken(const termios &wanted, const termios &taken, bool pseudoTerminal) const;

    bool m_open = false;
    QString m_portName = QStringLiteral("COM1");
    QString m_workDir;
    QString m_devicePath;
    int m_baudRate = 9600;
    int m_dataBits = 8;
    char m_parity = 'N';
    int m_stopBits = 1;
    int m_fd = -1;
    bool m_exclusive = false; // TIOCEXCL was set on m_fd by this object
    termios m_applied {};
};

// The termios speed constant for a bit rate; B0 when the rate has none.
speed_t SpeedOfRate(int rate);

// True when some process has the terminal `device` (a device number, st_rdev) as its
// controlling terminal, as /proc/<pid>/stat tells. Where /proc hides other users' processes
// (hidepid), only the caller's own sessions are seen.
bool IsSessionTerminal(dev_t device);
