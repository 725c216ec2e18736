#pragma once

class QLabel;
class QString;
class QWidget;

// A caption label for a control: the label is the control's buddy and its caption becomes
// the control's accessible name, so screen readers and UI automation find it by that text.
QLabel *makeCaption(const QString &name, const QString &text, QWidget *buddy, QWidget *parent);
