#include "app/TesmaApplication.h"

#include "core/AlertSink.h"
#include "core/Errors.h"

#include <QDialog>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <csignal>
#include <exception>
#include <sys/socket.h>
#include <unistd.h>

namespace {
int g_signalPipe[2] = { -1, -1 };

void onTerminationSignal(int)
{
    const char byte = 1;
    // Only async-signal-safe work here: the event loop reads the byte and acts on it.
    [[maybe_unused]] const auto written = ::write(g_signalPipe[0], &byte, 1);
}
} // namespace

TesmaApplication::TesmaApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
    setApplicationName(kProgramTitle);
}

bool TesmaApplication::notify(QObject *receiver, QEvent *event)
{
    // Once the program is ending, a dialog or message box that opens is closed as Escape
    // would close it, as soon as its own loop runs.
    if (m_terminating && event->type() == QEvent::Show && receiver->isWidgetType()) {
        if (auto *dialog = qobject_cast<QDialog *>(receiver); dialog && dialog->isWindow())
            QTimer::singleShot(0, dialog, [dialog] { dialog->reject(); });
    }
    try {
        return QApplication::notify(receiver, event);
    } catch (const DataError &error) {
        report(error.text());
    } catch (const std::exception &error) {
        report(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        report(QString());
    }
    return false;
}

void TesmaApplication::report(const QString &text)
{
    if (m_alerts)
        m_alerts->plain(text);
}

void TesmaApplication::quitOnTerminationSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, notifier] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(g_signalPipe[1], &byte, 1);
        notifier->setEnabled(false);
        terminate();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

void TesmaApplication::terminate()
{
    m_terminating = true;
    if (!m_shutdown.finish) {
        // Start-up: only its message boxes run loops; main() ends once they have returned.
        closeDialogs();
        QCoreApplication::exit(0);
        return;
    }
    if (m_shutdown.stop)
        m_shutdown.stop();
    closeDialogs();
    // Quitting here could be under a run's nested loop, after which every later loop would
    // return at once: the main window is closed only once the top-level loop has the turn.
    m_finishTimer = new QTimer(this);
    m_finishTimer->setInterval(20);
    connect(m_finishTimer, &QTimer::timeout, this, &TesmaApplication::finishWhenIdle);
    m_finishTimer->start();
    QTimer::singleShot(0, this, &TesmaApplication::finishWhenIdle);
}

void TesmaApplication::closeDialogs()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *dialog = qobject_cast<QDialog *>(window); dialog && dialog->isVisible())
            dialog->reject();
    }
}

void TesmaApplication::finishWhenIdle()
{
    if (!m_finishTimer)
        return;
    const bool busy = m_shutdown.busy && m_shutdown.busy();
    if (busy || QThread::currentThread()->loopLevel() > 1) {
        closeDialogs(); // one may have opened since
        return;
    }
    m_finishTimer->stop();
    m_finishTimer->deleteLater();
    m_finishTimer = nullptr;
    m_shutdown.finish();
}
