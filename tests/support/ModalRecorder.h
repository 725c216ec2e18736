#pragma once

// Stands in for every modal loop while it lives: each dialog is recorded and answered from a
// queue of results (Accepted when the queue is empty). `onDialog` may act on a dialog first;
// when it returns a result other than -1, that is the answer.

#include "core/ModalRunner.h"

#include <QDialog>
#include <QQueue>
#include <QStringList>
#include <functional>

class ModalRecorder
{
public:
    ModalRecorder()
    {
        ModalRunner::setInterceptor([this](QDialog *dialog) {
            dialogs << dialog;
            classNames << QString::fromLatin1(dialog->metaObject()->className());
            const int acted = onDialog ? onDialog(dialog) : -1;
            if (acted != -1)
                return acted;
            return answers.isEmpty() ? int(QDialog::Accepted) : answers.dequeue();
        });
    }
    ~ModalRecorder() { ModalRunner::clearInterceptor(); }
    ModalRecorder(const ModalRecorder &) = delete;
    ModalRecorder &operator=(const ModalRecorder &) = delete;

    QList<QDialog *> dialogs;
    QStringList classNames;
    QQueue<int> answers;
    std::function<int(QDialog *)> onDialog;
};
