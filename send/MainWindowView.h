#pragma once

#include "send/TransmitView.h"

class TForm1;
class TfrmRange;

// The transmit run's view of the main window: asks TForm1 for what a run is made of and tells
// it the run's progress, and forwards the range text and the countdown to the range-test
// window when one is set.
class MainWindowView final : public TransmitView
{
public:
    explicit MainWindowView(TForm1 &form)
        : m_form(form)
    {
    }

    void setRangeWindow(TfrmRange *range) { m_range = range; }

    // TransmitView: what a page is built from
    bool addressBookPageActive() const override;
    bool testModeChecked() const override;
    bool chgMsgChecked() const override;
    bool toneOnlyChecked() const override;
    QString messageString() const override;
    QString rangeString() const override { return m_rangeText; }
    qint64 delayFieldMs() const override;

    // PageProgress
    void setProgress(int maximum, int position) override;
    void advanceProgress(int count) override;

    // DirectCodeView
    QString codeText() const override;
    void setCodeText(const QString &text) override;
    void focusCode() override;

    // TransmitView
    int pageIndex() const override;
    int sendListCount() const override;
    QString sendListEntry(int index) const override;
    QString fieldText(Field field) const override;
    QString rangeMessage() const override;
    bool chgCapChecked() const override;
    void setStatusText(const QString &text) override;
    void setPassCount(const QString &text) override;
    void setRangeText(const QString &text) override;
    void setCountdown(const QString &text) override;
    void openReport() override;
    void reportRowPosted() override;
    void setTransmitEnabled(bool enabled) override;
    void setMaintenanceEnabled(bool enabled) override;

private:
    TForm1 &m_form;
    TfrmRange *m_range = nullptr;
    QString m_rangeText;
};
