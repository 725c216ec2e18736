#pragma once

#include <functional>

// One owner of the encoder link at a time: the operator's command or the pages from other
// systems. The operator comes first: a command that finds a page on the wire is kept and
// started from the top-level event loop right after that page, and no page starts while a
// command goes on.
class LinkArbiter
{
public:
    virtual ~LinkArbiter() = default;

    // The operator's command wants the link. True: the link is the command's until
    // operatorFinished(). False: a page is on the wire; `start` has been kept and is called
    // from the top-level event loop once that page is done.
    virtual bool operatorRequest(std::function<void()> start) = 0;
    virtual void operatorFinished() = 0;
};
