#pragma once

// The open and save dialogs of the program. Tests queue the name the next dialog returns
// instead of showing one; every request is recorded so its settings can be checked.
// No dialog hands out the live database or a file that goes with it: saving over one destroys
// the data, and even reading one drops the engine's locks when the file is closed.

#include <QString>
#include <optional>

class AlertSink;
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

    // Refused by every dialog from now on: the database at `databasePath`, its log, index,
    // journal and lock file, and the compaction's copy, both beside the path as given and
    // beside the real file a link leads to. The refusal is told through `alerts`, and the
    // dialog returns as if cancelled. An empty path protects nothing.
    static void protectDatabase(const QString &databasePath, AlertSink *alerts);
    // Whether `path` is one of those files: the same device and inode as one that exists, or
    // the same name in the same (canonical) folder. Nothing is opened to find out.
    static bool isProtected(const QString &path);
    static const QString RefusalText; // %1 the chosen file

    // Test hook: the next dialog returns this name without showing (the empty text cancels).
    // A relative name is taken inside the start folder, and the default suffix is added to a
    // name without an extension, as the real dialog does.
    static void setNextFileName(const QString &name);
    static void clearNextFileName();
    static std::optional<Request> lastRequest();

private:
    static QString run(QWidget *parent, const Request &request, bool save);
    static QString choose(QWidget *parent, const Request &request, bool save);
};
