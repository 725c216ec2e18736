#pragma once

// A small window that tells the operator the console is starting while a large database is
// compacted, before any other window exists. It is painted at once when shown (the event
// loop is not running yet) and closes when the main window shows.

#include <QSplashScreen>

class StartupSplash : public QSplashScreen
{
    Q_OBJECT

public:
    static inline const QString Text = QStringLiteral("Compattazione del database in corso...");

    StartupSplash();

    // Shows the window with its text and paints it before returning.
    void showNow();
};
