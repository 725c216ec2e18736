#include "send/MainWindowView.h"

#include "send/Range.h"
#include "ui/ReportModel.h"
#include "ui/Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTabWidget>

bool MainWindowView::addressBookPageActive() const
{
    return m_form.PageControl1->currentIndex() == 0;
}

bool MainWindowView::testModeChecked() const
{
    return m_form.TestMode1->isChecked();
}

bool MainWindowView::chgMsgChecked() const
{
    return m_form.chkChgMsg->isChecked();
}

bool MainWindowView::toneOnlyChecked() const
{
    return m_form.chkTone->isChecked();
}

QString MainWindowView::messageString() const
{
    return m_form.memMsg->toPlainText();
}

qint64 MainWindowView::delayFieldMs() const
{
    bool ok = false;
    const qint64 value = m_form.Edit11->text().trimmed().toLongLong(&ok, 10);
    return ok ? value : 0;
}

void MainWindowView::setProgress(int maximum, int position)
{
    m_form.setProgress(maximum, position);
}

void MainWindowView::advanceProgress(int count)
{
    m_form.advanceProgress(count);
}

QString MainWindowView::codeText() const
{
    return m_form.edtID->text();
}

void MainWindowView::setCodeText(const QString &text)
{
    m_form.edtID->setText(text);
}

void MainWindowView::focusCode()
{
    m_form.edtID->setFocus();
}

int MainWindowView::pageIndex() const
{
    return m_form.PageControl1->currentIndex();
}

int MainWindowView::sendListCount() const
{
    return m_form.ListBox2->count();
}

QString MainWindowView::sendListEntry(int index) const
{
    const QListWidgetItem *item = m_form.ListBox2->item(index);
    return item ? item->text() : QString();
}

QString MainWindowView::fieldText(Field field) const
{
    switch (field) {
    case Field::Times:
        return m_form.Edit5->text();
    case Field::Delay:
        return m_form.Edit11->text();
    case Field::AutoInc:
        return m_form.Edit3->text();
    case Field::RangePeriod:
        return m_form.edtHeartbeat->text();
    }
    return QString();
}

QString MainWindowView::rangeMessage() const
{
    return m_form.Edit2->text();
}

bool MainWindowView::chgCapChecked() const
{
    return m_form.chkChgCap->isChecked();
}

void MainWindowView::setStatusText(const QString &text)
{
    m_form.setStatusText(2, text);
}

void MainWindowView::setPassCount(const QString &text)
{
    m_form.Label20->setText(text);
}

void MainWindowView::setRangeText(const QString &text)
{
    m_rangeText = text;
    if (m_range)
        m_range->edtMsg->setText(text);
}

void MainWindowView::setCountdown(const QString &text)
{
    if (m_range)
        m_range->lblSec->setText(text);
}

void MainWindowView::openReport()
{
    if (!m_form.reportModel)
        return;
    // The report goes to its last row, so the pane shows the newest rows while the run posts.
    m_form.reportModel->open();
    m_form.reportModel->setCurrentRow(m_form.reportModel->rowCount() - 1);
}

void MainWindowView::reportRowPosted()
{
    if (m_form.reportModel)
        m_form.reportModel->rowPosted();
}

void MainWindowView::setTransmitEnabled(bool enabled)
{
    m_form.tbnTransmit->setEnabled(enabled);
    m_form.mnuTransmit->setEnabled(enabled);
}

void MainWindowView::setMaintenanceEnabled(bool enabled)
{
    m_form.Recipient1->setEnabled(enabled);
    m_form.mnuGroups->setEnabled(enabled);
    m_form.OpenHistory1->setEnabled(enabled);
    // A mode chosen mid-run would empty the message or hide the panel that holds "ESC".
    for (QAction *mode : { m_form.NormalMode1, m_form.RangeTest1, m_form.TestMode1 })
        mode->setEnabled(enabled);
}
