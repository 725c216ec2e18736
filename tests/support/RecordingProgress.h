#pragma once

#include "link/EncoderLink.h"

// The progress a page reports, as the last call left it.
class RecordingProgress final : public PageProgress
{
public:
    void setProgress(int maximum, int position) override
    {
        progressMax = maximum;
        progressPos = position;
    }
    void advanceProgress(int count) override { progressPos += count; }

    int progressMax = -1;
    int progressPos = -1;
};
