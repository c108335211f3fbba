#include "shell/About.h"

#include "preview/Presenter.h"

#include <QDialogButtonBox>
#include <QGuiApplication>
#include <QLabel>
#include <QVBoxLayout>

namespace velm {

TAboutBox* AboutBox = nullptr;

const char* VelmVersion() { return VELM_VERSION; }

bool OnWayland() { return QGuiApplication::platformName().startsWith(QLatin1String("wayland")); }

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
    auto* onTop = new QLabel(this);
    onTop->setWordWrap(true);
    // Wayland lets no program keep its window above the others.
    if (OnWayland())
        onTop->setText("Under Wayland the toolbar cannot stay on top of other windows: "
                       "bring it forward from the task list, and move it by its drag handle.");
    onTop->setVisible(OnWayland());
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    for (QLabel* label : {product, version, purpose, onTop}) {
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    layout->addWidget(buttons);
    setFixedWidth(340);
}

} // namespace velm
