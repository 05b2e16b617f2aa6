// Answering modal dialogs from a test: the answer runs once the dialog of
// the given type is the active modal widget, and reaches the dialog's
// widgets by their object names.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

namespace kestova::test {

template <typename Dialog>
void AnswerModal(std::function<void(Dialog &)> answer, int triesLeft = 300)
{
    QTimer::singleShot(10, [answer, triesLeft] {
        if (auto *dialog = qobject_cast<Dialog *>(QApplication::activeModalWidget())) {
            answer(*dialog);
        } else if (triesLeft > 0) {
            AnswerModal<Dialog>(answer, triesLeft - 1);
        } else {
            ADD_FAILURE() << "no modal " << Dialog::staticMetaObject.className() << " appeared";
            if (QWidget *other = QApplication::activeModalWidget())
                other->close();
        }
    });
}

// The dialog's child widget of that name; a test without it cannot go on.
template <typename Widget = QWidget>
Widget *Child(QWidget &dialog, const char *name)
{
    auto *child = dialog.findChild<Widget *>(QLatin1String(name));
    if (!child) {
        ADD_FAILURE() << dialog.objectName().toStdString() << " has no " << name;
        std::abort();
    }
    return child;
}

inline void Click(QWidget &dialog, const char *button)
{
    Child<QAbstractButton>(dialog, button)->click();
}

} // namespace kestova::test
