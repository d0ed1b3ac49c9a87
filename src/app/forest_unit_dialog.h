#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace converter {

class Ui;

// "Введите данные": the enterprise code and the forestry number for an import. Typing is
// filtered (digits only, 8 and 2 characters); OK checks the input and stays open with a message
// while it is wrong; Cancel, Escape and the frame's close button cancel.
class ForestUnitDialog : public QDialog {
    Q_OBJECT
public:
    // Loading the dialog pre-fills the enterprise box with the last accepted code.
    ForestUnitDialog(Ui& ui, QWidget* parent = nullptr);

    void cmdOk_Click();
    void cmdCancel_Click();

signals:
    // F1: the help page of the import, which asks for the forest unit.
    void helpRequested();

public:
    QLabel* Label1 = nullptr;
    QLineEdit* txtLeshoz = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtLesnich = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdCancel = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    Ui& ui_;
    bool ctrlKeyDown_ = false;
};

}  // namespace converter
