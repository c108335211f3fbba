// TVelmWindow: the browser window. Drive tabs, a folder list and a file list
// on the left; on the right four viewer pages ("ASCII", "HTML", "RTF",
// "BMP") showing the chosen file. It keeps a history of opened files, prints
// and previews through its own job PrintFile1, saves the editors and runs
// the file commands of its Edit menu. Created once; closing only hides it.
#pragma once

#include "engine/PrnFile.h"

#include <QLabel>
#include <QListWidget>
#include <QMainWindow>
#include <QToolButton>

#include <string>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QLineEdit;
class QMenu;
class QMimeData;
class QPlainTextEdit;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QTextEdit;
class QTextCharFormat;

namespace velm {

class TVelmWindow;

// Whether the browser's print commands take a file as HTML: its name ends
// in ".HTM" or ".HTML", in any case.
bool IsHtmlFile(const std::string& FileName);

// What a drag of the browser carries: a split bar or a file-list item.
enum class TDragSource { None, Panel1, Panel2, FileItem };

// The data of a browser drag: a split bar, or a file-list item with its file.
QMimeData* BrowserDragData(TDragSource Source, const std::string& File = {});

// The lines of an editor as the print job reads them (frTMemo, frRichEdit):
// one line per paragraph, read from the editor at the time of the call.
class TEditorLines : public TLineSource {
public:
    explicit TEditorLines(const QPlainTextEdit* Plain) : FPlain(Plain) {}
    explicit TEditorLines(const QTextEdit* Rich) : FRich(Rich) {}
    int Count() const override;
    std::string Line(int index) const override;

private:
    const QPlainTextEdit* FPlain = nullptr;
    const QTextEdit* FRich = nullptr;
};

// A mounted file system as a drive tab shows it.
struct TDrive {
    enum Kind { Floppy, Fixed, Network };
    std::string MountPoint;
    Kind Type = Fixed;
};
// The mounted file systems a user keeps files on, pseudo file systems left out,
// from a mount table in the format of /proc/self/mounts. The root folder is
// always one of them, even where the table leaves it out (a chroot, a container).
std::vector<TDrive> MountedDrives(const std::string& mountTable = "/proc/self/mounts");

// The folder list: the current folder's ancestors, then its sub-folders.
// Activating an entry makes it the current folder.
class TFolderListView : public QListWidget {
    Q_OBJECT
public:
    explicit TFolderListView(TVelmWindow* Owner);
    const std::string& Directory() const { return FDirectory; }
    // False (nothing changes) when the folder cannot be read.
    bool SetDirectory(const std::string& Folder);

signals:
    void Changed();

protected:
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TVelmWindow* FOwner;
    std::string FDirectory;
};

// The file list: the regular files of a folder matching a mask (compared
// without regard to case, as the mask entries are written in lower case).
class TFileListView : public QListWidget {
    Q_OBJECT
public:
    explicit TFileListView(TVelmWindow* Owner);
    const std::string& Directory() const { return FDirectory; }
    void SetDirectory(const std::string& Folder);
    void SetMask(const std::string& Mask);
    // Full path of the selected file; empty when none is selected.
    std::string FileName() const;
    void Update();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    TVelmWindow* FOwner;
    std::string FDirectory;
    std::string FMask = "*.*";
    std::string FDragged;
    QPoint FPressPos;
};

// The save dialog: a filter in "Description|Pattern" form and a file name.
struct TSaveDialog {
    std::string Filter; // empty: no filter
    std::string FileName;
    bool Execute(QWidget* Parent);
};

class TVelmWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate.
    explicit TVelmWindow(QWidget* parent = nullptr);
    ~TVelmWindow() override;

    void OpenFile(const std::string& FileName, bool AddToHistory);
    static std::string ViewerPageFor(const std::string& FileName);
    void CheckUnsavedChanges(const std::string& FileName);
    void UpdatePrintMenus();
    void ShowActivePage();
    void UpdateStatus(bool PickColumns);
    int FindInHistory(const std::string& FileName) const;
    static bool SameFileGroup(const std::string& A, const std::string& B);
    bool TryHistoryEntry(const std::string& Extension, const std::string& Entry, int Index);

    // Event handlers.
    void FormActivate();
    void FileListDblClick();
    void FileListChange();
    void OpenItemClick();
    void WindowListChange(int Index);
    void BitBtn1Click();
    void LeftClick();
    void RightClick();
    void ComboBox2Change();
    void DirectoryListBox1Change();
    void DriveTabSetClick(int Index);
    void TabSet1Change(int Index);
    void Font1Click();
    void PrintSetup1Click();
    void About2Click();
    void Exit1Click();

    // Drag handlers: whether Source is accepted at client x, and the drop.
    bool DirectoryListBox1DragOver(TDragSource Source, int X);
    void DirectoryListBox1DragDrop(TDragSource Source, int X);
    bool FileListDragOver(TDragSource Source, int X);
    void FileListDragDrop(TDragSource Source, int X, const std::string& File);
    bool AllDragOver(QWidget* Over, TDragSource Source, int X);
    void AllDragDrop(TDragSource Source, int X, const std::string& File);
    void EndSplitLine();

    // Print commands.
    void ApplyColumns();
    void Cols1Click();
    void TextPreviewClick();
    void HTMLPreviewClick();
    void TakePageFile();
    void PreviewCurrent();
    void PrintCurrent();
    void PreviewClick();
    void PrintClick();
    void PrintSidedPage(const char* Page, TPagesToPrint Pages);
    void Save1Click();
    void SaveAs1Click();
    void PrintRichText(const std::string& Title);

    // Rich-text tool bar.
    void BoldButtonClick();
    void ItalicButtonClick();
    void UnderlineButtonClick();
    void FontNameChange();
    void FontSizeChange();
    void AlignButtonClick(QToolButton* Button);
    void UpDown1Click(int Step);
    // Applies Change to the selection, or to the attributes of text typed next.
    void CurrentTextAttributes(const QTextCharFormat& Change);

    // File commands of the Edit menu.
    void FileChange(QAction* Sender);
    void Move1Click();
    void Rename1Click();
    void Delete1Click();

    // The page in front, by name.
    std::string ActivePage() const;
    void SetActivePage(const std::string& Page);
    int ColumnPicture() const; // 1..4, the "Cols" page shown

    // Top bar.
    QWidget* SpeedPanel;
    QComboBox* WindowList;
    QToolButton* BitBtn1;
    QLabel* Fixed;
    QLabel* Network;
    QLabel* Floppy;
    QToolButton* Left;
    QToolButton* Right;
    QComboBox* ComboBox2;
    QFrame* Panel7;
    QStackedWidget* Notebook2;
    QToolButton* Cols[4];
    QToolButton* Preview;
    QToolButton* Print;

    // Left side.
    TFolderListView* DirectoryListBox1;
    QFrame* Panel1;
    TFileListView* FileList;
    QFrame* Panel2;

    // Viewer.
    QWidget* Panel3;
    QComboBox* FontName;
    QLineEdit* FontSize;
    QToolButton* UpDown1Up;
    QToolButton* UpDown1Down;
    QToolButton* LeftAlign;
    QToolButton* CenterAlign;
    QToolButton* RightAlign;
    QToolButton* BoldButton;
    QToolButton* ItalicButton;
    QToolButton* UnderlineButton;
    QStackedWidget* Notebook1;
    QPlainTextEdit* MemoRich;
    QPlainTextEdit* MemoHTML;
    QTextEdit* RichEdit2;
    QScrollArea* ImagePage;
    QLabel* Image1;
    QTabBar* TabSet1;

    // Bottom.
    QTabBar* DriveTabSet;
    QLabel* Label1;
    QLabel* Label2;

    // Menus.
    QAction* OpenItem;
    QAction* Save1;
    QAction* SaveAs1;
    QAction* PrintSetup1;
    QAction* PrintPreView2;
    QAction* TextPreview;
    QAction* HTMLPreview;
    QAction* OneSidedPrinting;
    QAction* OneSidedText;
    QAction* OneSidedHTML;
    QAction* TwoSidedPrinting;
    QAction* TwoSidedText;
    QAction* TwoSidedTextOdd;
    QAction* TwoSidedTextEven;
    QAction* TwoSidedHTML;
    QAction* TwoSidedHTMLOdd;
    QAction* TwoSidedHTMLEven;
    QAction* Exit1;
    QAction* Copy1;
    QAction* Move1;
    QAction* Delete1;
    QAction* Rename1;
    QAction* AutoView1;
    QAction* Font1;
    QAction* About2;

    TSaveDialog SaveDialog1;
    TPrintFile PrintFile1;

    std::string FCurrentFile;
    std::string FShownFile;
    std::string FAsciiFile, FHtmlFile, FRtfFile, FBmpFile;
    bool FTextLoaded = false;
    bool FBitmapLoaded = false;
    int FSplitX = -10;
    QWidget* FSplitControl = nullptr;
    std::vector<TDrive> FDrives;

protected:
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CreateTopBar();
    void CreateLeftSide();
    void CreateViewer();
    void CreateRichTextBar();
    void CreateBottom();
    void CreateMenus();
    void SetJobDesignValues();
    void BuildDriveTabs();
    void MarkEditorsUnmodified();
    void LoadPicture(const std::string& FileName);
    void StepHistory(bool Forward);
    void RunJob(TInput Input);
    void ShowSplitLine(QWidget* Over, int X, bool Visible);
    void SetRichToolBarEnabled(bool Enabled);
    // Runs a command, showing a raised error in the standard error box.
    template <class F> void Guarded(F&& Command);

    TEditorLines FMemoLines;
    TEditorLines FHtmlLines;
    QFrame* FSplitLine = nullptr;
};

// The one browser window while it exists, else nullptr.
extern TVelmWindow* VelmWindow;

} // namespace velm
