// The browser window: its layout, creation, drive tabs, pages and status
// line. Opening files, history, drags, print and save commands and the
// rich-text bar have files of their own (Browser*.cpp, RichTextBar.cpp).
#include "shell/Velmwin.h"

#include "engine/UserInterface.h"
#include "platform/core/convert.h"
#include "platform/system/files.h"
#include "platform/system/settings.h"
#include "preview/ScreenFit.h"
#include "shell/About.h"
#include "shell/BrowserPictures.h"
#include "shell/BrowserSupport.h"
#include "shell/Chgdlg.h"
#include "shell/JobDesign.h"
#include "shell/Unit1.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFontDialog>
#include <QFileSystemWatcher>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollArea>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace velm {

TVelmWindow* VelmWindow = nullptr;

TVelmWindow::TVelmWindow(QWidget* parent)
    : QMainWindow(parent), FMemoLines(static_cast<const QPlainTextEdit*>(nullptr)),
      FHtmlLines(static_cast<const QPlainTextEdit*>(nullptr))
{
    VelmWindow = this;
    setWindowTitle("VelmWindow");
    setAcceptDrops(true);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    CreateTopBar();
    column->addWidget(SpeedPanel);
    auto* middle = new QHBoxLayout;
    middle->setSpacing(0);
    FFolderWatcher = new QFileSystemWatcher(this);
    // A burst of changes (a copy of many files) is read once, when it has settled.
    FReloadTimer = new QTimer(this);
    FReloadTimer->setSingleShot(true);
    FReloadTimer->setInterval(150);
    connect(FReloadTimer, &QTimer::timeout, this, &TVelmWindow::ReloadLists);
    connect(FFolderWatcher, &QFileSystemWatcher::directoryChanged, FReloadTimer, qOverload<>(&QTimer::start));
    CreateLeftSide();
    middle->addWidget(DirectoryListBox1);
    middle->addWidget(Panel1);
    middle->addWidget(FileList);
    middle->addWidget(Panel2);
    auto* viewer = new QVBoxLayout;
    viewer->setSpacing(0);
    CreateRichTextBar();
    CreateViewer();
    viewer->addWidget(Panel3);
    viewer->addWidget(Notebook1, 1);
    viewer->addWidget(TabSet1);
    middle->addLayout(viewer, 1);
    column->addLayout(middle, 1);
    CreateBottom();
    column->addWidget(DriveTabSet);
    CreateMenus();
    FSplitLine = new QFrame(central);
    FSplitLine->setStyleSheet("background: black");
    FSplitLine->hide();
    FMemoLines = TEditorLines(MemoRich);
    FHtmlLines = TEditorLines(MemoHTML);
    SetJobDesignValues();
    ChangeDlg = new TChangeDlg(this);
    resize(656, 635);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        // A screen narrower than the top bar takes the room from the history list.
        const int excess = minimumSizeHint().width() - (screen->availableGeometry().width() - 8);
        if (excess > 0)
            WindowList->setFixedWidth(std::max(120, WindowList->width() - excess));
        move(screen->availableGeometry().center() - rect().center());
    }
    // On a screen smaller than the design the caption and menus stay reachable.
    FitOnScreen(*this);
    FormCreate();
}

TVelmWindow::~TVelmWindow()
{
    if (VelmWindow == this)
        VelmWindow = nullptr;
}

void TVelmWindow::CreateTopBar()
{
    SpeedPanel = new QWidget(this);
    SpeedPanel->setFixedHeight(33);
    auto* row = new QHBoxLayout(SpeedPanel);
    row->setContentsMargins(2, 2, 2, 2);
    row->setSpacing(2);
    WindowList = new QComboBox(SpeedPanel);
    WindowList->setEditable(true);
    WindowList->setInsertPolicy(QComboBox::NoInsert);
    WindowList->setFixedWidth(301);
    WindowList->setMaxVisibleItems(18);
    WindowList->setToolTip("Select file to view");
    connect(WindowList, qOverload<int>(&QComboBox::activated), this, &TVelmWindow::WindowListChange);
    BitBtn1 = new QToolButton(SpeedPanel);
    BitBtn1->setText("Clear");
    connect(BitBtn1, &QToolButton::clicked, this, &TVelmWindow::BitBtn1Click);
    Fixed = new QLabel(SpeedPanel);
    Network = new QLabel(SpeedPanel);
    Floppy = new QLabel(SpeedPanel);
    Fixed->setPixmap(DrivePicture(Drive::Fixed));
    Network->setPixmap(DrivePicture(Drive::Network));
    Floppy->setPixmap(DrivePicture(Drive::Removable));
    for (QLabel* picture : {Fixed, Network, Floppy})
        picture->hide();
    Left = new QToolButton(SpeedPanel);
    Left->setArrowType(Qt::LeftArrow);
    Left->setToolTip("Move to Previous File");
    connect(Left, &QToolButton::clicked, this, &TVelmWindow::LeftClick);
    Right = new QToolButton(SpeedPanel);
    Right->setArrowType(Qt::RightArrow);
    Right->setToolTip("Move To Next File");
    connect(Right, &QToolButton::clicked, this, &TVelmWindow::RightClick);
    ComboBox2 = new QComboBox(SpeedPanel);
    ComboBox2->setEditable(true);
    ComboBox2->setInsertPolicy(QComboBox::NoInsert);
    ComboBox2->setToolTip("Select file specification");
    QStringList specs{"*.*", "*.bat", "*.bat", "*.bmp", "*.c", "*.cpp", "*.exe", "*.htm;*.html",
                      "*.ico", "*.pas", "*.rtf", "*.txt", "*.wmf"};
    specs.sort();
    ComboBox2->addItems(specs);
    ComboBox2->setCurrentText("*.*");
    connect(ComboBox2, &QComboBox::currentTextChanged, this, &TVelmWindow::ComboBox2Change);
    Panel7 = new QFrame(SpeedPanel);
    Panel7->setFixedSize(35, 20);
    Notebook2 = new QStackedWidget(Panel7);
    Notebook2->setGeometry(0, 0, 35, 20);
    const char* const hints[] = {"View/Print 1 Column wide", "View/Print 2 Columns wide",
                                 "View/Print 3 Columns wide", "View/Print 4 Columns wide"};
    for (int i = 0; i < 4; ++i) {
        Cols[i] = new QToolButton(Notebook2);
        Cols[i]->setObjectName(QString("Cols%1").arg(i + 1));
        Cols[i]->setIcon(ColumnsPicture(i + 1));
        Cols[i]->setIconSize(QSize(35, 20));
        Cols[i]->setAutoRaise(true);
        Cols[i]->setToolTip(hints[i]);
        connect(Cols[i], &QToolButton::clicked, this, &TVelmWindow::Cols1Click);
        Notebook2->addWidget(Cols[i]);
    }
    Preview = new QToolButton(SpeedPanel);
    Preview->setText("Preview");
    Preview->setToolTip("Drag a file onto button to view or Press button to View");
    Preview->setAcceptDrops(true);
    Preview->installEventFilter(this);
    connect(Preview, &QToolButton::clicked, this, &TVelmWindow::PreviewClick);
    Print = new QToolButton(SpeedPanel);
    Print->setText("Print");
    Print->setToolTip("Drag a file onto button to print or press button to print");
    Print->setAcceptDrops(true);
    Print->installEventFilter(this);
    connect(Print, &QToolButton::clicked, this, &TVelmWindow::PrintClick);
    for (QWidget* w : std::initializer_list<QWidget*>{WindowList, BitBtn1, Left, Right, ComboBox2, Panel7,
                                                        Preview, Print})
        row->addWidget(w);
    row->addStretch(1);
}

void TVelmWindow::CreateLeftSide()
{
    DirectoryListBox1 = new TFolderListView(this);
    DirectoryListBox1->setFixedWidth(113);
    connect(DirectoryListBox1, &TFolderListView::Changed, this, &TVelmWindow::DirectoryListBox1Change);
    FileList = new TFileListView(this);
    FileList->setFixedWidth(141);
    connect(FileList, &QListWidget::itemDoubleClicked, this, &TVelmWindow::FileListDblClick);
    connect(FileList, &QListWidget::currentRowChanged, this, &TVelmWindow::FileListChange);
    const auto bar = [this](const char* name) {
        auto* panel = new QFrame(this);
        panel->setObjectName(name);
        panel->setFixedWidth(3);
        panel->setFrameShape(QFrame::VLine);
        panel->setCursor(Qt::SplitHCursor);
        panel->installEventFilter(this);
        return panel;
    };
    Panel1 = bar("Panel1");
    Panel2 = bar("Panel2");
}

void TVelmWindow::CreateViewer()
{
    Notebook1 = new QStackedWidget(this);
    const auto plain = [this] {
        auto* editor = new QPlainTextEdit(Notebook1);
        editor->setLineWrapMode(QPlainTextEdit::NoWrap);
        editor->setFrameShape(QFrame::NoFrame);
        editor->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        editor->setFont(QFont("Courier New", 10));
        editor->viewport()->installEventFilter(this);
        editor->viewport()->setAcceptDrops(true);
        return editor;
    };
    MemoRich = plain();
    MemoHTML = plain();
    RichEdit2 = new QTextEdit(Notebook1);
    RichEdit2->setAcceptRichText(true);
    RichEdit2->setFrameShape(QFrame::NoFrame);
    RichEdit2->viewport()->installEventFilter(this);
    ImagePage = new QScrollArea(Notebook1);
    Image1 = new QLabel;
    Image1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ImagePage->setWidget(Image1);
    ImagePage->setWidgetResizable(true);
    ImagePage->viewport()->installEventFilter(this);
    ImagePage->viewport()->setAcceptDrops(true);
    Notebook1->addWidget(MemoRich);
    Notebook1->addWidget(MemoHTML);
    Notebook1->addWidget(RichEdit2);
    Notebook1->addWidget(ImagePage);
    TabSet1 = new QTabBar(this);
    TabSet1->setShape(QTabBar::RoundedSouth);
    // A click on the tab in front shows its page again (and its file name).
    connect(TabSet1, &QTabBar::tabBarClicked, this, [this](int index) {
        if (index >= 0 && index == TabSet1->currentIndex())
            ShowActivePage();
    });
    connect(TabSet1, &QTabBar::currentChanged, this, &TVelmWindow::TabSet1Change);
}

void TVelmWindow::CreateBottom()
{
    DriveTabSet = new QTabBar(this);
    DriveTabSet->setShape(QTabBar::RoundedSouth);
    DriveTabSet->setAutoFillBackground(true);
    DriveTabSet->setStyleSheet("QTabBar { background: #c0c0c0; }");
    DriveTabSet->setIconSize(QSize(16, 9));
    DriveTabSet->setExpanding(false);
    DriveTabSet->setDrawBase(false);
    connect(DriveTabSet, &QTabBar::tabBarClicked, this, &TVelmWindow::DriveTabSetClick);
    Label1 = new QLabel(this);
    Label1->setFixedWidth(320);
    Label2 = new QLabel(this);
    statusBar()->addWidget(Label1);
    statusBar()->addWidget(Label2, 1);
}

void TVelmWindow::CreateMenus()
{
    const auto item = [this](QMenu* menu, const char* caption, auto handler) {
        QAction* action = menu->addAction(caption);
        connect(action, &QAction::triggered, this, [this, handler] { Guarded([&] { handler(); }); });
        return action;
    };
    QMenu* file = menuBar()->addMenu("&File");
    OpenItem = item(file, "&Open", [this] { OpenItemClick(); });
    OpenItem->setShortcut(QKeySequence("Ctrl+O"));
    file->addSeparator();
    Save1 = item(file, "&Save", [this] { Save1Click(); });
    SaveAs1 = item(file, "Save As...", [this] { SaveAs1Click(); });
    file->addSeparator();
    PrintSetup1 = item(file, "Prin&t Setup...", [this] { PrintSetup1Click(); });
    QMenu* preview = file->addMenu("Print Pre&View");
    PrintPreView2 = preview->menuAction();
    TextPreview = item(preview, "&Text", [this] { TextPreviewClick(); });
    HTMLPreview = item(preview, "&HTML", [this] { HTMLPreviewClick(); });
    file->addSeparator();
    QMenu* oneSided = file->addMenu("&1 Sided Printing");
    OneSidedPrinting = oneSided->menuAction();
    OneSidedText = item(oneSided, "&Text", [this] { PrintSidedPage("ASCII", pAll); });
    OneSidedHTML = item(oneSided, "&HTML", [this] { PrintSidedPage("HTML", pAll); });
    QMenu* twoSided = file->addMenu("&2 Sided Printing");
    TwoSidedPrinting = twoSided->menuAction();
    QMenu* twoText = twoSided->addMenu("&Text");
    TwoSidedText = twoText->menuAction();
    TwoSidedTextOdd = item(twoText, "&Odd Pages", [this] { PrintSidedPage("ASCII", pOdd); });
    TwoSidedTextEven = item(twoText, "&Even Pages", [this] { PrintSidedPage("ASCII", pEven); });
    QMenu* twoHtml = twoSided->addMenu("&HTML");
    TwoSidedHTML = twoHtml->menuAction();
    TwoSidedHTMLOdd = item(twoHtml, "&Odd Pages", [this] { PrintSidedPage("HTML", pOdd); });
    TwoSidedHTMLEven = item(twoHtml, "&Even Pages", [this] { PrintSidedPage("HTML", pEven); });
    file->addSeparator();
    Exit1 = item(file, "E&xit", [this] { Exit1Click(); });

    QMenu* edit = menuBar()->addMenu("&Edit");
    Copy1 = item(edit, "&Copy", [this] { FileChange(Copy1); });
    Move1 = item(edit, "&Move", [this] { Move1Click(); });
    Delete1 = item(edit, "&Delete", [this] { Delete1Click(); });
    Delete1->setShortcut(QKeySequence(Qt::Key_Delete));
    // Del deletes a file only from the file list; in an editor it deletes text.
    Delete1->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    FileList->addAction(Delete1);
    Rename1 = item(edit, "&Rename", [this] { Rename1Click(); });

    QMenu* options = menuBar()->addMenu("&Options");
    // A checkable action toggles its own check mark when chosen.
    AutoView1 = options->addAction("&AutoView");
    AutoView1->setShortcut(QKeySequence(Qt::Key_F7));
    AutoView1->setCheckable(true);
    Font1 = item(options, "&Font", [this] { Font1Click(); });
    Refresh1 = item(options, "&Refresh", [this] { ReloadLists(); });
    Refresh1->setShortcut(QKeySequence(Qt::Key_F5));

    QMenu* help = menuBar()->addMenu("&Help");
    About2 = item(help, "&About...", [this] { About2Click(); });
}

void TVelmWindow::SetJobDesignValues()
{
    SetToolbarJobDesignValues(PrintFile1);
    PrintFile1.FrameStyleTop = frDoubleThickThin;
}

void TVelmWindow::FormCreate()
{
    FTextLoaded = FBitmapLoaded = false;
    FCurrentFile.clear();
    BuildDriveTabs();
    for (const char* name : PageNames)
        TabSet1->addTab(name);
    {
        const QSignalBlocker quiet(TabSet1);
        TabSet1->setCurrentIndex(2);
    }
    Notebook1->setCurrentIndex(2);
    SetRichToolBarEnabled(true);
    FAsciiFile.clear();
    FHtmlFile.clear();
    FRtfFile.clear();
    FBmpFile.clear();
    DirectoryListBox1->SetDirectory(currentDirectory());
    MarkEditorsUnmodified();
    UpdateStatus(true);
    MarkEditorsUnmodified();
}

void TVelmWindow::BuildDriveTabs()
{
    FDrives = mountedDrives();
    const std::string current = currentDirectory();
    int selected = -1;
    std::size_t longest = 0;
    for (const Drive& drive : FDrives) {
        const QLabel* picture = drive.kind == Drive::Removable ? Floppy : drive.kind == Drive::Network ? Network : Fixed;
        const int index = DriveTabSet->addTab(picture->pixmap(), QString::fromStdString(drive.mountPoint));
        const std::string& m = drive.mountPoint;
        const bool contains = current == m || current.rfind(m == "/" ? m : m + "/", 0) == 0;
        if (contains && m.size() >= longest) {
            longest = m.size();
            selected = index;
        }
    }
    if (selected >= 0)
        DriveTabSet->setCurrentIndex(selected);
}

void TVelmWindow::MarkEditorsUnmodified()
{
    MemoRich->document()->setModified(false);
    MemoHTML->document()->setModified(false);
    RichEdit2->document()->setModified(false);
}

// --- Folders, drives, pages --------------------------------------------------

void TVelmWindow::ComboBox2Change() { FileList->SetMask(ComboBox2->currentText().toStdString()); }

void TVelmWindow::DirectoryListBox1Change()
{
    FileList->SetDirectory(DirectoryListBox1->Directory());
    // Other programs change the folder too: the lists follow what is on disk.
    if (!FFolderWatcher->directories().isEmpty())
        FFolderWatcher->removePaths(FFolderWatcher->directories());
    FFolderWatcher->addPath(QString::fromStdString(DirectoryListBox1->Directory()));
}

void TVelmWindow::ReloadLists()
{
    // The folder list re-reads its sub-folders, and through its change the file list.
    if (!DirectoryListBox1->SetDirectory(DirectoryListBox1->Directory()))
        FileList->Update();
}

void TVelmWindow::DriveTabSetClick(int Index)
{
    if (Index < 0 || Index >= static_cast<int>(FDrives.size()))
        return;
    if (!DirectoryListBox1->SetDirectory(FDrives[static_cast<std::size_t>(Index)].mountPoint))
        ShowErrorBox("Cannot find directory " + FDrives[static_cast<std::size_t>(Index)].mountPoint);
    UpdateStatus(false);
}

void TVelmWindow::TabSet1Change(int Index)
{
    if (Index >= 0)
        ShowActivePage();
}

void TVelmWindow::ShowActivePage()
{
    const int index = TabSet1->currentIndex();
    Notebook1->setCurrentIndex(index);
    SetRichToolBarEnabled(false);
    const std::string* files[] = {&FAsciiFile, &FHtmlFile, &FRtfFile, &FBmpFile};
    Label2->setText(QString::fromStdString(*files[std::clamp(index, 0, 3)]));
    if (index == 2)
        SetRichToolBarEnabled(true);
    FCurrentFile = Label2->text().toStdString();
}

void TVelmWindow::UpdatePrintMenus()
{
    QAction* all[] = {PrintPreView2, TextPreview, HTMLPreview, OneSidedPrinting, OneSidedText, OneSidedHTML,
                      TwoSidedPrinting, TwoSidedText, TwoSidedTextOdd, TwoSidedTextEven, TwoSidedHTML,
                      TwoSidedHTMLOdd, TwoSidedHTMLEven};
    for (QAction* a : all)
        a->setEnabled(FTextLoaded);
    if (FBitmapLoaded) {
        PrintPreView2->setEnabled(true);
        OneSidedPrinting->setEnabled(true);
    }
    TabSet1->setCurrentIndex(Notebook1->currentIndex());
}

void TVelmWindow::UpdateStatus(bool PickColumns)
{
    const DiskSpace space = diskSpace(currentDirectory());
    Label1->setText(QString::fromStdString("  " + formatFixed(space.freeBytes / 1048576.0, 2) + " MB Free, " +
                                           formatFixed(space.totalBytes / 1048576.0, 2) + " MB Total"));
    if (PickColumns) {
        const int count = SettingsFile().readInteger("Velm", "ColCount", 0);
        if (count >= 0 && count <= 3)
            Notebook2->setCurrentIndex(count);
    }
}

void TVelmWindow::FormActivate()
{
    // Edits stay unsaved across activations: only saving, or the user's
    // word, marks an editor unmodified.
    UpdateStatus(false);
}

void TVelmWindow::Font1Click()
{
    bool ok = false;
    const QFont font = QFontDialog::getFont(&ok, MemoRich->font(), this, "Font",
                                            QFontDialog::DontUseNativeDialog);
    const QFont chosen = ok ? font : MemoRich->font();
    MemoRich->setFont(chosen);
    MemoHTML->setFont(chosen);
}

void TVelmWindow::PrintSetup1Click() { TPrinterSetupDialog(this).Execute(); }

void TVelmWindow::About2Click() { TAboutBox(this).exec(); }

void TVelmWindow::Exit1Click() { hide(); }

void TVelmWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    hide();
}

bool TVelmWindow::event(QEvent* e)
{
    if (e->type() == QEvent::WindowActivate)
        FormActivate();
    return QMainWindow::event(e);
}

} // namespace velm
