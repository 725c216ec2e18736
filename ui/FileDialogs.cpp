#include "ui/FileDialogs.h"

#include "core/AlertSink.h"
#include "core/ModalRunner.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStringList>

#include <sys/stat.h>

namespace {
// Names files by their names alone. The toolkit's own provider opens every file of the folder
// to read its content type, and closing such a file drops every POSIX lock this process holds
// on it: the database's own locks included, after which another program can take the
// write-ahead log away from under the open connection.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override { return QFileIconProvider::icon(info.isDir() ? Folder : File); }
    QString type(const QFileInfo &info) const override
    {
        if (info.isDir())
            return QFileIconProvider::type(info); // by name alone for folders
        return QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension).comment();
    }
};

std::optional<QString> &nextName()
{
    static std::optional<QString> name;
    return name;
}

std::optional<FileDialogs::Request> &recorded()
{
    static std::optional<FileDialogs::Request> request;
    return request;
}

struct Protection
{
    QString database;
    AlertSink *alerts = nullptr;
};

Protection &protection()
{
    static Protection value;
    return value;
}

// `path` with its folder resolved (links and "..") and its own name kept, so that a file that
// does not exist yet compares too.
QString inCanonicalFolder(const QString &path)
{
    const QFileInfo info(path);
    const QString folder = QFileInfo(info.absolutePath()).canonicalFilePath();
    return folder.isEmpty() ? info.absoluteFilePath() : folder + QLatin1Char('/') + info.fileName();
}

// The database and its companions, named beside the path as given and beside the real file.
QStringList protectedNames()
{
    const QFileInfo database(protection().database);
    QStringList names;
    for (const QString &base : { database.absoluteFilePath(), database.canonicalFilePath() }) {
        if (base.isEmpty())
            continue;
        const QString file = inCanonicalFolder(base);
        for (const char *suffix : { "", "-wal", "-shm", "-journal", ".lock" })
            names << file + QLatin1String(suffix);
        names << QFileInfo(file).absolutePath() + QLatin1String("/TALVENK.tmp");
    }
    names.removeDuplicates();
    return names;
}

bool sameFile(const struct stat &a, const QString &path)
{
    struct stat b;
    return ::stat(QFile::encodeName(path).constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}
} // namespace

const QString FileDialogs::RefusalText
    = QStringLiteral("Il file %1 fa parte del database in uso e non può essere scelto: indicare un altro file.");

void FileDialogs::protectDatabase(const QString &databasePath, AlertSink *alerts)
{
    protection() = { databasePath, alerts };
}

bool FileDialogs::isProtected(const QString &path)
{
    if (protection().database.isEmpty() || path.isEmpty())
        return false;
    const QStringList names = protectedNames();
    const QString canonical = QFileInfo(path).canonicalFilePath();
    if (names.contains(inCanonicalFolder(path)) || (!canonical.isEmpty() && names.contains(canonical)))
        return true;
    struct stat chosen;
    if (::stat(QFile::encodeName(path).constData(), &chosen) != 0)
        return false;
    for (const QString &name : names) {
        if (sameFile(chosen, name))
            return true;
    }
    return false;
}

QString FileDialogs::saveFileName(QWidget *parent, const Request &request)
{
    return run(parent, request, true);
}

QString FileDialogs::openFileName(QWidget *parent, const Request &request)
{
    return run(parent, request, false);
}

void FileDialogs::setNextFileName(const QString &name)
{
    nextName() = name;
}

void FileDialogs::clearNextFileName()
{
    nextName().reset();
}

std::optional<FileDialogs::Request> FileDialogs::lastRequest()
{
    return recorded();
}

QString FileDialogs::run(QWidget *parent, const Request &request, bool save)
{
    const QString path = choose(parent, request, save);
    if (!isProtected(path))
        return path;
    if (AlertSink *alerts = protection().alerts)
        alerts->captioned(RefusalText.arg(QDir::toNativeSeparators(path)), request.caption, AlertIcon::Warning);
    return QString();
}

QString FileDialogs::choose(QWidget *parent, const Request &request, bool save)
{
    recorded() = request;
    if (nextName()) {
        QString name = *nextName();
        nextName().reset();
        if (name.isEmpty())
            return {};
        name = QDir(request.startFolder).absoluteFilePath(name);
        if (!request.defaultSuffix.isEmpty() && QFileInfo(name).suffix().isEmpty())
            name += QLatin1Char('.') + request.defaultSuffix;
        return name;
    }

    NameOnlyIconProvider icons; // outlives the dialog, whose file-info thread uses it
    QFileDialog dialog(parent, request.caption, request.startFolder, request.filter);
    // The toolkit's own dialog, never the desktop's: only this one lists the folder through the
    // provider below. The program also sets this for every dialog before it starts.
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setIconProvider(&icons);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (ModalRunner::exec(&dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
