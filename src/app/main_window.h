#pragma once

#include <QWidget>

namespace converter {

// Placeholder until the real window lands.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(int edition, QWidget* parent = nullptr) : QWidget(parent), edition_(edition) {}

private:
    int edition_;
};

}  // namespace converter
