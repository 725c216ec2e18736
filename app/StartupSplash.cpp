#include "app/StartupSplash.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPalette>
#include <QPixmap>
#include <QWindow>

namespace {

QPixmap background()
{
    QPixmap pixmap(420, 90);
    pixmap.fill(QApplication::palette().color(QPalette::Window));
    return pixmap;
}

} // namespace

StartupSplash::StartupSplash()
    : QSplashScreen(background())
{
    setObjectName(QStringLiteral("StartupSplash"));
    setWindowTitle(QStringLiteral("Tesma Message Sender"));
    // The text is painted, not a label: assistive technology reads it from the description.
    setAccessibleDescription(Text);
}

void StartupSplash::showNow()
{
    show();
    showMessage(Text, Qt::AlignCenter, QApplication::palette().color(QPalette::WindowText));
    // The compaction holds the only thread: the window must be on screen and painted now.
    // A window manager maps it shortly after show(); wait for that, a little at most.
    QElapsedTimer waited;
    waited.start();
    while (windowHandle() && !windowHandle()->isExposed() && waited.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    repaint();
    QApplication::processEvents();
}
