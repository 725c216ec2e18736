#include "ui/FileDialogs.h"

#include "app/ModalRunner.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace {
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

    QFileDialog dialog(parent, request.caption, request.startFolder, request.filter);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save || !request.mustExist ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(request.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
    if (ModalRunner::exec(&dialog) != QDialog::Accepted)
        return {};
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}
