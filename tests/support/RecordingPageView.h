#pragma once

#include "link/EncoderLink.h"

// The window fields a frame reads, set by hand, with the progress bar calls recorded.
class RecordingPageView final : public PageView
{
public:
    bool addressBookPageActive() const override { return addressBook; }
    bool testModeChecked() const override { return testMode; }
    bool chgMsgChecked() const override { return chgMsg; }
    bool toneOnlyChecked() const override { return toneOnly; }
    QByteArray messageText() const override { return message; }
    QByteArray rangeText() const override { return range; }
    qint64 delayFieldMs() const override { return delayMs; }
    void setProgress(int maximum, int position) override
    {
        progressMax = maximum;
        progressPos = position;
    }
    void advanceProgress(int count) override { progressPos += count; }

    bool addressBook = true;
    bool testMode = false;
    bool chgMsg = false;
    bool toneOnly = false;
    QByteArray message = "HI";
    QByteArray range;
    qint64 delayMs = 0;
    int progressMax = -1;
    int progressPos = -1;
};
