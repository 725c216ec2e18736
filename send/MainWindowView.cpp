#include "send/MainWindowView.h"

#include "send/Range.h"
#include "ui/ReportModel.h"
#include "ui/StatusBar.h"
#include "ui/Unit1.h"

bool MainWindowView::addressBookPageActive() const
{
    return m_form.pageIndex() == 0;
}

bool MainWindowView::testModeChecked() const
{
    return m_form.testModeChecked();
}

bool MainWindowView::chgMsgChecked() const
{
    return m_form.changeMessageChecked();
}

bool MainWindowView::toneOnlyChecked() const
{
    return m_form.toneOnlyChecked();
}

QString MainWindowView::messageString() const
{
    return m_form.messageText();
}

qint64 MainWindowView::delayFieldMs() const
{
    bool ok = false;
    const qint64 value = m_form.delayText().trimmed().toLongLong(&ok, 10);
    return ok ? value : 0;
}

void MainWindowView::setProgress(int maximum, int position)
{
    m_form.status().setProgress(maximum, position);
}

void MainWindowView::advanceProgress(int count)
{
    m_form.status().advanceProgress(count);
}

QString MainWindowView::codeText() const
{
    return m_form.codeText();
}

void MainWindowView::setCodeText(const QString &text)
{
    m_form.setCodeText(text);
}

void MainWindowView::focusCode()
{
    m_form.focusCode();
}

int MainWindowView::pageIndex() const
{
    return m_form.pageIndex();
}

int MainWindowView::sendListCount() const
{
    return m_form.sendListCount();
}

QString MainWindowView::sendListEntry(int index) const
{
    return m_form.sendListEntry(index);
}

QString MainWindowView::fieldText(Field field) const
{
    switch (field) {
    case Field::Times:
        return m_form.timesText();
    case Field::Delay:
        return m_form.delayText();
    case Field::AutoInc:
        return m_form.autoIncText();
    case Field::RangePeriod:
        return m_form.rangePeriodText();
    }
    return QString();
}

QString MainWindowView::rangeMessage() const
{
    return m_form.rangeMessageText();
}

bool MainWindowView::chgCapChecked() const
{
    return m_form.changeCodeChecked();
}

void MainWindowView::setStatusText(const QString &text)
{
    m_form.status().setStateText(text);
}

void MainWindowView::setPassCount(const QString &text)
{
    m_form.setPassCount(text);
}

void MainWindowView::setRangeText(const QString &text)
{
    m_rangeText = text;
    if (m_range)
        m_range->showRangeText(text);
}

void MainWindowView::setCountdown(const QString &text)
{
    if (m_range)
        m_range->showCountdown(text);
}

void MainWindowView::openReport()
{
    ReportModel *report = m_form.reportModel();
    if (!report)
        return;
    // The report goes to its last row, so the pane shows the newest rows while the run posts.
    report->open();
    report->setCurrentRow(report->rowCount() - 1);
}

void MainWindowView::reportRowPosted()
{
    if (ReportModel *report = m_form.reportModel())
        report->rowPosted();
}

void MainWindowView::setTransmitEnabled(bool enabled)
{
    m_form.setTransmitEnabled(enabled);
}

void MainWindowView::setMaintenanceEnabled(bool enabled)
{
    m_form.setMaintenanceEnabled(enabled);
}
