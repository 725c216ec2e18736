#pragma once

// Where a dialog sits and what its title bar offers. The dialogs of the console have a fixed
// frame: a title, and either no buttons (they are left through their own buttons) or only the
// system menu with its close button. A few of them open in the middle of the screen.

class QWidget;

namespace WindowPlacement {

enum class TitleButtons
{
    None, // left only through the dialog's own buttons
    Close // system menu and close button
};

// A fixed dialog frame with the given title-bar buttons (never minimise or maximise).
void setFixedFrame(QWidget *window, TitleButtons buttons);

// Moves the window to the middle of the available area of its screen; nothing when the
// window has no screen.
void centreOnScreen(QWidget *window);

} // namespace WindowPlacement
