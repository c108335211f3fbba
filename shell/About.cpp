#include "shell/About.h"

#include "preview/Presenter.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace velm {

TAboutBox* AboutBox = nullptr;

const char* VelmVersion() { return VELM_VERSION; }

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent, DialogBorder)
{
    setWindowTitle("About");
    auto* product = new QLabel("Velm", this);
    QFont big = product->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    product->setFont(big);
    auto* version = new QLabel(QString("Version %1").arg(VelmVersion()), this);
    auto* purpose = new QLabel("Prints text files and HTML pages with headers, footers and "
                               "columns, previews them first, and watches a folder for new files.",
                               this);
    purpose->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    for (QLabel* label : {product, version, purpose}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addWidget(buttons);
    setFixedWidth(340);
}

} // namespace velm
