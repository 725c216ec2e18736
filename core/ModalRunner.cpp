#include "core/ModalRunner.h"

#include <QDialog>

namespace {
ModalRunner::Interceptor &hook()
{
    static ModalRunner::Interceptor installed;
    return installed;
}
} // namespace

int ModalRunner::exec(QDialog *dialog)
{
    if (hook())
        return hook()(dialog);
    return dialog->exec();
}

void ModalRunner::setInterceptor(Interceptor interceptor)
{
    hook() = std::move(interceptor);
}

void ModalRunner::clearInterceptor()
{
    hook() = nullptr;
}
