#include "app/ModalRunner.h"

#include <QDialog>

namespace {
ModalRunner::Interceptor &interceptor()
{
    static ModalRunner::Interceptor hook;
    return hook;
}
} // namespace

int ModalRunner::exec(QDialog *dialog)
{
    if (interceptor())
        return interceptor()(dialog);
    return dialog->exec();
}

void ModalRunner::setInterceptor(Interceptor hook)
{
    interceptor() = std::move(hook);
}

void ModalRunner::clearInterceptor()
{
    interceptor() = nullptr;
}
