// TVelmWindow: the browser window. Drive tabs, a folder list and a file list
// on the left; on the right four viewer pages ("ASCII", "HTML", "RTF",
// "BMP") showing the chosen file. It keeps a history of opened files, prints
// and previews through its own job PrintFile1, saves the editors and runs
// the file commands of its Edit menu. Created once; closing only hides it.
#pragma once

#include "engine/PrnFile.h"
#include "platform/system/mounts.h"
#include "shell/BrowserDrag.h"
#include "shell/BrowserLists.h"
#include "shell/EditorLines.h"
#include "shell/SaveDialog.h"

#include <QLabel>
#include <QMainWindow>
#include <QToolButton>

#include <string>
#include <vector>

class QAction;
class QComboBox;
class QFileSystemWatcher;
class QFrame;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QScrollArea;
class QStackedWidget;
class QTabBar;
class QTextEdit;
class QTimer;
class QTextCharFormat;

namespace velm {

class TVelmWindow : public QMainWindow {
    Q_OBJECT
public:
    // Runs FormCreate.
    explicit TVelmWindow(QWidget* parent = nullptr);
    ~TVelmWindow() override;

    void OpenFile(const std::string& FileName, bool AddToHistory);
    static std::string ViewerPageFor(const std::string& FileName);
    // Before a file replaces an edited page: the user saves the edit (Save
    // As), drops it, or cancels the opening (false).
    bool CheckUnsavedChanges(const std::string& FileName);
    // Before the application ends: the same offer for every edited page.
    bool SaveOrDropEdits();
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
    // Re-reads the folder and file lists (F5, and changes on disk).
    void ReloadLists();
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
    // Save As for the page in front; false when nothing was saved.
    bool SaveAsPage();
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
    QAction* Refresh1;
    QAction* About2;

    TSaveDialog SaveDialog1;
    TPrintFile PrintFile1;
    // What the latest run of PrintFile1 did.
    const TJobOutcome& LastOutcome() const { return FLastOutcome; }

    std::string FCurrentFile;
    std::string FShownFile;
    std::string FAsciiFile, FHtmlFile, FRtfFile, FBmpFile;
    bool FTextLoaded = false;
    bool FBitmapLoaded = false;
    int FSplitX = -10;
    QWidget* FSplitControl = nullptr;
    std::vector<Drive> FDrives;

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
    bool OfferToSave(const std::string& Page, const QString& When);
    void LoadPicture(const std::string& FileName);
    void StepHistory(bool Forward);
    void RunJob(TInput Input);
    void ShowSplitLine(QWidget* Over, int X, bool Visible);
    void SetRichToolBarEnabled(bool Enabled);
    // Runs a command, showing a raised error in the standard error box.
    template <class F> void Guarded(F&& Command);

    TEditorLines FMemoLines;
    TEditorLines FHtmlLines;
    TJobOutcome FLastOutcome;
    QFrame* FSplitLine = nullptr;
    QFileSystemWatcher* FFolderWatcher = nullptr;
    QTimer* FReloadTimer = nullptr;
};

// The one browser window while it exists, else nullptr.
extern TVelmWindow* VelmWindow;

} // namespace velm
