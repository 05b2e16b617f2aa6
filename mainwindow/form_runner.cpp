// The program's FormRunner: a real modal loop.
#include "form_runner.h"

#include <QDialog>

namespace kestova {

int ExecFormRunner::ShowModal(QDialog &dialog)
{
    return dialog.exec();
}

} // namespace kestova
