#pragma once

#include <QString>

// Every operator message goes through this interface, so that tests record the messages
// (caption, icon and exact text) instead of blocking on a real message box.
enum class AlertIcon
{
    None,
    Information,
    Warning
};
enum class AlertButtons
{
    Ok,
    OkCancel,
    YesNo
};

inline const QString kProgramTitle = QStringLiteral("Tesma Message Sender");

class AlertSink
{
public:
    virtual ~AlertSink() = default;

    // A plain box: the text, an OK button and the program's title as caption.
    virtual void plain(const QString &text) = 0;

    // A box with a caption of its own and an icon, OK button only.
    virtual void captioned(const QString &text, const QString &caption, AlertIcon icon) = 0;

    // A question; returns true for OK or Yes.
    virtual bool ask(const QString &text, const QString &caption, AlertIcon icon, AlertButtons buttons) = 0;
};
