#pragma once

// The open and save dialogs of the program. Tests queue the name the next dialog returns
// instead of showing one; every request is recorded so its settings can be checked.

#include <QString>
#include <optional>

class QWidget;

class FileDialogs
{
public:
    struct Request
    {
        QString caption;
        QString startFolder;
        QString filter; // one entry, "label(pattern)"
        QString defaultSuffix; // added to a name typed without an extension
        bool confirmOverwrite = false; // save: ask before replacing an existing file
        bool mustExist = false; // open: only an existing file can be chosen
    };

    // The chosen file's absolute path, or the empty text when the operator cancelled.
    static QString saveFileName(QWidget *parent, const Request &request);
    static QString openFileName(QWidget *parent, const Request &request);

    // Test hook: the next dialog returns this name without showing (the empty text cancels).
    // A relative name is taken inside the start folder, and the default suffix is added to a
    // name without an extension, as the real dialog does.
    static void setNextFileName(const QString &name);
    static void clearNextFileName();
    static std::optional<Request> lastRequest();

private:
    static QString run(QWidget *parent, const Request &request, bool save);
};
