#pragma once

#include <QString>

// The heading text of the note dialog, shared by the recipients window, the
// capcode dialog and the note dialog. A caller sets it and then shows the note dialog. It is
// empty at start and keeps its last value between showings. One instance lives for the whole
// run and is passed by reference to the three windows.
struct CapcodeNote
{
    QString text;
};
