#pragma once

// Runs a report export on a worker thread while the console goes on (its event loop keeps
// running: pages from other systems are still served). For the first second the operator's
// input waits, under a busy cursor; an export that takes longer shows a progress dialog with
// "Annulla", updated at most every 50 ms. Closing that dialog in any way cancels the export.

#include "ui/ReportCsvExport.h"

class QWidget;

class ReportExportRunner
{
public:
    static ReportCsvExport::Result run(QWidget *parent, const ReportCsvExport::Settings &settings);

    // Cancels every export under way (the program is ending): each stops at its next piece,
    // removes what it wrote and returns Cancelled.
    static void cancelRunning();

    // How long an export runs before the progress dialog shows (tests shorten it).
    static void setProgressDelay(int milliseconds);
    static int progressDelay();

    static constexpr int kUpdateInterval = 50; // ms between two progress updates
};
