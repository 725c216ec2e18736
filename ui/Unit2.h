#pragma once

// The report window: the report data set in a grid with the whole text of the current
// row's message below (and, for a page from another system, its client and login), sorting
// by a title click, deleting one row and clearing the report.

#include "ui/ReportModel.h"

#include <QDialog>

class AlertSink;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTableView;
class ReportGrid;
class ReportStore;

class TfrmHis : public QDialog
{
    Q_OBJECT

public:
    TfrmHis(ReportModel &model, ReportStore &store, AlertSink &alerts, QWidget *parent = nullptr);

    QGroupBox *GroupBox1 = nullptr;
    QTableView *DBGrid1 = nullptr;
    QPlainTextEdit *DBMemo1 = nullptr;
    QLabel *lblOrigin = nullptr; // where the current row came from, empty for the operator's own
    QPushButton *Button2 = nullptr; // "Cancella"
    QPushButton *Button1 = nullptr; // "Chiudi"
    QPushButton *btnExportCsv = nullptr; // "Esporta CSV..."

    ReportGrid *grid() const { return m_grid; }
    const ReportViewSort &sort() const { return m_sort; }

    // Share of the window's outer width for each column, in column order.
    static constexpr double ColumnFractions[ReportModel::ColumnCount]
        = { 0.07, 0.10, 0.10, 0.16, 0.07, 0.16, 0.09, 0.20 };
    static QList<Qt::Alignment> cellAlignments();
    static QList<Qt::Alignment> titleAlignments();
    // What lblOrigin says for a row of a page from another system.
    static QString originText(const QString &client, const QString &login);

    // --- handlers ---------------------------------------------------------------------------
    void FormShow();
    void Button1Click();
    void Button2Click();
    void DBGrid1TitleClick(int column);
    // Ctrl+Delete in the grid: asks, then deletes the current row.
    void DBGrid1DeleteRecord();
    // "Esporta CSV...": every row in the order shown, to a spreadsheet file.
    void btnExportCsvClick();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMessage();

    ReportModel &m_model;
    ReportStore &m_store;
    AlertSink &m_alerts;
    ReportGrid *m_grid = nullptr;
    ReportViewSort m_sort;
};
