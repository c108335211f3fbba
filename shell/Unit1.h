// TVelm: the drop toolbar, the application's main form, and the folder
// monitor that lives in it. Every dropped and every monitored file goes
// through the one job PrintFile1, configured afresh by ProcessFile.
#pragma once

#include "engine/PrnFile.h"
#include "platform/system/files.h"

#include <QDialog>
#include <QWidget>

#include <deque>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QComboBox;
class QFrame;
class QMenu;
class QTimer;
class QToolButton;

namespace velm {

// Splits Path at its last "/": Folder before it, Name after it, Extension
// after the first dot of Name. Without a "/" Name and Extension are empty
// and Folder is Path.
void SplitFileName(const std::string& Path, std::string& Folder, std::string& Name,
                   std::string& Extension);

// The default MonitorDir text; it stands for the folder tmp in the home folder.
extern const char* const DefaultMonitorDir;
// The folder a MonitorDir text names ("c:\tmp" is ~/tmp).
std::string MonitorFolderPath(const std::string& Setting);

// The watched folder (the hidden directory list of the toolbar).
struct TDirectoryList {
    std::string Directory;
};

// The watched folder's files that carry the archive attribute: regular
// files, not hidden, in name order (the hidden file list of the toolbar).
struct TFileListBox {
    std::string Directory;
    std::vector<std::string> Items;
    // Re-reads Items from Directory; false (Items empty) when it cannot be read.
    bool Update();
};

// "Printer &Setup": chooses the printer that jobs use.
class TPrinterSetupDialog : public QDialog {
    Q_OBJECT
public:
    explicit TPrinterSetupDialog(QWidget* parent = nullptr);
    // Shows the printers with the selected one current; OK selects the choice.
    bool Execute();
    QComboBox* PrinterBox;
};

class TVelm : public QWidget {
    Q_OBJECT
public:
    // Runs FormCreate: placed at the stored position, a drop target, the
    // monitor started.
    explicit TVelm(QWidget* parent = nullptr);
    ~TVelm() override;

    // Routes dropped files by the drop point's x (client coordinates):
    // drag handle ignored, then print, view and edit buttons.
    void WMDropFiles(const std::vector<std::string>& FileNames, QPoint DropPoint);
    // Action "Print", "View" or "Check" (a monitored file). Runs in a private
    // folder of its own, so stored pages never land where files are watched
    // or kept; a call made while a job runs is queued and runs after it.
    void ProcessFile(const std::string& FileName, std::string Action);
    // A file another start of velm handed over (Action "View" or "Print"):
    // run as a dropped file is, once no job or modal window is open.
    void TakeHandedFile(const std::string& FileName, const std::string& Action);
    void MoveToolbar(int DX, int DY, bool Final);
    void StartMonitor();
    void MarkExistingFiles();
    // One tick. It starts nothing while a job, a print loop or a modal window
    // is open, and leaves a file that is still being written: such files keep
    // their archive attribute and wait for a later tick.
    void Timer1Timer();

    void FormMouseDown(QPoint Pos);
    void FormMouseMove(QPoint Pos);
    void FormMouseUp(QPoint Pos);
    void BitBtn2Click();
    void ConfigureClick();
    void WindowClick();
    void PrintSetupClick();
    void CloseLantryClick();

    // True while a job of the toolbar, a print loop or a modal window is open.
    bool Busy() const;

    // Milliseconds between ticks; tests shorten it before the toolbar starts.
    static inline int MonitorInterval = 5000;

    QMenu* PopupMenu1;
    QAction* Configure;
    QAction* Window;
    QAction* N2;
    QAction* PrintSetup;
    QAction* N1;
    QAction* CloseLantry;
    TPrinterSetupDialog* PrinterSetupDialog1;
    QTimer* Timer1;
    TDirectoryList DirectoryListBox1;
    TFileListBox FileListBox1;
    QFrame* Panel1;
    QToolButton* BitBtn1;
    QToolButton* BitBtn2;
    QToolButton* BitBtn3;
    QToolButton* BitBtn4;
    TPrintFile PrintFile1;

signals:
    // The toolbar was closed: the application ends.
    void Closed();
    // A tick looked at every new file of the watched folder.
    void Ticked();

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void FormCreate();
    void CreateMenu();
    QToolButton* NewButton(int Index, const char* Glyph, const char* Hint);
    void SetJobDesignValues();
    void RunJob(const std::string& Extension, bool Print, bool DoubleSided);
    void OpenInBrowser(const std::string& FileName);
    void ReportWatchedFolder(const std::string& Folder);
    bool HandleNewFiles();

    int FGrabX = -1, FGrabY = -1;
    int FLastX = 0, FLastY = 0;
    int FJobDepth = 0;
    bool FTicking = false;
    bool FFolderReported = false;
    WriteWatch FWriteWatch;
    std::deque<std::pair<std::string, std::string>> FPending;
    std::deque<std::pair<std::string, std::string>> FHandedOver;
    QTimer* FHandOverTimer = nullptr;
};

// The toolbar while it exists, else nullptr.
extern TVelm* Velm;

} // namespace velm
