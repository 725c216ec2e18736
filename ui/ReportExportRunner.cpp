#include "ui/ReportExportRunner.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QList>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <limits>

namespace {

int &delay()
{
    static int milliseconds = 1000;
    return milliseconds;
}

// The exports under way.
QList<ReportCsvExport *> &running()
{
    static QList<ReportCsvExport *> exports;
    return exports;
}

// Keeps an export in the list while it runs.
class RunningScope
{
public:
    explicit RunningScope(ReportCsvExport &exporter)
        : m_exporter(exporter)
    {
        running().append(&m_exporter);
    }
    ~RunningScope() { running().removeOne(&m_exporter); }
    RunningScope(const RunningScope &) = delete;
    RunningScope &operator=(const RunningScope &) = delete;

private:
    ReportCsvExport &m_exporter;
};

int clampToInt(qint64 value)
{
    return static_cast<int>(qBound(qint64(0), value, qint64(std::numeric_limits<int>::max())));
}

} // namespace

void ReportExportRunner::setProgressDelay(int milliseconds)
{
    delay() = milliseconds;
}

int ReportExportRunner::progressDelay()
{
    return delay();
}

void ReportExportRunner::cancelRunning()
{
    for (ReportCsvExport *exporter : std::as_const(running()))
        exporter->cancel();
}

ReportCsvExport::Result ReportExportRunner::run(QWidget *parent, const ReportCsvExport::Settings &settings)
{
    ReportCsvExport exporter(settings);
    const RunningScope scope(exporter);
    ReportCsvExport::Result result;
    QThread *worker = QThread::create([&] { result = exporter.run(); });
    worker->setObjectName(QStringLiteral("report-export"));

    QEventLoop loop;
    QObject::connect(worker, &QThread::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    worker->start();

    // First the export gets its second without any window: input waits meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QTimer shortWait;
    shortWait.setSingleShot(true);
    QObject::connect(&shortWait, &QTimer::timeout, &loop, &QEventLoop::quit);
    shortWait.start(delay());
    if (!worker->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    QApplication::restoreOverrideCursor();

    if (!worker->isFinished()) {
        QProgressDialog progress(QStringLiteral("Esportazione del report in corso..."), QStringLiteral("Annulla"), 0, 1,
                                 parent);
        progress.setObjectName(QStringLiteral("dlgExportProgress"));
        progress.setWindowTitle(QStringLiteral("Esporta CSV"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setAutoClose(false);
        progress.setAutoReset(false);
        progress.setMinimumDuration(std::numeric_limits<int>::max()); // shown here, not by its own timer
        QObject::connect(&progress, &QProgressDialog::canceled, &progress, [&] { exporter.cancel(); });
        // Escape, or the program closing its dialogs as it ends, rejects it: that cancels too.
        QObject::connect(&progress, &QDialog::rejected, &progress, [&] { exporter.cancel(); });
        auto update = [&] {
            // The bar ignores values above its maximum and animates for 0..0: keep it at least 1.
            const int total = qMax(1, clampToInt(exporter.rowsTotal()));
            if (progress.maximum() != total)
                progress.setMaximum(total);
            progress.setValue(qMin(total, clampToInt(exporter.rowsWritten())));
        };
        QTimer ticks;
        QObject::connect(&ticks, &QTimer::timeout, &progress, update);
        update();
        progress.show();
        ticks.start(kUpdateInterval);
        if (!worker->isFinished())
            loop.exec();
        ticks.stop();
        progress.hide();
    }
    worker->wait();
    delete worker;
    return result;
}
