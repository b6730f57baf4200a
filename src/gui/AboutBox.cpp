#include "gui/AboutBox.h"

#include "gui/Artwork.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

CAboutBox::CAboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About Talmira");
    auto* picture = new QLabel(this);
    picture->setPixmap(artwork::ProductPicture(devicePixelRatioF()));
    auto* line = new QLabel("A directory of the multicast sessions announced on your network: it lists what "
                            "it hears, starts the tools that join a session and announces your own.",
                            this);
    line->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(picture);
    layout->addWidget(line);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}
