#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QPointer>
#include <QTest>

#include <functional>

namespace converter::testing {

// Answers the modal dialogs that open while it lives, each from inside the dialog's own event
// loop: the answer comes once the dialog is up, however long the work before it takes, and it
// goes to the dialog that is there, whatever was expected. A dialog the answer leaves open is
// rejected and counted, so that an unexpected one fails the test instead of hanging it.
class ModalAnswers : public QObject {
public:
    explicit ModalAnswers(std::function<void(QDialog&)> answer) : answer_(std::move(answer)) {
        qApp->installEventFilter(this);
    }

    int leftOpen() const { return leftOpen_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        auto* dialog = qobject_cast<QDialog*>(watched);
        if (event->type() == QEvent::Show && dialog != nullptr && dialog->isModal()) {
            // Queued: it runs when the dialog's exec() processes events, not inside show().
            QMetaObject::invokeMethod(
                this,
                [this, shown = QPointer<QDialog>(dialog)] {
                    if (shown && shown->isVisible()) {
                        answer_(*shown);
                    }
                    if (shown && shown->isVisible()) {
                        ++leftOpen_;
                        shown->reject();
                    }
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    std::function<void(QDialog&)> answer_;
    int leftOpen_ = 0;
};

// Presses the box's `wanted` button. A box without it (a question where a message was expected)
// fails the test and is left for ModalAnswers to reject.
inline void Press(QMessageBox& box, QMessageBox::StandardButton wanted) {
    QAbstractButton* button = box.button(wanted);
    QVERIFY2(button != nullptr, qPrintable("no such button in the box: " + box.text()));
    button->click();
}

}  // namespace converter::testing
