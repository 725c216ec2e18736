#pragma once

// Binds one report grid (a QTableView) to the report data set through a window of rows,
// with a scroll bar of its own over the whole data set: the grid keeps geometry for one
// screen of rows whatever the size of the table. The grid follows the data set's current
// row, and a row picked in the grid becomes the data set's current row, so both views
// move together. Title clicks are passed on as titleClicked(column).

#include <QList>
#include <QObject>

class QScrollBar;
class QTableView;
class ReportDelegate;
class ReportModel;
class ReportWindowModel;

class ReportGrid : public QObject
{
    Q_OBJECT

public:
    ReportGrid(QTableView *view, ReportModel *model, QObject *parent = nullptr);

    QTableView *view() const { return m_view; }
    ReportModel *model() const { return m_model; }
    ReportWindowModel *windowModel() const { return m_window; }
    QScrollBar *scrollBar() const { return m_bar; }

    void setAlignments(const QList<Qt::Alignment> &cells, const QList<Qt::Alignment> &titles);
    // The first data-set row on screen, and the number of rows that fit entirely.
    int topRow() const;
    int rowsOnScreen() const;
    // Scrolls the least needed for `row` to be wholly on screen.
    void ensureVisible(int row);
    // Scrolls so that `row` is the first row on screen (as far as the data set allows).
    void scrollTo(int row);

signals:
    void titleClicked(int column);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void placeScrollBar();
    void relayout();
    void applyTop(int top);
    void showCurrent();
    void viewScrolled(int value);

    QTableView *m_view;
    ReportModel *m_model;
    ReportWindowModel *m_window;
    ReportDelegate *m_delegate;
    QScrollBar *m_bar;
    // The view's viewport as the filter was installed on it: the filter still sees its children's
    // events while the view is being destroyed, when m_view is no longer a table view to ask.
    QObject *m_viewport = nullptr;
    bool m_syncing = false;
};
