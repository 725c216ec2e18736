#include "ui/FileDialogs.h"

#include "core/ModalRunner.h"

#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>

namespace {
// Names files by their names alone. The toolkit's own provider opens every file of the folder
// to read its content type, and closing such a file drops every POSIX lock this process holds
// on it: the database's own locks included, after which another program can take the
// write-ahead log away from under the open connection.
class NameOnlyIconProvider : public QFileIconProvider
{
public:
    using QFileIconProvider::icon;
    QIcon icon(const QFileInfo &info) const override
    {
        return QFileIconProvider::icon(info.isDir() ? Folder : File);
    }
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
} // namespace

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
