#pragma once

#include "link/ECommError.h"
#include "link/PagePort.h"

#include <QString>
#include <termios.h>

// The one serial port of the encoder link, on POSIX termios. Every failure throws ECommError
// with the code of the operation (see ECommError.h) and errno as SystemError.
//
// Open: O_RDWR|O_NOCTTY|O_NONBLOCK, flock(LOCK_EX|LOCK_NB), TIOCEXCL, raw mode with CLOCAL and
// CREAD, no flow control, the bit rate and data format held now, DTR and RTS raised. The
// descriptor stays non-blocking: no write can hold the window's thread. A pseudo-terminal has
// no modem lines; ENOTTY there is not an error.
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

    // Writes every byte, waiting for room at most the bytes' line time plus 2 s (then code 20).
    // Returns once the bytes are queued, not once they are out (the link waits for that).
    void Write(const char *bytes, int count);

    int WriteSome(const char *bytes, int count) override;
    bool WaitWritable(int ms) override;
    int OutputQueued() override; // TIOCOUTQ; code 18 when it fails
    qint64 LineTimeUs(int count) const override;
    void WaitOutput(qint64 us) override; // a port that went away throws code 9
    void Drain() override; // tcdrain; code 19 when it fails
    quint8 ReadByte() override;
    int BytesWaiting() override;
    void Purge() override;
    void PurgeInput() override;
    // poll() up to ms milliseconds; POLLHUP or POLLERR (the other side went away) throws code 10.
    bool WaitReadable(int ms) override;

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
    // The termios the object builds for its current settings from a given starting record,
    // and the one it last applied (valid after a successful Open or SetBaudRate while open).
    termios BuildTermios(const termios &from) const;
    const termios &appliedTermios() const { return m_applied; }

    // Where "COMn" names are looked up (default: the current directory).
    void SetWorkDir(const QString &dir) { m_workDir = dir; }

private:
    void ApplySettings(int fd, quint8 failCode);

    bool m_open = false;
    QString m_portName = QStringLiteral("COM1");
    QString m_workDir;
    QString m_devicePath;
    int m_baudRate = 9600;
    int m_dataBits = 8;
    char m_parity = 'N';
    int m_stopBits = 1;
    int m_fd = -1;
    termios m_applied {};
};

// The termios speed constant for a bit rate; B0 when the rate has none.
speed_t SpeedOfRate(int rate);
