#include "preview/Pellido.h"

#include "platform/printing/printer.h"
#include "preview/LoadText.h"

#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>

namespace velm {

namespace {

QFont ControlFont()
{
    QFont font("Arial");
    font.setPixelSize(15);
    return font;
}

QLabel* MakeLabel(QWidget* parent, int x, int y)
{
    auto* label = new QLabel(parent);
    label->setFont(ControlFont());
    label->move(x, y);
    return label;
}

QLineEdit* MakeBox(QWidget* parent, int x, int y, int w, int h)
{
    auto* box = new QLineEdit(parent);
    box->setFont(ControlFont());
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::NoFocus);
    box->setGeometry(x, y, w, h);
    return box;
}

void SetCaption(QLabel* label, int id, const char* builtIn)
{
    label->setText(QString::fromStdString(LoadText(id, builtIn)));
    label->adjustSize();
}

} // namespace

TPrintDialog1::TPrintDialog1(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint
                          | Qt::CustomizeWindowHint),
      Bevel1(new QFrame(this)),
      Label2(MakeLabel(this, 136, 24)),
      ToPrinter(MakeBox(this, 20, 48, 349, 25)),
      Label3(MakeLabel(this, 168, 88)),
      Page(MakeBox(this, 20, 112, 349, 25)),
      Label1(MakeLabel(this, 160, 156)),
      Status(MakeBox(this, 20, 180, 349, 25)),
      CancelBtn(new QPushButton(this))
{
    QFont formFont("MS Sans Serif");
    formFont.setPixelSize(14);
    formFont.setBold(true);
    setFont(formFont);
    setFixedSize(390, 289);
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(10, 10, 369, 207);
    Bevel1->lower();
    CancelBtn->setGeometry(304, 234, 75, 33);
    CancelBtn->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    CancelBtn->setAutoDefault(false);
    connect(CancelBtn, &QPushButton::clicked, this, [this] { CancelBtnClick(); });
    FormCreate();
}

void TPrintDialog1::FormCreate()
{
    setWindowTitle(QString::fromStdString(LoadText(38, "Print Status")));
    SetCaption(Label2, 43, "Formatting for");
    SetCaption(Label3, 26, "Page");
    SetCaption(Label1, 40, "Status");
    CancelBtn->setText(QString::fromStdString(LoadText(41, "&Abort")));
    ShowSelectedPrinter();
    SetStatus(LoadText(44, "Preparing Page"));
}

void TPrintDialog1::FormActivate()
{
    ShowSelectedPrinter();
    FAborted.Withdraw();
    SetStatus(LoadText(44, "Preparing Page"));
}

void TPrintDialog1::ShowSelectedPrinter()
{
    ToPrinter->setText(QString::fromStdString(Printers::instance().selected().name()));
}

void TPrintDialog1::Show()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect box = frameGeometry();
        box.moveCenter(screen->availableGeometry().center());
        move(box.topLeft());
    }
    show();
    raise();
    repaint();
}

void TPrintDialog1::SetPage(const std::string& text) { Page->setText(QString::fromStdString(text)); }

void TPrintDialog1::SetStatus(const std::string& text) { Status->setText(QString::fromStdString(text)); }

void TPrintDialog1::CancelBtnClick()
{
    // Cancelled at once, so nothing more of the document reaches the printer.
    if (FDocument && FDocument->isOpen())
        FDocument->abort();
    FAborted.Set();
    SetStatus(LoadText(44, "Interrupted...Please Wait"));
}

void TPrintDialog1::reject() { CancelBtnClick(); }

bool TPrintDialog1::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QDialog::event(e);
}

} // namespace velm
