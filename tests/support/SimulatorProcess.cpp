#include "tests/support/SimulatorProcess.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>

SimulatorProcess::SimulatorProcess(const QString &workDir, const QStringList &extraArgs, const QString &comName)
    : m_workDir(workDir)
    , m_extraArgs(extraArgs)
    , m_comName(comName)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

SimulatorProcess::~SimulatorProcess()
{
    kill();
}

QString SimulatorProcess::linkPath() const
{
    return QDir(m_workDir).absoluteFilePath(m_comName);
}

QString SimulatorProcess::logPath() const
{
    return QDir(m_workDir).absoluteFilePath(m_comName + QStringLiteral(".sim.log"));
}

bool SimulatorProcess::start()
{
    QStringList args { QStringLiteral("--link"), linkPath(), QStringLiteral("--log"), logPath(),
                       QStringLiteral("--exit-with-parent") };
    args += m_extraArgs;
    m_process.start(QStringLiteral(TESMA_SIMULATOR_PATH), args);
    if (!m_process.waitForStarted(10000))
        return false;
    QByteArray out;
    const QDeadlineTimer deadline(10000);
    while (!out.contains('\n')) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())))
            return false;
        out += m_process.readAllStandardOutput();
    }
    return out.startsWith("READY ");
}

QString SimulatorProcess::logText() const
{
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLatin1(file.readAll());
}

QList<QByteArray> SimulatorProcess::frames() const
{
    QList<QByteArray> out;
    const QStringList lines = logText().split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (!line.startsWith(QStringLiteral("FRAME ")))
            continue;
        out.append(QByteArray::fromHex(line.section(u' ', 1, 1).toLatin1()));
    }
    return out;
}

int SimulatorProcess::badFrames() const
{
    return static_cast<int>(logText().count(QStringLiteral(" badsum ")));
}

QList<SimulatorProcess::Entry> SimulatorProcess::entries(const QString &kind) const
{
    QList<Entry> out;
    const QStringList lines = logText().split(u'\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        const QStringList parts = line.split(u' ');
        if (parts.size() < 2 || parts[0] != kind)
            continue;
        Entry entry;
        entry.bytes = QByteArray::fromHex(parts[1].toLatin1());
        for (const QString &part : parts) {
            if (part.startsWith(QStringLiteral("at=")))
                entry.atMs = part.mid(3).toDouble();
            else if (part.startsWith(QStringLiteral("rx=")))
                entry.rxMs = part.mid(3).toDouble();
            else if (part.startsWith(QStringLiteral("late=")))
                entry.lateUs = part.mid(5).toDouble();
        }
        out.append(entry);
    }
    return out;
}

bool SimulatorProcess::waitForFrames(int n, int timeoutMs) const
{
    const QDeadlineTimer deadline(timeoutMs);
    while (frames().size() < n) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(5);
    }
    return true;
}

bool SimulatorProcess::running() const
{
    return m_process.state() != QProcess::NotRunning;
}

void SimulatorProcess::kill()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000)) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}
