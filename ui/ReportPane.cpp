#include "ui/ReportPane.h"

#include "core/AlertSink.h"
#include "core/ModalRunner.h"
#include "ui/ReportGrid.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QDialog>
#include <QDockWidget>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTextDocument>

namespace {
constexpr Qt::Alignment Centre = Qt::AlignCenter;
constexpr Qt::Alignment Number = Qt::AlignRight | Qt::AlignVCenter;
} // namespace

QList<Qt::Alignment> ReportPane::cellAlignments()
{
    return { Number, Centre, Centre, Centre, Centre, Centre, Centre, Centre };
}

ReportPane::ReportPane(TForm1 &form, AlertSink &alerts)
    : ReportPane(form.reportPaneParts(), *form.reportModel(), alerts, &form)
{
}

ReportPane::ReportPane(const Widgets &widgets, ReportModel &model, AlertSink &alerts, QObject *parent)
    : QObject(parent)
    , m_w(widgets)
    , m_model(model)
    , m_alerts(alerts)
{
    QTableView *grid = m_w.DBGrid1;
    grid->setFont(QFont(QStringLiteral("Arial")));
    QFont title = grid->horizontalHeader()->font();
    title.setBold(true);
    grid->horizontalHeader()->setFont(title);
    grid->horizontalHeader()->setDefaultAlignment(Qt::AlignCenter);
    grid->verticalHeader()->setVisible(true);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectItems);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    grid->setShowGrid(true);
    grid->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    if (grid->accessibleName().isEmpty())
        grid->setAccessibleName(QStringLiteral("Report"));

    m_grid = new ReportGrid(grid, &m_model, this);
    m_grid->setAlignments(cellAlignments(), QList<Qt::Alignment>(ReportModel::ColumnCount, Centre));
    connect(m_grid, &ReportGrid::titleClicked, this, &ReportPane::DBGrid1TitleClick);

    QPlainTextEdit *memo = m_w.DBMemo1;
    memo->setReadOnly(true);
    QFont fixed(QStringLiteral("Courier New"));
    fixed.setStyleHint(QFont::TypeWriter);
    memo->setFont(fixed);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memo->setFixedHeight(48);
    if (memo->accessibleName().isEmpty())
        memo->setAccessibleName(QStringLiteral("Report"));
    connect(&m_model, &ReportModel::currentRowRequested, this, &ReportPane::showMessage);
    connect(&m_model, &QAbstractItemModel::modelReset, this, &ReportPane::showMessage);
    showMessage();

    if (m_w.ToolButton1)
        connect(m_w.ToolButton1, &QAction::triggered, this, &ReportPane::ToolButton1Click);
    if (m_w.mnuShowReport) {
        m_w.mnuShowReport->setCheckable(true);
        m_w.mnuShowReport->setChecked(!m_w.tbxPnl->isHidden());
        connect(m_w.mnuShowReport, &QAction::triggered, this, &ReportPane::ToolButton1Click);
    }
    if (m_w.OpenHistory1)
        connect(m_w.OpenHistory1, &QAction::triggered, this, &ReportPane::OpenHistory1Click);
    // Closing the floating pane by its own close box takes the check mark away too.
    connect(m_w.tbxPnl, &QDockWidget::visibilityChanged, this, [this] {
        if (m_w.mnuShowReport)
            m_w.mnuShowReport->setChecked(!m_w.tbxPnl->isHidden());
    });
}

void ReportPane::ToolButton1Click()
{
    const bool visible = m_w.tbxPnl->isHidden();
    m_w.tbxPnl->setVisible(visible);
    if (m_w.mnuShowReport)
        m_w.mnuShowReport->setChecked(visible);
}

void ReportPane::DBGrid1TitleClick(int column)
{
    if (!m_sort.click(column))
        return;
    m_model.open(ReportModel::fieldName(column), m_sort.descending());
    if (!m_model.isOpen())
        m_alerts.plain(m_model.lastError());
}

void ReportPane::OpenHistory1Click()
{
    if (m_history)
        ModalRunner::exec(m_history);
}

void ReportPane::showMessage()
{
    // Laying the memo's text out again costs as much as painting the grid: only a new text is set.
    const QString text = m_model.messageAt(m_model.currentRow());
    if (text == m_shownMessage && m_w.DBMemo1->document()->characterCount() == text.size() + 1)
        return;
    m_shownMessage = text;
    m_w.DBMemo1->setPlainText(text);
}
