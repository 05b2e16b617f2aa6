// Answering modal dialogs from a test: the answer runs once the dialog of
// the given type is the active modal widget.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

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

} // namespace kestova::test
