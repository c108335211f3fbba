// The rich-text tool bar above the viewer: font, size, alignment and style
// of the RTF page's selection, or of the text typed next.
#include "shell/BrowserPictures.h"
#include "shell/BrowserSupport.h"

#include "platform/core/convert.h"

#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>

#include <algorithm>

namespace velm {

namespace {

// The families as a user names them: a family that several foundries
// provide is listed once, without the foundry's tag ("C059 [UKWN]").
QStringList ScreenFontNames()
{
    QStringList names;
    for (QString family : QFontDatabase::families()) {
        const qsizetype tag = family.lastIndexOf(" [");
        if (tag > 0 && family.endsWith(']'))
            family.truncate(tag);
        names << family;
    }
    names.removeDuplicates();
    return names;
}

} // namespace

void TVelmWindow::CreateRichTextBar()
{
    Panel3 = new QWidget(this);
    auto* row = new QHBoxLayout(Panel3);
    row->setContentsMargins(2, 1, 2, 1);
    row->setSpacing(1);
    FontName = new QComboBox(Panel3);
    FontName->addItems(ScreenFontNames());
    // Rich text starts in "Times New Roman", 12 points: show the face that serves it.
    FontName->setCurrentText(QFontInfo(QFont("Times New Roman")).family());
    FontName->setMinimumWidth(140);
    connect(FontName, qOverload<int>(&QComboBox::activated), this, &TVelmWindow::FontNameChange);
    FontSize = new QLineEdit("12", Panel3);
    FontSize->setFixedWidth(32);
    connect(FontSize, &QLineEdit::textEdited, this, &TVelmWindow::FontSizeChange);
    UpDown1Up = new QToolButton(Panel3);
    UpDown1Up->setArrowType(Qt::UpArrow);
    UpDown1Down = new QToolButton(Panel3);
    UpDown1Down->setArrowType(Qt::DownArrow);
    connect(UpDown1Up, &QToolButton::clicked, this, [this] { UpDown1Click(1); });
    connect(UpDown1Down, &QToolButton::clicked, this, [this] { UpDown1Click(-1); });
    const auto toggle = [this](const QIcon& icon, const char* name) {
        auto* button = new QToolButton(Panel3);
        button->setObjectName(name);
        button->setIcon(icon);
        button->setCheckable(true);
        button->setAutoRaise(true);
        return button;
    };
    LeftAlign = toggle(AlignIcon(Qt::AlignLeft), "LeftAlign");
    LeftAlign->setProperty("Tag", 0);
    CenterAlign = toggle(AlignIcon(Qt::AlignHCenter), "CenterAlign");
    CenterAlign->setProperty("Tag", 2);
    RightAlign = toggle(AlignIcon(Qt::AlignRight), "RightAlign");
    RightAlign->setProperty("Tag", 1);
    for (QToolButton* b : {LeftAlign, CenterAlign, RightAlign})
        connect(b, &QToolButton::clicked, this, [this, b] { AlignButtonClick(b); });
    BoldButton = toggle(TextIcon("B", true, false, false), "BoldButton");
    ItalicButton = toggle(TextIcon("I", false, true, false), "ItalicButton");
    UnderlineButton = toggle(TextIcon("U", false, false, true), "UnderlineButton");
    connect(BoldButton, &QToolButton::clicked, this, &TVelmWindow::BoldButtonClick);
    connect(ItalicButton, &QToolButton::clicked, this, &TVelmWindow::ItalicButtonClick);
    connect(UnderlineButton, &QToolButton::clicked, this, &TVelmWindow::UnderlineButtonClick);
    for (QWidget* w : std::initializer_list<QWidget*>{FontName, FontSize, UpDown1Up, UpDown1Down, LeftAlign,
                                                        CenterAlign, RightAlign, BoldButton, ItalicButton,
                                                        UnderlineButton})
        row->addWidget(w);
    row->addStretch(1);
}

void TVelmWindow::SetRichToolBarEnabled(bool Enabled)
{
    for (QWidget* w : std::initializer_list<QWidget*>{FontName, FontSize, UpDown1Up, UpDown1Down, BoldButton,
                                                        ItalicButton, UnderlineButton, LeftAlign, CenterAlign,
                                                        RightAlign})
        w->setEnabled(Enabled);
}

void TVelmWindow::CurrentTextAttributes(const QTextCharFormat& Change)
{
    QTextCursor cursor = RichEdit2->textCursor();
    if (cursor.hasSelection()) {
        cursor.mergeCharFormat(Change);
        return;
    }
    QTextCharFormat next = RichEdit2->currentCharFormat();
    next.merge(Change);
    RichEdit2->setCurrentCharFormat(next);
}

void TVelmWindow::BoldButtonClick()
{
    QTextCharFormat change;
    change.setFontWeight(BoldButton->isChecked() ? QFont::Bold : QFont::Normal);
    CurrentTextAttributes(change);
}

void TVelmWindow::ItalicButtonClick()
{
    QTextCharFormat change;
    change.setFontItalic(ItalicButton->isChecked());
    CurrentTextAttributes(change);
}

void TVelmWindow::UnderlineButtonClick()
{
    QTextCharFormat change;
    change.setFontUnderline(UnderlineButton->isChecked());
    CurrentTextAttributes(change);
}

void TVelmWindow::FontNameChange()
{
    QTextCharFormat change;
    change.setFontFamilies({FontName->currentText()});
    CurrentTextAttributes(change);
}

void TVelmWindow::FontSizeChange()
{
    // A box being emptied while typing is not a size yet.
    if (FontSize->text().trimmed().isEmpty())
        return;
    Guarded([this] {
        const int size = strToInt(FontSize->text().toStdString());
        if (size <= 0)
            return;
        QTextCharFormat change;
        change.setFontPointSize(size);
        CurrentTextAttributes(change);
    });
}

void TVelmWindow::UpDown1Click(int Step)
{
    const int now = strToIntDef(FontSize->text().toStdString(), 0);
    FontSize->setText(QString::number(std::max(0, now + Step)));
    FontSizeChange();
}

void TVelmWindow::AlignButtonClick(QToolButton* Button)
{
    // One of the three down at a time; all up is allowed.
    if (Button->isChecked())
        for (QToolButton* b : {LeftAlign, CenterAlign, RightAlign})
            if (b != Button)
                b->setChecked(false);
    static const Qt::Alignment byTag[] = {Qt::AlignLeft, Qt::AlignRight, Qt::AlignHCenter};
    QTextCursor cursor = RichEdit2->textCursor();
    QTextBlockFormat paragraph;
    paragraph.setAlignment(byTag[std::clamp(Button->property("Tag").toInt(), 0, 2)]);
    cursor.mergeBlockFormat(paragraph);
    RichEdit2->setTextCursor(cursor);
}

} // namespace velm
