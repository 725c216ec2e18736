#pragma once

// The behaviour of the main window's report pane: the grid and the memo over the report
// data set, sorting by a title click, showing and hiding the pane, and opening the report
// window. It takes the main window's widgets and actions, so it can be driven on its own.

#include "ui/ReportModel.h"

#include <QObject>

class AlertSink;
class QAction;
class QDialog;
class QDockWidget;
class QPlainTextEdit;
class QTableView;
class ReportGrid;
class TForm1;

// The widgets and actions a report pane is made of.
struct ReportPaneParts
{
    QDockWidget *tbxPnl = nullptr;
    QTableView *DBGrid1 = nullptr;
    QPlainTextEdit *DBMemo1 = nullptr;
    QAction *ToolButton1 = nullptr; // "Report"
    QAction *mnuShowReport = nullptr; // "Mostra report", checkable
    QAction *OpenHistory1 = nullptr; // "Apri report..."
};

class ReportPane : public QObject
{
    Q_OBJECT

public:
    using Widgets = ReportPaneParts;

    ReportPane(const Widgets &widgets, ReportModel &model, AlertSink &alerts, QObject *parent = nullptr);
    // The main window's pane (TForm1::reportPaneParts() over its reportModel()).
    ReportPane(TForm1 &form, AlertSink &alerts);

    // The report window opened by "Apri report..." (TfrmHis).
    void setHistoryWindow(QDialog *window) { m_history = window; }

    ReportGrid *grid() const { return m_grid; }
    const ReportViewSort &sort() const { return m_sort; }

    // --- handlers ---------------------------------------------------------------------------
    void ToolButton1Click();
    void DBGrid1TitleClick(int column);
    void OpenHistory1Click();

    // Cell alignments of the pane's grid, in column order.
    static QList<Qt::Alignment> cellAlignments();

private:
    void showMessage();

    Widgets m_w;
    ReportModel &m_model;
    AlertSink &m_alerts;
    ReportGrid *m_grid = nullptr;
    ReportViewSort m_sort;
    QDialog *m_history = nullptr;
    QString m_shownMessage; // the text last put into DBMemo1
};
