#include "link/TCommPort.h"

#include "store/DataStores.h"

#include "link/PortNames.h"

#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <time.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(quint8 code, int error)
{
    throw ECommError { code, static_cast<quint32>(error) };
}

// Device majors of the pseudo-terminals' slave ends (UNIX98_PTY_SLAVE_MAJOR and the seven after).
constexpr unsigned kPtySlaveFirstMajor = 136;
constexpr unsigned kPtySlaveLastMajor = 143;

} // namespace

speed_t SpeedOfRate(int rate)
{
    switch (rate) {
    case 50:
        return B50;
    case 75:
        return B75;
    case 110:
        return B110;
    case 134:
        return B134;
    case 150:
        return B150;
    case 200:
        return B200;
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 1800:
        return B1800;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    case 230400:
        return B230400;
    case 460800:
        return B460800;
    case 500000:
        return B500000;
    case 576000:
        return B576000;
    case 921600:
        return B921600;
    case 1000000:
        return B1000000;
    case 1152000:
        return B1152000;
    case 1500000:
        return B1500000;
    case 2000000:
        return B2000000;
    default:
        return B0;
    }
}

bool IsSessionTerminal(dev_t device)
{
    DIR *proc = ::opendir("/proc");
    if (proc == nullptr)
        return false;
    bool found = false;
    while (!found) {
        const dirent *entry = ::readdir(proc);
        if (entry == nullptr)
            break;
        const char *name = entry->d_name;
        if (*name < '1' || *name > '9')
            continue; // not a process
        char path[sizeof "/proc//stat" + sizeof entry->d_name];
        std::snprintf(path, sizeof path, "/proc/%s/stat", name);
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue; // gone meanwhile, or hidden
        char line[1024];
        const ssize_t n = ::read(fd, line, sizeof line - 1);
        ::close(fd);
        if (n <= 0)
            continue;
        line[n] = '\0';
        // "pid (comm) state ppid pgrp session tty_nr ...": comm may hold blanks and parentheses,
        // so the fields are counted from its last ')'.
        const char *close = std::strrchr(line, ')');
        char state = 0;
        long long ppid = 0, group = 0, session = 0;
        unsigned long long tty = 0;
        if (close == nullptr
            || std::sscanf(close + 1, " %c %lld %lld %lld %llu", &state, &ppid, &group, &session, &tty) != 5
            || tty == 0)
            continue;
        // tty_nr is the kernel's encoding: minor bits 0-7 and 20-31, major bits 8-19.
        const unsigned ttyMajor = unsigned(tty >> 8) & 0xfffU;
        const unsigned ttyMinor = unsigned(tty & 0xffU) | (unsigned(tty >> 12) & 0xfff00U);
        found = ttyMajor == major(device) && ttyMinor == minor(device);
    }
    ::closedir(proc);
    return found;
}

TCommPort::TCommPort() = default;

TCommPort::~TCommPort()
{
    if (m_open) {
        releaseDescriptor(m_fd, m_exclusive); // the descriptor and its lock are released whatever close reports
        m_open = false;
        m_exclusive = false;
        m_fd = -1;
    }
}

termios TCommPort::buildTermios() const
{
    // Nothing of what the device held before is kept: a leftover CMSPAR, flow control or input
    // processing from another program would change what goes on the line.
    termios t {};
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | HUPCL;
    switch (m_dataBits) {
    case 5:
        t.c_cflag |= CS5;
        break;
    case 6:
        t.c_cflag |= CS6;
        break;
    case 7:
        t.c_cflag |= CS7;
        break;
    default:
        t.c_cflag |= CS8;
        break;
    }
    if (m_parity == 'E')
        t.c_cflag |= PARENB;
    else if (m_parity == 'O')
        t.c_cflag |= PARENB | PARODD;
    if (m_stopBits == 2)
        t.c_cflag |= CSTOPB;
    // Reads are made only when bytes are waiting; one byte per read.
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t speed = SpeedOfRate(m_baudRate);
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return t;
}

QString TCommPort::settingNotTaken(const termios &wanted, const termios &taken, bool pseudoTerminal) const
{
    if (cfgetospeed(&taken) != cfgetospeed(&wanted) || cfgetispeed(&taken) != cfgetispeed(&wanted))
        return QStringLiteral("%1 bit/s").arg(m_baudRate);
    const auto differs = [&](tcflag_t mask) { return (taken.c_cflag & mask) != (wanted.c_cflag & mask); };
    // A pseudo-terminal keeps 8 data bits and no parity whatever it is asked.
    if (!pseudoTerminal && differs(CSIZE))
        return QStringLiteral("%1 bit di dati").arg(m_dataBits);
    if ((!pseudoTerminal && differs(PARENB)) || differs(PARODD | CMSPAR))
        return m_parity == 'E' ? QStringLiteral("parità pari")
            : m_parity == 'O'  ? QStringLiteral("parità dispari")
                               : QStringLiteral("nessuna parità");
    if (differs(CSTOPB))
        return QStringLiteral("%1 bit di stop").arg(m_stopBits);
    if (differs(CRTSCTS))
        return QStringLiteral("nessun controllo di flusso");
    return {};
}

// Applies the settings held now to a descriptor and reads them back; throws failCode when a
// call fails, code 15 when the device did not take a setting.
void TCommPort::applySettings(int fd, quint8 failCode)
{
    if (SpeedOfRate(m_baudRate) == B0)
        Fail(failCode, EINVAL);
    const termios wanted = buildTermios();
    if (tcsetattr(fd, TCSANOW, &wanted) != 0)
        Fail(failCode, errno);
    termios taken {};
    if (tcgetattr(fd, &taken) != 0)
        Fail(failCode, errno);
    struct stat device
    {
    };
    const bool pseudoTerminal = ::fstat(fd, &device) == 0 && S_ISCHR(device.st_mode)
        && major(device.st_rdev) >= kPtySlaveFirstMajor && major(device.st_rdev) <= kPtySlaveLastMajor;
    const QString refused = settingNotTaken(wanted, taken, pseudoTerminal);
    if (!refused.isEmpty())
        throw ECommError { CommErrorCode::SetStateFailed, 0, false, refused };
    m_applied = wanted;
}

void TCommPort::Open()
{
    if (m_open)
        return;
    m_devicePath = ResolvePortDevice(m_portName, m_workDir);
    if (m_devicePath.isEmpty())
        Fail(CommErrorCode::OpenFailed, ENOENT);

    const QByteArray path = m_devicePath.toLocal8Bit();
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Fail(CommErrorCode::OpenFailed, errno);
    // Every failure from here on closes the descriptor first, so the object stays closed; the
    // exclusive flag is cleared only where this object set it, never on a port another program
    // holds.
    bool exclusive = false;
    auto failClosing = [fd, &exclusive](quint8 code, int error) {
        releaseDescriptor(fd, exclusive);
        Fail(code, error);
    };
    // Someone's login terminal is not an encoder: it is neither locked nor changed.
    struct stat device
    {
    };
    if (::fstat(fd, &device) == 0 && S_ISCHR(device.st_mode) && IsSessionTerminal(device.st_rdev)) {
        releaseDescriptor(fd, false);
        throw ECommError { CommErrorCode::OpenFailed, 0, true };
    }
    // The advisory lock keeps out a second program even where TIOCEXCL does not (root).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        failClosing(CommErrorCode::OpenFailed, errno);
    termios current {};
    if (tcgetattr(fd, &current) != 0)
        failClosing(CommErrorCode::GetStateFailed, errno);
    if (ioctl(fd, TIOCEXCL) != 0)
        failClosing(CommErrorCode::OpenFailed, errno);
    exclusive = true;

    try {
        applySettings(fd, CommErrorCode::SetStateFailed);
    } catch (const ECommError &) {
        releaseDescriptor(fd, exclusive);
        throw;
    }
    // DTR and RTS on; a pseudo-terminal has no modem lines and answers ENOTTY.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY)
        failClosing(CommErrorCode::SetupFailed, errno);
    m_fd = fd;
    m_exclusive = exclusive;
    m_open = true;
}

int TCommPort::releaseDescriptor(int fd, bool exclusive)
{
    if (exclusive)
        ioctl(fd, TIOCNXCL); // fails only when the device is gone, and then there is nothing to clear
    return ::close(fd);
}

void TCommPort::Close()
{
    if (!m_open)
        return;
    const int result = releaseDescriptor(m_fd, m_exclusive);
    const int error = errno;
    // On Linux the descriptor is released even when close reports an error, so the object is
    // closed either way; keeping a dead descriptor would risk closing someone else's later.
    m_fd = -1;
    m_exclusive = false;
    m_open = false;
    if (result != 0)
        Fail(CommErrorCode::CloseFailed, error);
}

void TCommPort::SetBaudRate(int rate)
{
    const int previous = m_baudRate;
    m_baudRate = rate;
    if (!m_open)
        return;
    try {
        applySettings(m_fd, CommErrorCode::SetBaudRate);
    } catch (const ECommError &) {
        m_baudRate = previous;
        throw;
    }
}

void TCommPort::SetPortName(const QString &name)
{
    if (m_open)
        Fail(CommErrorCode::SetPortNameWhileOpen, 0);
    m_portName = name;
}

void TCommPort::configure(const SerialSettings &settings)
{
    const int rate = settings.baudRate();
    if (rate == 0)
        throw ECommError { CommErrorCode::SetBaudRate, 0 };
    Configure(rate, settings.portName(), settings.data);
}

void TCommPort::Configure(int rate, const QString &name, int format)
{
    switch (format) {
    case Format7E2: // seven data bits, even parity and two stop bits
        m_dataBits = 7;
        m_parity = 'E';
        m_stopBits = 2;
        break;
    case Format8N1:
        m_dataBits = 8;
        m_parity = 'N';
        m_stopBits = 1;
        break;
    default:
        m_dataBits = 8;
        m_parity = 'N';
        m_stopBits = 2;
        break;
    }
    Close();
    SetBaudRate(rate);
    SetPortName(name);
    Open();
}

int TCommPort::bitsPerCharacter() const
{
    return 1 + m_dataBits + (m_parity == 'N' ? 0 : 1) + m_stopBits;
}

qint64 TCommPort::lineTimeUs(int count) const
{
    if (count <= 0 || m_baudRate <= 0)
        return 0;
    const qint64 bits = qint64(count) * bitsPerCharacter();
    return (bits * 1'000'000 + m_baudRate - 1) / m_baudRate;
}

int TCommPort::writeSome(const char *bytes, int count)
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    if (count <= 0 || bytes == nullptr)
        return 0;
    for (;;) {
        const ssize_t n = ::write(m_fd, bytes, static_cast<size_t>(count));
        if (n >= 0)
            return static_cast<int>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0; // the output queue is full
        Fail(CommErrorCode::WriteFailed, errno);
    }
}

bool TCommPort::waitWritable(int ms)
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    pollfd p { m_fd, POLLOUT, 0 };
    const int n = ::poll(&p, 1, ms);
    if (n < 0)
        return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        Fail(CommErrorCode::WriteFailed, EIO);
    return n > 0 && (p.revents & POLLOUT);
}

void TCommPort::Write(const char *bytes, int count)
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    if (count <= 0 || bytes == nullptr)
        return;
    QElapsedTimer since;
    since.start();
    const qint64 limitMs = lineTimeUs(count) / 1000 + 2000;
    int done = 0;
    while (done < count) {
        done += writeSome(bytes + done, count - done);
        if (done == count)
            break;
        if (since.elapsed() > limitMs)
            Fail(CommErrorCode::WriteTimedOut, ETIMEDOUT);
        waitWritable(10);
    }
}

int TCommPort::outputQueued()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    int count = 0;
    if (ioctl(m_fd, TIOCOUTQ, &count) != 0)
        Fail(CommErrorCode::StatusFailed, errno);
    return count;
}

void TCommPort::waitOutput(qint64 us)
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    if (us <= 0)
        return;
    // No event is asked for: the wait ends after its time, or at once when the device or the
    // other side went away.
    pollfd p { m_fd, 0, 0 };
    const timespec timeout { static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000) * 1000 };
    const int n = ::ppoll(&p, 1, &timeout, nullptr);
    if (n > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        Fail(CommErrorCode::WriteFailed, EIO);
}

void TCommPort::drain()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    while (tcdrain(m_fd) != 0) {
        if (errno != EINTR)
            Fail(CommErrorCode::DrainFailed, errno);
    }
}

quint8 TCommPort::ReadByte()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    unsigned char byte = 0;
    for (;;) {
        const ssize_t n = ::read(m_fd, &byte, 1);
        if (n == 1)
            return byte;
        if (n == 0)
            Fail(CommErrorCode::ReadFailed, EIO); // end of file: the other side went away
        const int error = errno;
        if (error == EINTR)
            continue;
        // Reads are made when bytes are reported waiting; on a non-blocking descriptor a byte
        // that is not there yet is waited for a moment, never for ever.
        if ((error == EAGAIN || error == EWOULDBLOCK) && waitReadable(100))
            continue;
        Fail(CommErrorCode::ReadFailed, error);
    }
}

int TCommPort::BytesWaiting()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    int count = 0;
    if (ioctl(m_fd, FIONREAD, &count) != 0)
        Fail(CommErrorCode::StatusFailed, errno);
    return count;
}

void TCommPort::purgeInput()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    if (tcflush(m_fd, TCIFLUSH) != 0)
        Fail(CommErrorCode::PurgeFailed, errno);
}

void TCommPort::Purge()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    if (tcflush(m_fd, TCIFLUSH) != 0)
        Fail(CommErrorCode::PurgeFailed, errno);
    if (tcflush(m_fd, TCOFLUSH) != 0)
        Fail(CommErrorCode::PurgeFailed, errno);
}

bool TCommPort::waitReadable(int ms)
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    pollfd p { m_fd, POLLIN, 0 };
    const int n = ::poll(&p, 1, ms);
    if (n < 0)
        return false; // interrupted: counts as one empty wait
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        Fail(CommErrorCode::ReadFailed, EIO); // the device or the other side went away
    return n > 0 && (p.revents & POLLIN);
}
