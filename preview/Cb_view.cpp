#include "preview/Cb_view.h"

#include "platform/core/convert.h"
#include "platform/printing/printer.h"
#include "preview/Presenter.h"
#include "preview/Addit.h"
#include "preview/Drawscrn.h"
#include "preview/Glyphs.h"
#include "preview/LoadText.h"

#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <utility>

namespace velm {

namespace {

constexpr int kConfiguredEntry = 9;

QFont Font(const char* family, int pixels, bool bold)
{
    QFont font(family);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

QFrame* MakePanel(QWidget* parent, int height)
{
    auto* panel = new QFrame(parent);
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Raised);
    panel->setFixedHeight(height);
    return panel;
}

// The buttons use the toolbar font; Enter in the page and zoom boxes must
// never fall through to one of them.
template <class Button>
Button* MakeButton(QWidget* parent, const char* glyph, int x, int y, int w, int h, const char* hint)
{
    auto* button = new Button(parent);
    button->setGeometry(x, y, w, h);
    button->setFont(Font("MS Sans Serif", 13, false));
    if (glyph)
        button->setIcon(Glyph(glyph));
    button->setStatusTip(QString::fromUtf8(hint)); // hints are never shown
    if constexpr (std::is_same_v<Button, QPushButton>)
        button->setAutoDefault(false);
    return button;
}

QLabel* MakeLabel(QWidget* parent, int x, int y)
{
    auto* label = new QLabel(parent);
    label->setFont(Font("Arial", 15, false));
    label->move(x, y);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, int x, int y, int w, int h, const char* hint)
{
    auto* edit = new QLineEdit(parent);
    edit->setGeometry(x, y, w, h);
    edit->setStatusTip(QString::fromUtf8(hint));
    return edit;
}

bool IsEnter(const QEvent* e)
{
    const int key = static_cast<const QKeyEvent*>(e)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// Qt cannot carry an exception through its event loop: every action the
// user starts reports its failure here and ends, and the window stays.
template <class Action>
auto Reported(Action action)
{
    return [action] {
        try {
            action();
        } catch (const std::exception& e) {
            ErrorBox()(e.what());
        }
    };
}

} // namespace

TErrorBox& ErrorBox()
{
    static TErrorBox box = ShowErrorBox;
    return box;
}

TCB_Prev::TCB_Prev(const TStoredJob& Job, QWidget* parent)
    : QDialog(parent, Qt::Window), // a main window of its own, maximised
      Panel1(MakePanel(this, 33)),
      CloseButton(MakeButton<QPushButton>(Panel1, "door", 10, 2, 88, 26, "")),
      Additional(MakeButton<QPushButton>(Panel1, "printer", 110, 2, 111, 26,
                                         "Print using additional setup")),
      Print(MakeButton<QPushButton>(Panel1, "printer", 225, 2, 88, 26, "Print all pages")),
      Odd(MakeButton<QPushButton>(Panel1, "printer", 315, 2, 88, 26,
                                  "Print Odd Pages for double-sided printing")),
      Even(MakeButton<QPushButton>(Panel1, "printer", 405, 2, 88, 26,
                                   "Print Even Paged for Double-Sided Printing")),
      Current(MakeButton<QPushButton>(Panel1, "printer", 495, 2, 101, 26, "Print Current Page Only")),
      Panel2(MakePanel(this, 32)),
      ZoomIn(MakeButton<QToolButton>(Panel2, "zoomminus", 10, 3, 31, 26, "Zoom out")),
      ZoomOut(MakeButton<QToolButton>(Panel2, "zoomplus", 40, 3, 31, 26, "Zoom In")),
      PrintPreview(new QComboBox(Panel2)),
      Page(MakeLabel(Panel2, 200, 7)),
      PageNo(MakeEdit(Panel2, 251, 3, 52, 24, "Current Page")),
      Label2(MakeLabel(Panel2, 321, 7)),
      PageTot(MakeEdit(Panel2, 354, 3, 51, 24, "Total Page Count")),
      PrevPage(MakeButton<QToolButton>(Panel2, "arrowleft", 419, 3, 31, 26, "Page Left")),
      NextPage(MakeButton<QToolButton>(Panel2, "arrowright", 455, 3, 31, 26, "Page Right")),
      myUDF(MakeButton<QPushButton>(Panel2, nullptr, 499, 3, 121, 26, "")),
      ScrollBox1(new QScrollArea(this)),
      DrawIt1(nullptr),
      FJob(Job),
      FPageArea(new QWidget)
{
    setFont(Font("MS Sans Serif", 16, true));
    resize(712, 594);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(Panel1);
    layout->addWidget(Panel2);
    layout->addWidget(ScrollBox1, 1);

    PrintPreview->setGeometry(75, 3, 106, 24);
    PrintPreview->setStatusTip("Zoom in/out by percentage");
    MakeEditableList(PrintPreview);
    PrintPreview->setStyleSheet("QComboBox { background: white; }");
    PageTot->setReadOnly(true);
    myUDF->setFont(Font("Arial", 15, false));
    myUDF->setText("&Info");
    myUDF->hide();

    ScrollBox1->setFrameShape(QFrame::NoFrame);
    ScrollBox1->setWidgetResizable(false);
    ScrollBox1->setWidget(FPageArea);
    FPageArea->setAutoFillBackground(true);
    ScrollBox1->viewport()->setAutoFillBackground(true);
    DrawIt1 = new TDrawIt(FJob, FPageArea);
    DrawIt1->move(26, 33);
    SetCaptions(false);

    connect(CloseButton, &QPushButton::clicked, this, [this] { CloseButtonClick(); });
    connect(Additional, &QPushButton::clicked, this, Reported([this] { AdditionalClick(); }));
    connect(Print, &QPushButton::clicked, this, Reported([this] { PrintClick(); }));
    connect(Odd, &QPushButton::clicked, this, Reported([this] { OddClick(); }));
    connect(Even, &QPushButton::clicked, this, Reported([this] { EvenClick(); }));
    connect(Current, &QPushButton::clicked, this, Reported([this] { CurrentClick(); }));
    connect(ZoomIn, &QToolButton::clicked, this, Reported([this] { ZoomInClick(); }));
    connect(ZoomOut, &QToolButton::clicked, this, Reported([this] { ZoomOutClick(); }));
    connect(PrintPreview, &QComboBox::activated, this, Reported([this] { PrintPreviewClick(); }));
    connect(PrevPage, &QToolButton::clicked, this, Reported([this] { PrevPageClick(); }));
    connect(NextPage, &QToolButton::clicked, this, Reported([this] { NextPageClick(); }));
    connect(DrawIt1, &TDrawIt::ZoomChanged, this,
            [this](int percent, int zero) { Reported([=, this] { ZoomChanged(percent, zero); })(); });
    // Enter reaches the list itself when it has the focus and the line edit
    // when that has it; either way it is the typed zoom.
    PrintPreview->installEventFilter(this);
    PrintPreview->lineEdit()->installEventFilter(this);
    PageNo->installEventFilter(this);
    FormCreate();
}

// The canvas goes first, while the window is whole: its destruction lets
// pending messages run, and they may reach this window.
TCB_Prev::~TCB_Prev() { delete std::exchange(DrawIt1, nullptr); }

void TCB_Prev::FormCreate()
{
    FBeforePrint = nullptr;
    FAfterPrint = nullptr;
    hide();
    for (int preset : ZoomPresets)
        PrintPreview->addItem(QString::number(preset) + "%");
    try {
        const std::string zoom = FJob.Read("ZoomFactor", "100.0");
        FZoomFactor = strToFloat(zoom);
        PrintPreview->addItem(QString::fromStdString(zoom));
        SelectEntry(4);
        FBackground = static_cast<unsigned>(strToInt(FJob.Read("View Background", "1234")));
        setWindowTitle(QString::fromStdString(FJob.Read("Preview Heading", "Corvel Preview")));
        Printers::instance().setPrinterIndex(FJob.PrinterIndex());
    } catch (const std::exception& e) {
        ErrorBox()(e.what());
        return;
    }
    QPalette palette = FPageArea->palette();
    palette.setColor(QPalette::Window,
                     QColor(int(FBackground & 0xFF), int((FBackground >> 8) & 0xFF),
                            int((FBackground >> 16) & 0xFF)));
    FPageArea->setPalette(palette);
    ScrollBox1->viewport()->setPalette(palette);
    DrawIt1->resize(553, 717);
    setWindowState(windowState() | Qt::WindowMaximized);
    SetCaptions(true);
}

void TCB_Prev::SetCaptions(bool FromResources)
{
    const auto text = [FromResources](int id, const char* builtIn) {
        return QString::fromStdString(FromResources ? LoadText(id, builtIn) : std::string(builtIn));
    };
    CloseButton->setText(text(20, "&Close"));
    Additional->setText(text(21, "&Add nl"));
    Print->setText(text(22, "&All"));
    Odd->setText(text(23, "&Odd"));
    Even->setText(text(24, "&Even"));
    Current->setText(text(25, "&Current"));
    Page->setText(text(26, "Page"));
    Label2->setText(text(27, "of"));
    Page->adjustSize();
    Label2->adjustSize();
}

void TCB_Prev::SetViewButton(const std::string& Caption, bool Visible)
{
    myUDF->setText(QString::fromStdString(Caption));
    myUDF->setVisible(Visible);
}

bool TCB_Prev::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate && DrawIt1)
        Reported([this] { FormActivate(); })();
    return QDialog::event(e);
}

// The first activation shows page 1 at the configured zoom. Later ones
// (after a print pass, a message box, another window) keep the page and
// the zoom the user chose: the boxes show what the canvas shows.
void TCB_Prev::FormActivate()
{
    PageTot->setText(QString::number(DrawIt1->PageCount()));
    if (FActivated) {
        PageNo->setText(QString::number(DrawIt1->PageNo()));
        return;
    }
    PageNo->setText("1");
    SelectEntry(kConfiguredEntry);
    if (isVisible()) {
        Zoomfinish();
        FActivated = true;
    }
}

bool TCB_Prev::eventFilter(QObject* watched, QEvent* e)
{
    const bool press = e->type() == QEvent::KeyPress;
    const bool release = e->type() == QEvent::KeyRelease;
    const bool zoomBox = watched == PrintPreview || watched == PrintPreview->lineEdit();
    if ((press || release) && IsEnter(e)) {
        if (zoomBox && press)
            Reported([this] { PrintPreviewKeyPress(); })();
        else if (watched == PageNo && release)
            Reported([this] { PageNoKeyUp(); })();
        return zoomBox || watched == PageNo;
    }
    return QDialog::eventFilter(watched, e);
}

// "&Close" has no cancel role: Esc, typed to leave a box, must not end the
// preview and take its stored pages with it.
void TCB_Prev::keyPressEvent(QKeyEvent* e)
{
    if (e->key() == Qt::Key_Escape) {
        e->accept();
        return;
    }
    QDialog::keyPressEvent(e);
}

void TCB_Prev::reject()
{
    if (!FPrinting)
        QDialog::reject();
}

void TCB_Prev::SelectEntry(int Index) { PrintPreview->setCurrentIndex(Index); }

void TCB_Prev::Zoomfinish()
{
    const int k = PrintPreview->currentIndex();
    if (k >= 0 && k < kConfiguredEntry)
        DrawIt1->SetZoom(ZoomPresets[static_cast<std::size_t>(k)]);
    else if (k == kConfiguredEntry)
        DrawIt1->SetZoom(FZoomFactor);
    SetScrollBars();
}

void TCB_Prev::SetScrollBars()
{
    const int width = DrawIt1->width();
    const int height = DrawIt1->height();
    FPageArea->resize(width + 50, height + 50);
    ScrollBox1->horizontalScrollBar()->setSingleStep(width / 5);
    ScrollBox1->verticalScrollBar()->setSingleStep(height / 5);
}

// Entry numbers grow as the page shrinks; from the configured zoom the
// step goes to the preset after the one it equals.
void TCB_Prev::ZoomInClick()
{
    const int k = PrintPreview->currentIndex();
    if (k < kConfiguredEntry) {
        SelectEntry(k + 1);
    } else {
        for (int i = kConfiguredEntry - 1; i >= 0; --i) {
            if (ZoomPresets[static_cast<std::size_t>(i)] == FZoomFactor) {
                SelectEntry(i + 1);
                break;
            }
        }
    }
    Zoomfinish();
}

// From the configured zoom: the smallest preset larger than it.
void TCB_Prev::ZoomOutClick()
{
    const int k = PrintPreview->currentIndex();
    if (k <= 0)
        return;
    if (k < kConfiguredEntry) {
        SelectEntry(k - 1);
    } else {
        for (int i = kConfiguredEntry - 1; i >= 0; --i) {
            if (ZoomPresets[static_cast<std::size_t>(i)] > FZoomFactor) {
                SelectEntry(i);
                break;
            }
        }
    }
    Zoomfinish();
}

void TCB_Prev::PrintPreviewClick() { Zoomfinish(); }

// A typed "120%" reads as "120 " and shows as "120 %" afterwards.
void TCB_Prev::PrintPreviewKeyPress()
{
    std::string typed = PrintPreview->currentText().toStdString();
    const std::size_t percent = typed.find('%');
    if (percent != std::string::npos)
        typed[percent] = ' ';
    FZoomFactor = strToFloat(typed);
    PrintPreview->setItemText(kConfiguredEntry, QString::fromStdString(typed + "%"));
    SelectEntry(kConfiguredEntry);
    if (isVisible())
        Zoomfinish();
}

void TCB_Prev::ZoomChanged(int Percent, int)
{
    const auto found = std::find(ZoomPresets.begin(), ZoomPresets.end(), Percent);
    if (found != ZoomPresets.end())
        SelectEntry(static_cast<int>(found - ZoomPresets.begin()));
    Zoomfinish();
}

void TCB_Prev::PageNoKeyUp()
{
    const int wanted = strToInt(PageNo->text().toStdString());
    PageNo->setText(QString::number(DrawIt1->GoToPage(wanted)));
}

void TCB_Prev::NextPageClick()
{
    DrawIt1->ShowNextPage();
    PageNo->setText(QString::number(DrawIt1->PageNo()));
}

void TCB_Prev::PrevPageClick()
{
    DrawIt1->ShowPrevPage();
    PageNo->setText(QString::number(DrawIt1->PageNo()));
}

void TCB_Prev::CallBefore()
{
    if (FBeforePrint)
        FBeforePrint(this);
}

void TCB_Prev::CallAfter()
{
    if (FAfterPrint)
        FAfterPrint(this);
}

void TCB_Prev::PrintPass(const std::function<void()>& Pass)
{
    // Messages run while pages print (that is how "&Abort" is heard); a
    // second pass or a close started then would pull the pages away from
    // the first.
    struct Busy {
        TCB_Prev& window;
        explicit Busy(TCB_Prev& w) : window(w) { Enable(false); }
        ~Busy() { Enable(true); }
        void Enable(bool on)
        {
            window.FPrinting = !on;
            for (QWidget* part : {static_cast<QWidget*>(window.Panel1),
                                  static_cast<QWidget*>(window.Panel2),
                                  static_cast<QWidget*>(window.ScrollBox1)})
                part->setEnabled(on);
        }
    } busy(*this);
    CallBefore();
    Pass();
    CallAfter();
}

void TCB_Prev::PrintClick() { PrintPass([this] { DrawIt1->PrintPages(0, ""); }); }
void TCB_Prev::OddClick() { PrintPass([this] { DrawIt1->PrintPages(1, ""); }); }
void TCB_Prev::EvenClick() { PrintPass([this] { DrawIt1->PrintPages(2, ""); }); }

void TCB_Prev::CurrentClick()
{
    PrintPass([this] { DrawIt1->PrintPages(0, DrawIt1->CurrentPages()); });
}

// The dialog comes back after every pass with its choices, until it is
// closed; an error ends the loop as a close would.
void TCB_Prev::AdditionalClick()
{
    const std::string current = DrawIt1->CurrentPages();
    TAddition dialog(this);
    dialog.hide();
    while (dialog.exec() == 1) {
        PrintPass([&] {
            const int mode = dialog.ComboBox1->currentIndex();
            if (dialog.All->isChecked())
                DrawIt1->PrintPages(mode, "");
            else if (dialog.Current->isChecked())
                DrawIt1->PrintPages(mode, current);
            else if (dialog.Range->isChecked())
                DrawIt1->PrintPages(mode, dialog.Edit1->text().toStdString());
        });
    }
}

void TCB_Prev::CloseButtonClick() { done(1); }

} // namespace velm
