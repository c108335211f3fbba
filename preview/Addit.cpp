#include "preview/Addit.h"

#include "preview/Glyphs.h"
#include "preview/LoadText.h"
#include "preview/Presenter.h"

#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace velm {

namespace {

QString Text(int id, const char* builtIn) { return QString::fromStdString(LoadText(id, builtIn)); }

template <class Widget>
Widget* Place(QWidget* parent, int x, int y, int w, int h)
{
    auto* widget = new Widget(parent);
    widget->setGeometry(x, y, w, h);
    return widget;
}

QPushButton* GlyphButton(QWidget* parent, const char* glyph, int x, int y, int w, int h)
{
    auto* button = Place<QPushButton>(parent, x, y, w, h);
    button->setIcon(Glyph(glyph));
    return button;
}

} // namespace

void MakeEditableList(QComboBox* box)
{
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setCompleter(nullptr);
    // Typing clears the selection but keeps what was typed, as the
    // system's drop-down lists do.
    QObject::connect(box->lineEdit(), &QLineEdit::textEdited, box, [box](const QString& text) {
        const int cursor = box->lineEdit()->cursorPosition();
        box->setCurrentIndex(-1);
        box->setEditText(text);
        box->lineEdit()->setCursorPosition(cursor);
    });
}

TAddition::TAddition(QWidget* parent)
    : QDialog(parent, DialogBorder),
      PageRange(Place<QGroupBox>(this, 16, 16, 345, 113)),
      All(Place<QRadioButton>(this, 40, 40, 177, 25)),
      Current(Place<QRadioButton>(this, 40, 66, 189, 23)),
      Range(Place<QRadioButton>(this, 40, 92, 113, 25)),
      Edit1(Place<QLineEdit>(this, 164, 90, 165, 24)),
      Label1(Place<QLabel>(this, 16, 140, 325, 24)),
      Label3(Place<QLabel>(this, 16, 168, 325, 21)),
      Label2(Place<QLabel>(this, 16, 204, 153, 21)),
      ComboBox1(Place<QComboBox>(this, 176, 200, 161, 24)),
      Print(GlyphButton(this, "printer", 91, 242, 95, 33)),
      CancelBtn(GlyphButton(this, "doorclosed", 202, 242, 95, 33))
{
    QFont formFont("MS Sans Serif");
    formFont.setPixelSize(14);
    formFont.setBold(true);
    setFont(formFont);
    setFixedSize(390, 284);
    PageRange->lower();
    All->setChecked(true);
    MakeEditableList(ComboBox1);
    Print->setDefault(true);
    CancelBtn->setAutoDefault(false);
    connect(Print, &QPushButton::clicked, this, [this] { done(1); });
    connect(CancelBtn, &QPushButton::clicked, this, [this] { done(2); });
    for (QRadioButton* choice : {All, Current, Range})
        connect(choice, &QRadioButton::toggled, this, [this] { RangeClick(); });
    FormCreate();
    Print->setFocus();
}

void TAddition::FormCreate()
{
    setWindowTitle(Text(28, "Print Options"));
    PageRange->setTitle(Text(31, "Page Range"));
    All->setText(Text(29, "All Pages"));
    Current->setText(Text(29, "Current Page"));
    Range->setText(Text(31, "Range"));
    Label1->setText(Text(32, "Enter page numbers and/or page ranges"));
    Label3->setText(Text(33, "separated by commas e.g. 1,2,5,7-14,21"));
    Label2->setText(Text(34, "Page Selection"));
    ComboBox1->addItem(Text(35, "Print All Pages"));
    ComboBox1->addItem(Text(36, "Print Odd Pages"));
    ComboBox1->addItem(Text(37, "Print Even Pages"));
    ComboBox1->setCurrentIndex(0);
    Print->setText(Text(42, "&Print"));
    CancelBtn->setText(Text(20, "&Close"));
    RangeClick();
}

void TAddition::RangeClick()
{
    const bool range = Range->isChecked();
    if (!range)
        Edit1->clear();
    Edit1->setEnabled(range);
    Label1->setEnabled(range);
    Label3->setEnabled(range);
}

bool TAddition::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        RangeClick();
    return QDialog::event(e);
}

} // namespace velm
