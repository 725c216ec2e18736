#include "tests/support/SessionTerminal.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

SessionTerminal::SessionTerminal(const QString &dir, const QString &name)
{
    char slaveName[256] = {};
    int slave = -1;
    int ready[2] = { -1, -1 };
    int hold[2] = { -1, -1 };
    if (openpty(&m_master, &slave, slaveName, nullptr, nullptr) != 0 || ::pipe2(ready, O_CLOEXEC) != 0
        || ::pipe2(hold, O_CLOEXEC) != 0)
        return;
    m_child = ::fork();
    if (m_child == 0) {
        // Only calls that are safe after fork in a threaded process, then _exit.
        ::close(m_master);
        ::close(ready[0]);
        ::close(hold[1]);
        char byte = 0;
        if (::setsid() < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0)
            ::_exit(1);
        byte = 1;
        if (::write(ready[1], &byte, 1) != 1)
            ::_exit(1);
        while (::read(hold[0], &byte, 1) > 0) { }
        ::_exit(0);
    }
    ::close(slave);
    ::close(ready[1]);
    ::close(hold[0]);
    m_hold = hold[1];
    char byte = 0;
    m_ready = m_child > 0 && ::read(ready[0], &byte, 1) == 1 && byte == 1;
    ::close(ready[0]);
    m_link = QDir(dir).absoluteFilePath(name);
    m_ready = m_ready && QFile::link(QString::fromLocal8Bit(slaveName), m_link);
}

SessionTerminal::~SessionTerminal()
{
    end();
    if (m_master >= 0)
        ::close(m_master);
}

void SessionTerminal::end()
{
    if (m_hold >= 0)
        ::close(m_hold);
    m_hold = -1;
    if (m_child > 0)
        ::waitpid(m_child, nullptr, 0);
    m_child = -1;
}
