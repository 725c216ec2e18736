#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

// Runs the encoder simulator (tesma-encoder-sim) linked as workDir/<comName>, with its frame
// log in workDir. start() returns once the simulator reported READY (or false after 10 s).
// Extra arguments choose its behaviour, e.g. {"--mode", "silent"} or {"--delay-ms", "50"};
// the simulator plays a line (line time on) unless given "--no-line-time".
class SimulatorProcess
{
public:
    SimulatorProcess(const QString &workDir, const QStringList &extraArgs = {}, const QString &comName = "COM1");
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    bool start();
    QString linkPath() const;
    QString logPath() const;
    // Raw bytes (STX..EOT) of every frame the simulator logged so far.
    QList<QByteArray> frames() const;
    // Frames whose checksum the simulator found wrong.
    int badFrames() const;
    // The FRAME or REPLY lines of the log with their times (monotonic clock, ms).
    struct Entry
    {
        QByteArray bytes;
        double atMs = 0; // FRAME: last byte arrived on the line; REPLY: last byte written
        double rxMs = 0; // FRAME: first byte read from the terminal
        double lateUs = 0; // REPLY: how far behind its line time the simulator wrote it
    };
    QList<Entry> entries(const QString &kind) const;
    QString logText() const;
    // Waits until the log holds at least n frames (false after timeoutMs).
    bool waitForFrames(int n, int timeoutMs = 5000) const;
    // Ends the simulator (SIGTERM, then SIGKILL) and waits for it.
    void kill();
    bool running() const;

private:
    QString m_workDir;
    QStringList m_extraArgs;
    QString m_comName;
    QProcess m_process;
};
