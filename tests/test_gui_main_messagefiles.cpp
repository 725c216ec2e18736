#include "app/ModalRunner.h"
#include "tests/support/MainWindowFixture.h"
#include "ui/FileDialogs.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QPlainTextEdit>
#include <QtTest>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// Whether another process finds a lock of ours on the file. Asked from a child process:
// opening and closing the file here would itself drop this process's locks on it.
bool lockedAgainstOthers(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    const pid_t child = ::fork();
    if (child == 0) {
        const int fd = ::open(name.constData(), O_RDWR);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool held = fd >= 0 && ::fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        ::_exit(held ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
} // namespace

// "Esporta messaggi (&S)" and "Importa messaggi (&O)" through the main window's menu, with
// the file dialogs answered by the test hook.
class TestGuiMainMessageFiles : public QObject
{
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> fx;
    TForm1 *form = nullptr;

    QString path(const QString &name) const { return fx->dir.filePath(name); }

    void exportAs(const QString &name)
    {
        FileDialogs::setNextFileName(name);
        form->mnuExport->trigger();
    }
    void importFrom(const QString &name)
    {
        FileDialogs::setNextFileName(name);
        form->mnuImport->trigger();
    }

private slots:
    void init()
    {
        fx = std::make_unique<MainWindowFixture>();
        QString error;
        QVERIFY2(fx->open(&error), qPrintable(error));
        form = &fx->makeForm();
    }
    void cleanup()
    {
        FileDialogs::clearNextFileName();
        form = nullptr;
        fx.reset();
    }

    void exportWritesTheBytesExactly()
    {
        form->memMsg->setPlainText(QStringLiteral("Test 1"));
        exportAs(path(QStringLiteral("six.te2")));
        QCOMPARE(readBytes(path(QStringLiteral("six.te2"))), QByteArray("\x54\x65\x73\x74\x20\x31"));

        const std::optional<FileDialogs::Request> asked = FileDialogs::lastRequest();
        QVERIFY(asked);
        QCOMPARE(asked->filter, QStringLiteral("KRV7700files(*.te2)"));
        QCOMPARE(asked->startFolder, form->startFolder());
        QCOMPARE(asked->defaultSuffix, QStringLiteral("te2"));
        QVERIFY(asked->confirmOverwrite);

        // An empty message gives an empty file, replacing the old content.
        form->memMsg->clear();
        exportAs(path(QStringLiteral("six.te2")));
        QCOMPARE(readBytes(path(QStringLiteral("six.te2"))), QByteArray());

        // A name typed without an extension gets ".te2".
        form->memMsg->setPlainText(QStringLiteral("x"));
        exportAs(path(QStringLiteral("senza")));
        QCOMPARE(readBytes(path(QStringLiteral("senza.te2"))), QByteArray("x"));
        QVERIFY(!QFile::exists(path(QStringLiteral("senza"))));
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void cancelledDialogsChangeNothing()
    {
        form->memMsg->setPlainText(QStringLiteral("keep"));
        importFrom(QString());
        exportAs(QString());
        QCOMPARE(form->memMsg->toPlainText(), QStringLiteral("keep"));
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void importReplacesTheMessage_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");
        QTest::newRow("two lines") << QByteArray("Riga uno\r\nRiga due") << QStringLiteral("Riga unoRiga due");
        QTest::newRow("Latin-1 byte") << QByteArray("citt\xe0") << QStringLiteral("citt");
        QTest::newRow("byte zero") << QByteArray("abc\0def", 7) << QStringLiteral("abc");
        QTest::newRow("empty file") << QByteArray() << QString();
    }
    void importReplacesTheMessage()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);
        writeBytes(path(QStringLiteral("in.te2")), bytes);
        form->memMsg->setPlainText(QStringLiteral("previous"));
        importFrom(path(QStringLiteral("in.te2")));
        QCOMPARE(form->memMsg->toPlainText(), message);
        QCOMPARE(form->lblLength->text(), QString::number(message.size()));
        QVERIFY(FileDialogs::lastRequest()->mustExist);
        QVERIFY(fx->alerts.alerts.isEmpty());
    }

    void refusedFilesKeepTheMessage()
    {
        form->memMsg->setPlainText(QStringLiteral("mine"));
        const QString missing = path(QStringLiteral("missing.te2"));
        importFrom(missing);
        QCOMPARE(fx->alerts.lastText(), QStringLiteral("Cannot open file ") + missing);

        writeBytes(path(QStringLiteral("big.te2")), QByteArray(1024 * 1024 + 1, 'a'));
        importFrom(path(QStringLiteral("big.te2")));
        QCOMPARE(fx->alerts.lastText(), QStringLiteral("Text exceeds memo capacity"));
        QCOMPARE(form->memMsg->toPlainText(), QStringLiteral("mine"));
        QCOMPARE(fx->alerts.alerts.size(), 2);
        QCOMPARE(fx->alerts.alerts.first().kind, RecordingAlertSink::Alert::Plain);
    }

    void aDialogOverTheDatabaseFolderKeepsTheDatabaseLocks()
    {
        // The dialog must not open the database's files to learn their types: closing them
        // would drop the connection's locks, and another program could then fold the
        // write-ahead log into the file and delete it while the console goes on writing.
        fx->addPreset(QStringLiteral("p"), QStringLiteral("x"));
        const QString index = path(Database::FileName) + QStringLiteral("-shm");
        QVERIFY(QFile::exists(index));
        QVERIFY(lockedAgainstOthers(index));

        bool listed = false;
        ModalRunner::setInterceptor([&listed](QDialog *dialog) {
            auto *model = dialog->findChild<QFileSystemModel *>();
            if (model)
                QObject::connect(model, &QFileSystemModel::directoryLoaded, dialog, [&listed] { listed = true; });
            dialog->show();
            if (!QTest::qWaitFor([&listed] { return listed; }, 10000))
                qWarning("the folder was never listed");
            QTest::qWait(100);
            return int(QDialog::Rejected);
        });
        FileDialogs::Request request;
        request.startFolder = fx->dir.path();
        request.filter = QStringLiteral("KRV7700files(*.te2)");
        const QString chosen = FileDialogs::openFileName(form, request);
        ModalRunner::clearInterceptor();
        QVERIFY(chosen.isEmpty());
        QVERIFY(listed);
        QVERIFY(lockedAgainstOthers(index));
    }

    void exportIntoAFolderThatCannotBeWritten()
    {
        if (::geteuid() == 0)
            QSKIP("root writes into read-only folders");
        const QString locked = path(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(locked));
        writeBytes(locked + QStringLiteral("/old.te2"), "old");
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        form->memMsg->setPlainText(QStringLiteral("new"));
        exportAs(locked + QStringLiteral("/old.te2"));
        exportAs(locked + QStringLiteral("/other.te2"));
        QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(fx->alerts.texts(),
                 (QStringList { QStringLiteral("Cannot create file ") + locked + "/old.te2",
                                QStringLiteral("Cannot create file ") + locked + "/other.te2" }));
        QCOMPARE(readBytes(locked + QStringLiteral("/old.te2")), QByteArray("old"));
    }
};

QTEST_MAIN(TestGuiMainMessageFiles)
#include "test_gui_main_messagefiles.moc"
