#include "ui/ReportGrid.h"

#include "ui/ReportDelegate.h"
#include "ui/ReportModel.h"
#include "ui/ReportWindowModel.h"

#include <QCoreApplication>
#include <QDockWidget>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLayout>
#include <QScrollBar>
#include <QTableView>
#include <algorithm>

ReportGrid::ReportGrid(QTableView *view, ReportModel *model, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_model(model)
    , m_window(new ReportWindowModel(model, this))
    , m_delegate(new ReportDelegate(this))
    , m_bar(new QScrollBar(Qt::Vertical))
{
    m_bar->setObjectName(view->objectName() + QStringLiteral("ScrollBar"));
    m_bar->setAccessibleName(view->accessibleName().isEmpty() ? view->objectName() : view->accessibleName());
    QItemSelectionModel *previous = view->selectionModel();
    view->setModel(m_window);
    if (previous && previous->parent() == view)
        previous->deleteLater();
    view->setItemDelegate(m_delegate);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    view->setSortingEnabled(false);
    view->horizontalHeader()->setSectionsClickable(true);
    view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    placeScrollBar();

    connect(view->horizontalHeader(), &QHeaderView::sectionClicked, this, &ReportGrid::titleClicked);
    connect(m_bar, &QScrollBar::valueChanged, this, &ReportGrid::applyTop);
    connect(view->verticalScrollBar(), &QScrollBar::valueChanged, this, &ReportGrid::viewScrolled);
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex &current) {
        if (!m_syncing && current.isValid())
            m_model->setCurrentRow(m_window->sourceRow(current.row()));
    });
    connect(model, &QAbstractItemModel::modelReset, this, [this] {
        relayout();
        m_bar->setValue(0);
        showCurrent();
    });
    connect(model, &QAbstractItemModel::rowsInserted, this, &ReportGrid::relayout);
    connect(model, &QAbstractItemModel::rowsRemoved, this, &ReportGrid::relayout);
    connect(model, &ReportModel::currentRowRequested, this, [this](int row) {
        if (row >= 0)
            ensureVisible(row);
        showCurrent();
    });
    view->installEventFilter(this);
    m_viewport = view->viewport();
    m_viewport->installEventFilter(this);
    relayout();
    showCurrent();
}

void ReportGrid::placeScrollBar()
{
    // The bar stands right of the grid, in the grid's place in its parent's layout.
    QWidget *parent = m_view->parentWidget();
    auto *box = new QWidget;
    box->setObjectName(m_view->objectName() + QStringLiteral("Box"));
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    if (auto *dock = qobject_cast<QDockWidget *>(parent); dock && dock->widget() == m_view) {
        row->addWidget(m_view);
        row->addWidget(m_bar);
        dock->setWidget(box);
        return;
    }
    if (parent && parent->layout()) {
        if (QLayoutItem *old = parent->layout()->replaceWidget(m_view, box)) {
            delete old;
            row->addWidget(m_view);
            row->addWidget(m_bar);
            return;
        }
    }
    // No layout to take part in: the bar lies over the grid's right edge.
    delete box;
    m_bar->setParent(m_view);
    m_bar->show();
}

void ReportGrid::setAlignments(const QList<Qt::Alignment> &cells, const QList<Qt::Alignment> &titles)
{
    m_window->setCellAlignments(cells);
    m_window->setTitleAlignments(titles);
}

int ReportGrid::topRow() const
{
    return m_window->top();
}

int ReportGrid::rowsOnScreen() const
{
    const int rowHeight = std::max(1, m_view->verticalHeader()->defaultSectionSize());
    return std::max(1, m_view->viewport()->height() / rowHeight);
}

void ReportGrid::relayout()
{
    const int full = rowsOnScreen();
    const int total = m_model->rowCount();
    {
        const QSignalBlocker block(m_bar);
        m_bar->setRange(0, std::max(0, total - full));
        m_bar->setPageStep(full);
        m_bar->setSingleStep(1);
    }
    if (m_bar->parentWidget() == m_view) {
        const int width = m_bar->sizeHint().width();
        m_bar->setGeometry(m_view->width() - width, 0, width, m_view->height());
    }
    applyTop(m_bar->value());
}

void ReportGrid::applyTop(int top)
{
    m_window->setWindow(top, rowsOnScreen() + 1);
    showCurrent();
}

void ReportGrid::ensureVisible(int row)
{
    const int top = m_bar->value();
    const int full = rowsOnScreen();
    if (row < top)
        scrollTo(row);
    else if (row >= top + full)
        scrollTo(row - full + 1);
}

void ReportGrid::scrollTo(int row)
{
    if (row != m_bar->value() && row >= m_bar->minimum() && row <= m_bar->maximum())
        m_bar->setValue(row);
    else if (row > m_bar->maximum())
        m_bar->setValue(m_bar->maximum());
    else if (row < m_bar->minimum())
        m_bar->setValue(m_bar->minimum());
}

void ReportGrid::showCurrent()
{
    // The grid's current cell follows the data set's current row, in the grid's column.
    QItemSelectionModel *selection = m_view->selectionModel();
    const int row = m_window->windowRow(m_model->currentRow());
    m_syncing = true;
    if (row < 0) {
        selection->clear();
    } else {
        const int column = std::max(0, selection->currentIndex().column());
        const QModelIndex index = m_window->index(row, column);
        if (selection->currentIndex() != index || !selection->isSelected(index)) {
            QItemSelectionModel::SelectionFlags flags = QItemSelectionModel::ClearAndSelect;
            if (m_view->selectionBehavior() == QAbstractItemView::SelectRows)
                flags |= QItemSelectionModel::Rows;
            selection->setCurrentIndex(index, flags);
        }
    }
    m_syncing = false;
}

void ReportGrid::viewScrolled(int value)
{
    // The grid scrolled itself (a click on the partly shown last row): move the window
    // instead, so its own scrolling stays at the top.
    if (value == 0)
        return;
    m_view->verticalScrollBar()->setValue(0);
    scrollTo(m_bar->value() + value);
}

bool ReportGrid::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_viewport) {
        if (event->type() == QEvent::Wheel) {
            QCoreApplication::sendEvent(m_bar, event);
            return true;
        }
        if (event->type() == QEvent::Resize)
            relayout();
        return false;
    }
    if (watched == m_view && event->type() == QEvent::Resize && m_bar->parentWidget() == m_view)
        relayout();
    if (watched != m_view || event->type() != QEvent::KeyPress)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const int current = m_model->currentRow();
    const int last = m_model->rowCount() - 1;
    const bool control = key->modifiers() & Qt::ControlModifier;
    int target = current;
    switch (key->key()) {
    case Qt::Key_Up:
        target = current - 1;
        break;
    case Qt::Key_Down:
        target = current + 1;
        break;
    case Qt::Key_PageUp:
        target = current - rowsOnScreen();
        break;
    case Qt::Key_PageDown:
        target = current + rowsOnScreen();
        break;
    case Qt::Key_Home:
        if (!control)
            return false;
        target = 0;
        break;
    case Qt::Key_End:
        if (!control)
            return false;
        target = last;
        break;
    default:
        return false;
    }
    if (last < 0)
        return true;
    target = std::clamp(target, 0, last);
    if (target == current) {
        ensureVisible(target);
        showCurrent();
    } else {
        m_model->setCurrentRow(target);
    }
    return true;
}
