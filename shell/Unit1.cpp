#include "shell/Unit1.h"

#include "engine/HeaderFields.h"
#include "engine/JobFolder.h"
#include "engine/JobOutcome.h"
#include "engine/UserInterface.h"
#include "platform/system/display.h"
#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"
#include "preview/Presenter.h"
#include "preview/ScreenFit.h"
#include "platform/system/settings.h"
#include "shell/About.h"
#include "shell/JobDesign.h"
#include "shell/PrintNotice.h"
#include "shell/ToolbarGlyphs.h"
#include "shell/Unit2.h"
#include "shell/Unit4.h"
#include "shell/Velmwin.h"

#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <cctype>
#include <optional>

namespace velm {

TVelm* Velm = nullptr;
const char* const DefaultMonitorDir = "c:\\tmp";

namespace {

const char* const Section = "Velm";
constexpr int ButtonSize = 25;
constexpr int PanelBorder = 2;

std::string UpperCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

bool CanEnter(const std::string& folder)
{
    const QFileInfo info(QString::fromStdString(folder));
    return info.isDir() && info.isExecutable() && info.isReadable();
}

void ShowWarningBox(const std::string& text)
{
    ShowMessageBox(QMessageBox::Warning, QString::fromStdString(text));
}

// Names the monitor passes over: the old picture pages ("PRN" ... ".WMF")
// and the print engine's own stored pages (PRN001.EMF, ...), which another
// job may be writing into the watched folder at this moment.
bool IsPageImageName(const std::string& upperName)
{
    const auto dot = upperName.rfind('.');
    const std::string extension = dot == std::string::npos ? std::string() : upperName.substr(dot);
    if (upperName.size() > 3 && upperName.rfind("PRN", 0) == 0 && extension == ".WMF")
        return true;
    if (extension != ".EMF" || dot < 6 || upperName.rfind("PRN", 0) != 0)
        return false;
    return std::all_of(upperName.begin() + 3, upperName.begin() + static_cast<std::ptrdiff_t>(dot),
                       [](unsigned char c) { return std::isdigit(c) != 0; });
}

} // namespace

void SplitFileName(const std::string& Path, std::string& Folder, std::string& Name,
                   std::string& Extension)
{
    Extension.clear();
    Name.clear();
    Folder = Path;
    std::string::size_type dot = std::string::npos;
    for (auto i = Path.size(); i-- > 0;) {
        if (Path[i] == '.')
            dot = i;
        else if (Path[i] == '/') {
            if (dot != std::string::npos)
                Extension = Path.substr(dot + 1);
            Name = Path.substr(i + 1);
            Folder = Path.substr(0, i);
            return;
        }
    }
}

std::string MonitorFolderPath(const std::string& Setting)
{
    if (QString::fromStdString(Setting).compare(DefaultMonitorDir, Qt::CaseInsensitive) == 0)
        return QDir::home().filePath("tmp").toStdString();
    return Setting;
}

bool TFileListBox::Update()
{
    Items.clear();
    const QDir dir(QString::fromStdString(Directory));
    if (!CanEnter(Directory))
        return false;
    // Without QDir::Hidden and QDir::System, hidden files are never listed.
    for (const QString& entry : dir.entryList(QDir::Files, QDir::Name)) {
        const std::string name = entry.toStdString();
        const int attributes = fileAttributes(joinPath(Directory, name));
        if (attributes != faInvalid && (attributes & faArchive) != 0)
            Items.push_back(name);
    }
    return true;
}

// --- TPrinterSetupDialog ---------------------------------------------------

TPrinterSetupDialog::TPrinterSetupDialog(QWidget* parent) : QDialog(parent, DialogBorder)
{
    setWindowTitle("Printer Setup");
    PrinterBox = new QComboBox(this);
    auto* label = new QLabel("&Printer:", this);
    label->setBuddy(PrinterBox);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(PrinterBox);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

bool TPrinterSetupDialog::Execute()
{
    Printers& printers = Printers::instance();
    printers.refresh();
    PrinterBox->clear();
    for (const std::string& name : printers.names())
        PrinterBox->addItem(QString::fromStdString(name));
    const int index = printers.printerIndex();
    PrinterBox->setCurrentIndex(index < 0 ? printers.defaultIndex() : index);
    if (exec() != QDialog::Accepted || PrinterBox->currentIndex() < 0)
        return false;
    printers.setPrinterIndex(PrinterBox->currentIndex());
    return true;
}

// --- TVelm: the form -------------------------------------------------------

TVelm::TVelm(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setWindowTitle(ApplicationTitle());
    setAutoFillBackground(true);
    QPalette silver = palette();
    silver.setColor(QPalette::Window, QColor(0xC0, 0xC0, 0xC0));
    setPalette(silver);

    Panel1 = new QFrame(this);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(PanelBorder);
    Panel1->setGeometry(0, 0, 4 * ButtonSize + 2 * PanelBorder + 1, ButtonSize + 2 * PanelBorder);
    Panel1->setAutoFillBackground(true);
    QPalette aqua = Panel1->palette();
    aqua.setColor(QPalette::Window, QColor(0x00, 0xFF, 0xFF));
    Panel1->setPalette(aqua);
    BitBtn1 = NewButton(0, "drag", "Drag to another position");
    BitBtn2 = NewButton(1, "print", "Drag and Drop to print");
    BitBtn3 = NewButton(2, "view", "Drag and Drop to View");
    BitBtn4 = NewButton(3, "edit", "Drag and Drop to Edit");
    BitBtn1->installEventFilter(this);
    for (QToolButton* button : {BitBtn2, BitBtn3, BitBtn4})
        connect(button, &QToolButton::clicked, this, &TVelm::BitBtn2Click);

    CreateMenu();
    PrinterSetupDialog1 = new TPrinterSetupDialog(this);
    Timer1 = new QTimer(this);
    Timer1->setInterval(6000);
    connect(Timer1, &QTimer::timeout, this, &TVelm::Timer1Timer);
    SetJobDesignValues();
    FormCreate();
    // On top of every window, it would cover the caption and menus of one
    // that opens beneath it (a scaled screen leaves little room): they open
    // clear of it. Wayland keeps no window on top and places them itself.
    if (!OnWayland())
        KeepClearOf(this);
}

TVelm::~TVelm()
{
    if (Velm == this)
        Velm = nullptr;
}

QToolButton* TVelm::NewButton(int Index, const char* Glyph, const char* Hint)
{
    auto* button = new QToolButton(Panel1);
    button->setIcon(ToolbarGlyph(Glyph));
    button->setIconSize(QSize(21, 21));
    button->setToolTip(Hint);
    button->setGeometry(PanelBorder + Index * ButtonSize, PanelBorder, ButtonSize, ButtonSize);
    return button;
}

void TVelm::CreateMenu()
{
    PopupMenu1 = new QMenu(this);
    PopupMenu1->setToolTipsVisible(true);
    const auto item = [this](const char* caption, const char* hint, void (TVelm::*handler)()) {
        QAction* action = PopupMenu1->addAction(caption);
        if (*hint)
            action->setToolTip(hint);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    Configure = item("&Configure", "Configure Lantry 32", &TVelm::ConfigureClick);
    Window = item("&Window", "Open Lantry Window", &TVelm::WindowClick);
    N2 = PopupMenu1->addSeparator();
    PrintSetup = item("Printer &Setup", "", &TVelm::PrintSetupClick);
    N1 = PopupMenu1->addSeparator();
    CloseLantry = item("&Close", "Close Lantry", &TVelm::CloseLantryClick);
}

void TVelm::SetJobDesignValues() { SetToolbarJobDesignValues(PrintFile1); }

void TVelm::FormCreate()
{
    // The first placement reads X and Y and is the base of the first drag;
    // a position saved on a larger screen is clamped so the toolbar stays reachable.
    FGrabX = FGrabY = -1;
    {
        const SettingsFile ini;
        FLastX = ini.readInteger(Section, "X", 60);
        FLastY = ini.readInteger(Section, "Y", 2);
    }
    MoveToolbar(0, 0, false);
    ProcessMessages();
    setAcceptDrops(true);
    StartMonitor();
}

// --- Dragging the toolbar --------------------------------------------------

void TVelm::MoveToolbar(int DX, int DY, bool Final)
{
    const int w = Panel1->width();
    const int h = Panel1->height();
    setFixedSize(w, h);
    const DisplayMetrics screen = displayMetrics();
    const int x = std::clamp(FLastX + DX, 0, std::max(0, screen.widthPx - w));
    const int y = std::clamp(FLastY + DY, 0, std::max(0, screen.heightPx - h));
    move(x, y);
    FLastX = x;
    FLastY = y;
    if (Final && x != 0 && y != 0) {
        SettingsFile ini;
        ini.writeInteger(Section, "X", x);
        ini.writeInteger(Section, "Y", y);
    }
}

void TVelm::FormMouseDown(QPoint Pos)
{
    releaseMouse();
    // Under Wayland only the compositor moves windows: the drag is its own.
    if (OnWayland() && windowHandle() && windowHandle()->startSystemMove()) {
        FGrabX = FGrabY = -1;
        return;
    }
    FGrabX = Pos.x();
    FGrabY = Pos.y();
    if (isVisible())
        grabMouse();
    setCursor(Qt::SizeAllCursor);
}

void TVelm::FormMouseMove(QPoint Pos)
{
    if (FGrabX != -1)
        MoveToolbar(Pos.x() - FGrabX, Pos.y() - FGrabY, false);
}

void TVelm::FormMouseUp(QPoint Pos)
{
    releaseMouse();
    if (FGrabX == -1)
        return;
    if (std::abs(Pos.x() - FGrabX) > 5 || std::abs(Pos.y() - FGrabY) > 5)
        MoveToolbar(Pos.x() - FGrabX, Pos.y() - FGrabY, true);
    if (FLastX != 0 && FLastY != 0) {
        SettingsFile ini;
        ini.writeInteger(Section, "X", FLastX);
        ini.writeInteger(Section, "Y", FLastY);
    }
    FGrabX = FGrabY = -1;
}

void TVelm::mousePressEvent(QMouseEvent* event) { FormMouseDown(event->position().toPoint()); }
void TVelm::mouseMoveEvent(QMouseEvent* event) { FormMouseMove(event->position().toPoint()); }
void TVelm::mouseReleaseEvent(QMouseEvent* event) { FormMouseUp(event->position().toPoint()); }

bool TVelm::eventFilter(QObject* watched, QEvent* event)
{
    // The drag handle drags like the free parts of the form.
    if (watched == BitBtn1) {
        const auto type = event->type();
        if (type == QEvent::MouseButtonPress || type == QEvent::MouseMove
            || type == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QPoint pos = BitBtn1->mapTo(this, mouse->position().toPoint());
            if (type == QEvent::MouseButtonPress)
                FormMouseDown(pos);
            else if (type == QEvent::MouseMove)
                FormMouseMove(pos);
            else
                FormMouseUp(pos);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

// --- Menu and buttons ------------------------------------------------------

void TVelm::contextMenuEvent(QContextMenuEvent* event)
{
    // The menu swallows the button release, so the press must not leave a drag behind.
    releaseMouse();
    FGrabX = FGrabY = -1;
    PopupMenu1->exec(event->globalPos());
}

void TVelm::BitBtn2Click() { WindowClick(); }

void TVelm::ConfigureClick()
{
    Timer1->stop();
    if (ConfigureVelm)
        ConfigureVelm->exec();
    StartMonitor();
}

void TVelm::WindowClick()
{
    if (!VelmWindow) {
        ShowMessage("The browser window is not available yet");
        return;
    }
    VelmWindow->show();
    VelmWindow->raise();
    VelmWindow->activateWindow();
}

void TVelm::OpenInBrowser(const std::string& FileName)
{
    if (VelmWindow)
        VelmWindow->OpenFile(FileName, true);
    WindowClick();
}

void TVelm::PrintSetupClick() { PrinterSetupDialog1->Execute(); }

void TVelm::CloseLantryClick()
{
    if (VelmWindow && !VelmWindow->SaveOrDropEdits())
        return;
    Timer1->stop();
    close();
}

void TVelm::closeEvent(QCloseEvent* event)
{
    Timer1->stop();
    QWidget::closeEvent(event);
    emit Closed();
}

// --- Dropped files ---------------------------------------------------------

namespace {

// The local files a drop carries; empty when any of its URLs is not a
// local file (a web page, a remote share): such a drop is refused whole.
std::vector<std::string> DroppedFiles(const QMimeData* mime)
{
    std::vector<std::string> files;
    if (!mime || !mime->hasUrls())
        return files;
    for (const QUrl& url : mime->urls()) {
        if (!url.isLocalFile() || url.toLocalFile().isEmpty())
            return {};
        files.push_back(url.toLocalFile().toStdString());
    }
    return files;
}

// Printing reads the dropped files and leaves them where they are: the
// drop is always a copy, so no drag source deletes what it dragged.
void AnswerDrop(QDropEvent* event)
{
    if (DroppedFiles(event->mimeData()).empty() || !(event->possibleActions() & Qt::CopyAction)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

} // namespace

void TVelm::dragEnterEvent(QDragEnterEvent* event) { AnswerDrop(event); }

void TVelm::dragMoveEvent(QDragMoveEvent* event) { AnswerDrop(event); }

void TVelm::dropEvent(QDropEvent* event)
{
    AnswerDrop(event);
    if (!event->isAccepted())
        return;
    const std::vector<std::string> files = DroppedFiles(event->mimeData());
    // The file manager waits for the drop to finish; the jobs run after it.
    const QPoint point = event->position().toPoint();
    QMetaObject::invokeMethod(this, [this, files, point] { WMDropFiles(files, point); },
                              Qt::QueuedConnection);
}

void TVelm::WMDropFiles(const std::vector<std::string>& FileNames, QPoint DropPoint)
{
    const int w1 = BitBtn1->width(), w2 = BitBtn2->width(), w3 = BitBtn3->width();
    const int x = DropPoint.x();
    for (const std::string& file : FileNames) {
        try {
            if (x <= w1)
                continue;
            if (x <= w1 + w2)
                ProcessFile(file, "Print");
            else if (x <= w1 + w2 + w3)
                ProcessFile(file, "View");
            else
                OpenInBrowser(file);
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        }
    }
}

void TVelm::TakeHandedFile(const std::string& FileName, const std::string& Action)
{
    FHandedOver.emplace_back(FileName, Action);
    if (!FHandOverTimer) {
        // A box or window the user has open is answered first; the files wait.
        FHandOverTimer = new QTimer(this);
        FHandOverTimer->setInterval(250);
        connect(FHandOverTimer, &QTimer::timeout, this, [this] {
            if (Busy())
                return;
            FHandOverTimer->stop();
            while (!FHandedOver.empty()) {
                auto [file, action] = FHandedOver.front();
                FHandedOver.pop_front();
                try {
                    ProcessFile(file, action);
                } catch (const std::exception& e) {
                    ShowErrorBox(e.what());
                }
            }
        });
    }
    FHandOverTimer->start(Busy() ? 250 : 0);
}

// --- One file --------------------------------------------------------------

void TVelm::ProcessFile(const std::string& FileName, std::string Action)
{
    if (FJobDepth > 0) {
        // One job at a time on PrintFile1: this one follows when the open one ends.
        FPending.emplace_back(FileName, Action);
        return;
    }
    int colCount;
    bool monitorView, htmAsText, fullHtml, doubleSided, lineNumbers, highlight, formFeed;
    int tabSize;
    std::string headerFormat, footerFormat;
    {
        const SettingsFile ini;
        colCount = ini.readInteger(Section, "ColCount", 0);
        monitorView = ini.readBool(Section, "MonitorView", true);
        htmAsText = ini.readBool(Section, "HTMAsText", false);
        fullHtml = ini.readBool(Section, "FullHTML", false);
        doubleSided = ini.readBool(Section, "DoubleSided", false);
        lineNumbers = ini.readBool(Section, "LineNumbers", false);
        highlight = ini.readBool(Section, "Highlight", false);
        tabSize = ini.readInteger(Section, "TabSize", 0);
        formFeed = ini.readBool(Section, "FormFeed", false);
        headerFormat = ini.readString(Section, "HeaderFormat", "");
        footerFormat = ini.readString(Section, "FooterFormat", "");
    }
    if (Action == "Check")
        Action = monitorView ? "View" : "Print";
    const bool print = Action == "Print";
    PrintFile1.Filename = FileName;
    // The configured texts are formats; without one the path prints as it is.
    PrintFile1.HeaderFields = true;
    PrintFile1.HeaderStringCenter = headerFormat.empty() ? EscapeHeaderFields(FileName) : headerFormat;
    PrintFile1.FooterString = footerFormat.empty() ? "Page Footer" : footerFormat; // the design value
    PrintFile1.TabSize = tabSize >= 0 && tabSize <= TPrintFile::kMaxTabSize ? tabSize : 0;
    PrintFile1.FormFeeds = formFeed;
    PrintFile1.Input = frFile;
    PrintFile1.LineNumbers = lineNumbers;
    PrintFile1.Highlight = highlight;
    PrintFile1.OutputTo = poViewer;
    if (print) {
        PrintFile1.OutputTo = poPrinter;
        PrintFile1.PagesToPrint = doubleSided ? pOdd : pAll;
    }
    std::string folder, name, extension;
    SplitFileName(FileName, folder, name, extension);
    extension = UpperCase(extension);
    if (!htmAsText && (extension == "HTM" || extension == "HTML"))
        PrintFile1.Input = frHTML;
    PrintFile1.FullHtml = fullHtml;
    PrintFile1.HtmlTitleInHeader = fullHtml && headerFormat.empty();
    if (extension == "DBF" || extension == "DB") {
        PrintFile1.PagesToPrint = pAll;
        return;
    }
    static constexpr TPageLayout Layouts[] = {pl_1x1, pl_1x2, pl_1x3, pl_1x4};
    if (colCount >= 0 && colCount < 4)
        PrintFile1.PageLayout = Layouts[colCount];
    const TFont font = PrintFont();
    PrintFile1.ContentsFont.Name = font.Name;
    PrintFile1.ContentsFont.SetSize(font.Size());
    PrintFile1.ContentsFont.Color = font.Color;
    PrintFile1.ContentsFont.Style = font.Style;

    RunJob(extension, print, doubleSided);

    while (!FPending.empty()) {
        auto [file, action] = FPending.front();
        FPending.pop_front();
        try {
            ProcessFile(file, action);
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        }
    }
}

void TVelm::RunJob(const std::string& Extension, bool Print, bool DoubleSided)
{
    // The stored pages of this job live in a private folder of their own,
    // locked and marked as the command's are: a job clears the stored pages
    // where it formats, and the watched folder or the user's current folder
    // must never lose files to that; a later start removes the folder if
    // this process is killed outright.
    struct JobScope {
        TVelm& Toolbar;
        std::optional<PrivateFolder> Folder;
        std::string Previous = currentDirectory();
        explicit JobScope(TVelm& toolbar) : Toolbar(toolbar)
        {
            const std::string base = QDir::tempPath().toStdString();
            try {
                Folder.emplace(base);
            } catch (const FileError&) {
            }
            if (!Folder || !setCurrentDirectory(Folder->path()))
                throw FileError("Cannot create a folder for the stored pages in " + base);
            ++Toolbar.FJobDepth;
        }
        ~JobScope()
        {
            setCurrentDirectory(Previous);
            --Toolbar.FJobDepth;
            Toolbar.PrintFile1.PagesToPrint = pAll;
        }
    } scope(*this);

    // Every printing pass says where it went; an error ends the passes.
    TJobReport report{ShowErrorBox, {}};
    if (Print)
        report.Delivered = [this](const TDelivery& delivery) { TellWherePrinted(PrintFile1.Filename, delivery); };
    const auto execute = [this, &report] {
        return RunAndReport([this] { return PrintFile1.Execute(); }, report).Status() != TJobStatus::Failed;
    };
    if (Extension == "RTF" && Print) {
        PrintFile1.PagesToPrint = pAll;
        execute();
        return;
    }
    if (execute() && DoubleSided && Print) {
        PrintFile1.PagesToPrint = pEven;
        TDlgDoubleSided* pause = DlgDoubleSided;
        std::unique_ptr<TDlgDoubleSided> ownPause;
        if (!pause)
            pause = (ownPause = std::make_unique<TDlgDoubleSided>()).get();
        if (pause->exec() == QDialog::Accepted)
            execute();
    }
}

// --- The folder monitor ----------------------------------------------------

void TVelm::StartMonitor()
{
    Timer1->stop();
    SettingsFile ini;
    std::string folder = ini.readString(Section, "MonitorDir", DefaultMonitorDir);
    if (!CanEnter(MonitorFolderPath(folder))) {
        ShowWarningBox("Cannot find directory " + MonitorFolderPath(folder));
        QDir().mkpath(QString::fromStdString(MonitorFolderPath(DefaultMonitorDir)));
        ini.writeString(Section, "MonitorDir", DefaultMonitorDir);
        folder = ini.readString(Section, "MonitorDir", DefaultMonitorDir);
    }
    DirectoryListBox1.Directory = MonitorFolderPath(folder);
    FileListBox1.Directory = DirectoryListBox1.Directory;
    FFolderReported = false;
    MarkExistingFiles();
    if (ini.readBool(Section, "MonitorEnabled", true)) {
        Timer1->setInterval(MonitorInterval);
        Timer1->start();
    }
}

void TVelm::MarkExistingFiles()
{
    FileListBox1.Directory = DirectoryListBox1.Directory;
    FileListBox1.Update();
    for (const std::string& name : FileListBox1.Items)
        setFileAttributes(joinPath(FileListBox1.Directory, name), 0);
}

bool TVelm::Busy() const
{
    return FJobDepth > 0 || PrintDialog1 != nullptr || QApplication::activeModalWidget() != nullptr;
}

void TVelm::Timer1Timer()
{
    if (FTicking || Busy())
        return;
    FTicking = true;
    struct TickScope {
        bool& Flag;
        ~TickScope() { Flag = false; }
    } tick{FTicking};

    const bool lookedAtAll = HandleNewFiles();
    FWriteWatch.endLook();
    if (lookedAtAll)
        emit Ticked();
}

// Hands on every new file that its writer is done with; false when the
// folder could not be read or a window opened before the end of the list.
bool TVelm::HandleNewFiles()
{
    const std::string folder = DirectoryListBox1.Directory;
    FileListBox1.Directory = folder;
    if (!FileListBox1.Update()) {
        ReportWatchedFolder(folder);
        return false;
    }
    FFolderReported = false;
    const std::vector<std::string> names = FileListBox1.Items;
    for (const std::string& name : names) {
        // A box or window opened meanwhile: the rest keep their mark for a later tick.
        if (Busy())
            return false;
        const std::string path = joinPath(folder, name);
        const bool pageImage = IsPageImageName(UpperCase(name));
        // Still being written (or renamed away): handed on when complete.
        if (!pageImage && !FWriteWatch.done(path))
            continue;
        // Marked before it is handed on, so no later tick sees it again.
        setFileAttributes(path, 0);
        if (pageImage)
            continue;
        try {
            ProcessFile(path, "Check");
        } catch (const std::exception& e) {
            ShowErrorBox(e.what());
        }
        ProcessMessages();
    }
    return true;
}

void TVelm::ReportWatchedFolder(const std::string& Folder)
{
    // Once until the folder can be entered again, not in a new box every tick.
    if (FFolderReported)
        return;
    FFolderReported = true;
    ShowErrorBox("Cannot find directory " + Folder);
}

} // namespace velm
