#pragma once

// Writes the report to a spreadsheet file: a header row of the grid's column titles and
// "Client" and "Login", then every row in the order a report view shows it, values as stored
// (the last two filled for a page from another system). It reads forward only, on
// a read-only connection of its own (so it can run on a worker thread beside the console,
// which goes on writing), up to the newest row at its start; rows posted meanwhile wait for
// the next export. The file is written through QSaveFile in pieces, so memory stays flat
// whatever the size of the report; a cancelled or failed export leaves no file behind and an
// existing file as it was.

#include <QSqlDatabase>
#include <QString>
#include <atomic>

class ReportCsvExport
{
public:
    struct Settings
    {
        QString databaseName; // as the program's connection names its file
        QString connectOptions; // the program's connection options (read-only is added)
        int sortColumn = -1; // a ReportModel column, -1 for insertion order
        bool descending = false;
        QString path; // the file to write
    };

    struct Result
    {
        enum Outcome
        {
            Written,
            Cancelled,
            Failed
        } outcome
            = Failed;
        qint64 rows = 0; // rows written (not counting the header)
        QString error; // the engine's or the system's text when Failed
        qsizetype largestPiece = 0; // the most bytes held before a write to the file
    };

    // The settings for the program's connection and a view's sort order.
    static Settings settingsFor(const QSqlDatabase &db, int sortColumn, bool descending, const QString &path);

    explicit ReportCsvExport(Settings settings)
        : m_settings(std::move(settings))
    {
    }

    // Runs the whole export on the calling thread.
    Result run();
    // From any thread: the export stops at its next piece and removes what it wrote.
    void cancel() { m_cancel.store(true); }

    // Progress, readable from any thread while run() works.
    qint64 rowsWritten() const { return m_written.load(); }
    qint64 rowsTotal() const { return m_total.load(); }

private:
    Result write(QSqlDatabase db);

    Settings m_settings;
    std::atomic<bool> m_cancel { false };
    std::atomic<qint64> m_written { 0 };
    std::atomic<qint64> m_total { 0 };
};
