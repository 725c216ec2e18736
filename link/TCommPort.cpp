#include "link/TCommPort.h"

#include "link/PortNames.h"

#include <QElapsedTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(quint8 code, int error)
{
    throw ECommError { code, static_cast<quint32>(error) };
}

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

TCommPort::TCommPort() = default;

TCommPort::~TCommPort()
{
    if (m_open) {
        ::close(m_fd); // the descriptor and its lock are released whatever close reports
        m_open = false;
        m_fd = -1;
    }
}

termios TCommPort::BuildTermios(const termios &from) const
{
    termios t = from;
    cfmakeraw(&t);
    // No flow control of either kind, no parity checking on input.
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
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

// Applies the settings held now to a descriptor; throws failCode when that fails.
void TCommPort::ApplySettings(int fd, quint8 failCode)
{
    if (SpeedOfRate(m_baudRate) == B0)
        Fail(failCode, EINVAL);
    termios current {};
    if (tcgetattr(fd, &current) != 0)
        Fail(failCode, errno);
    const termios wanted = BuildTermios(current);
    if (tcsetattr(fd, TCSANOW, &wanted) != 0)
        Fail(failCode, errno);
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
    // Every failure from here on closes the descriptor first, so the object stays closed.
    auto failClosing = [fd](quint8 code, int error) {
        ::close(fd);
        Fail(code, error);
    };
    // The advisory lock keeps out a second program even where TIOCEXCL does not (root).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0)
        failClosing(CommErrorCode::OpenFailed, errno);
    termios current {};
    if (tcgetattr(fd, &current) != 0)
        failClosing(CommErrorCode::GetStateFailed, errno);
    if (ioctl(fd, TIOCEXCL) != 0)
        failClosing(CommErrorCode::OpenFailed, errno);

    try {
        ApplySettings(fd, CommErrorCode::SetStateFailed);
    } catch (const ECommError &error) {
        failClosing(error.Code, static_cast<int>(error.SystemError));
    }
    // DTR and RTS on; a pseudo-terminal has no modem lines and answers ENOTTY.
    const int lines = TIOCM_DTR | TIOCM_RTS;
    if (ioctl(fd, TIOCMBIS, &lines) != 0 && errno != ENOTTY)
        failClosing(CommErrorCode::SetupFailed, errno);
    m_fd = fd;
    m_open = true;
}

void TCommPort::Close()
{
    if (!m_open)
        return;
    const int result = ::close(m_fd);
    const int error = errno;
    // On Linux the descriptor is released even when close reports an error, so the object is
    // closed either way; keeping a dead descriptor would risk closing someone else's later.
    m_fd = -1;
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
        ApplySettings(m_fd, CommErrorCode::SetBaudRate);
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

qint64 TCommPort::LineTimeUs(int count) const
{
    if (count <= 0 || m_baudRate <= 0)
        return 0;
    const qint64 bits = qint64(count) * bitsPerCharacter();
    return (bits * 1'000'000 + m_baudRate - 1) / m_baudRate;
}

int TCommPort::WriteSome(const char *bytes, int count)
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

bool TCommPort::WaitWritable(int ms)
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
    const qint64 limitMs = LineTimeUs(count) / 1000 + 2000;
    int done = 0;
    while (done < count) {
        done += WriteSome(bytes + done, count - done);
        if (done == count)
            break;
        if (since.elapsed() > limitMs)
            Fail(CommErrorCode::WriteTimedOut, ETIMEDOUT);
        WaitWritable(10);
    }
}

int TCommPort::OutputQueued()
{
    if (!m_open)
        Fail(CommErrorCode::NotOpen, 0);
    int count = 0;
    if (ioctl(m_fd, TIOCOUTQ, &count) != 0)
        Fail(CommErrorCode::StatusFailed, errno);
    return count;
}

void TCommPort::WaitOutput(qint64 us)
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

void TCommPort::Drain()
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
        if ((error == EAGAIN || error == EWOULDBLOCK) && WaitReadable(100))
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

void TCommPort::PurgeInput()
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

bool TCommPort::WaitReadable(int ms)
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
