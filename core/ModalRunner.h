#pragma once

#include <functional>

class QDialog;

// Every modal window other than a message box is shown through here, so tests can drive
// it: an interceptor set by a test receives the dialog instead of a blocking exec().
class ModalRunner
{
public:
    using Interceptor = std::function<int(QDialog *)>;

    static int exec(QDialog *dialog);
    static void setInterceptor(Interceptor interceptor);
    static void clearInterceptor();
};
