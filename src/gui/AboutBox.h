#pragma once
#include <QDialog>

// "About Talmira": the product picture, a line on what the program does,
// and OK (Enter and Escape both close it).
class CAboutBox final : public QDialog {
    Q_OBJECT
public:
    explicit CAboutBox(QWidget* parent = nullptr);
};
