#include "shell/Unit5.h"

#include <QFrame>
#include <QLabel>
#include <QVBoxLayout>

namespace velm {

namespace {

QLabel* SplashLabel(const QString& text, const char* colour, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    QFont font("Arial");
    font.setPixelSize(20);
    font.setBold(true);
    font.setItalic(true);
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QString("color: %1;").arg(colour));
    return label;
}

} // namespace

TForm5::TForm5(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle("Starting...");
    setFixedSize(377, 87);
    auto* bevel = new QFrame(this);
    bevel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bevel->setLineWidth(2);
    auto* lines = new QVBoxLayout(bevel);
    lines->addWidget(SplashLabel("Please Wait", "yellow", bevel));
    lines->addWidget(SplashLabel("Loading Velm..Windows 95 Version.", "blue", bevel));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(bevel);
}

} // namespace velm
