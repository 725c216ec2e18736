#pragma once

// Small pieces the settings windows build alike: caption labels and the OK/Cancel row.

#include <utility>

class QLabel;
class QLayout;
class QPushButton;
class QString;
class QWidget;

// A caption label for a control: the label is the control's buddy and its caption becomes
// the control's accessible name, so screen readers and UI automation find it by that text.
QLabel *makeCaption(const QString &name, const QString &text, QWidget *buddy, QWidget *parent);

// The OK (default) and Cancel buttons of a settings window, with the style's icons, under
// their designer names BitBtn1 and BitBtn2.
std::pair<QPushButton *, QPushButton *> makeOkCancelButtons(QWidget *parent);

// Lays a settings window out: its fields above, the OK and Cancel buttons at the right below.
void layOutWithButtons(QWidget *window, QLayout *fields, QPushButton *ok, QPushButton *cancel);
