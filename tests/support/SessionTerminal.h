#pragma once

#include <QString>
#include <sys/types.h>

// A pseudo-terminal that is some session's controlling terminal, as a login terminal is: a
// child process leads a session of its own (setsid) and takes the terminal (TIOCSCTTY). The
// slave is linked as dir/<name>. The session lasts until end() or destruction; the terminal
// itself stays until destruction.
class SessionTerminal
{
public:
    SessionTerminal(const QString &dir, const QString &name);
    ~SessionTerminal();
    SessionTerminal(const SessionTerminal &) = delete;
    SessionTerminal &operator=(const SessionTerminal &) = delete;

    // True once the child holds the terminal as its controlling terminal.
    bool ready() const { return m_ready; }
    QString link() const { return m_link; }
    // Ends the session: the terminal is nobody's controlling terminal any more.
    void end();

private:
    int m_master = -1;
    int m_hold = -1; // the child lives until this end of its pipe is closed
    pid_t m_child = -1;
    bool m_ready = false;
    QString m_link;
};
