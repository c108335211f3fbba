#include "shell/Unit4.h"

#include "preview/Presenter.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace velm {

TDlgDoubleSided* DlgDoubleSided = nullptr;

TDlgDoubleSided::TDlgDoubleSided(QWidget* parent)
    : QDialog(parent, DialogBorder)
{
    setWindowTitle("Double Sided Printing");
    setFixedSize(390, 212);
    QFont bold("MS Sans Serif");
    bold.setBold(true);
    setFont(bold);

    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    auto* lines = new QVBoxLayout(bevel);
    QFont lineFont("Arial");
    lineFont.setPixelSize(15);
    lineFont.setBold(false); // not inherited from the bold dialog font
    for (const char* text : {"Please wait for the ODD-Numbered pages to finish",
                             "printing, remove them and turn them around  to",
                             "start printing the even-numbered pages",
                             "When ready to continue, Select the OK Button"}) {
        auto* label = new QLabel(text, bevel);
        label->setFont(lineFont);
        label->setStyleSheet("color: black;");
        lines->addWidget(label);
    }

    OKBtn = new QPushButton("OK", this);
    CancelBtn = new QPushButton("Cancel", this);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKBtn);
    buttons->addWidget(CancelBtn);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bevel);
    layout->addLayout(buttons);
    setFocusProxy(OKBtn);
    OKBtn->setFocus();
}

} // namespace velm
