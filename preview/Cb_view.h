// TCB_Prev: the preview window. It shows the stored pages of one preview
// job one at a time at a chosen zoom, pages through them and prints them
// again (all, odd, even, the current page or a Print Options selection),
// each page a print document of its own. Its set-up is the stored job's:
// the "Printer" keys its run recorded.
#pragma once

#include "engine/StoredJob.h"

#include <QDialog>

#include <functional>
#include <string>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QScrollArea;
class QToolButton;

namespace velm {

class TDrawIt;

// The application's standard error box: a failed action's message in a
// modal box with one OK button. Replaceable, so that tests can read what
// the user would see.
using TErrorBox = std::function<void(const std::string& Message)>;
TErrorBox& ErrorBox();

class TCB_Prev : public QDialog {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TCB_Prev* Sender)>;

    // Builds the window hidden and runs FormCreate on the job's set-up. A
    // set-up value that does not convert is shown in the error box and the
    // set-up steps after it are skipped; the window still opens and closes
    // as usual. Throws when the page canvas cannot be built (see TDrawIt).
    explicit TCB_Prev(const TStoredJob& Job, QWidget* parent = nullptr);
    // The job the settings file describes now.
    explicit TCB_Prev(QWidget* parent = nullptr) : TCB_Prev(TStoredJob::FromSettings(), parent) {}
    ~TCB_Prev() override; // the canvas goes with it, and the stored pages

    void SetViewButton(const std::string& Caption, bool Visible);

    // Applies the selected zoom entry (none selected: the canvas keeps its
    // size) and fits the scroll area.
    void Zoomfinish();
    void SetScrollBars();

    void ZoomInClick();   // one preset smaller
    void ZoomOutClick();  // one preset larger
    void PrintPreviewClick();
    void PrintPreviewKeyPress();  // Enter: applies the typed percentage
    void PageNoKeyUp();           // Enter released: goes to the typed page
    void NextPageClick();
    void PrevPageClick();
    void ZoomChanged(int Percent, int Zero);

    void PrintClick();
    void OddClick();
    void EvenClick();
    void CurrentClick();
    void AdditionalClick(); // the Print Options loop
    void CloseButtonClick();

    double ZoomFactor() const { return FZoomFactor; }
    // Called with the window first and last by every print pass; none
    // after creation.
    void SetBeforePrint(TNotifyEvent Handler) { FBeforePrint = std::move(Handler); }
    void SetAfterPrint(TNotifyEvent Handler) { FAfterPrint = std::move(Handler); }

    QFrame* Panel1;
    QPushButton* CloseButton;
    QPushButton* Additional;
    QPushButton* Print;
    QPushButton* Odd;
    QPushButton* Even;
    QPushButton* Current;
    QFrame* Panel2;
    QToolButton* ZoomIn;
    QToolButton* ZoomOut;
    QComboBox* PrintPreview;
    QLabel* Page;
    QLineEdit* PageNo;
    QLabel* Label2;
    QLineEdit* PageTot;
    QToolButton* PrevPage;
    QToolButton* NextPage;
    QPushButton* myUDF;
    QScrollArea* ScrollBox1;
    TDrawIt* DrawIt1;

protected:
    bool event(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override; // Esc does nothing
    void reject() override; // the close box; refused during a pass

private:
    void FormCreate();
    void FormActivate();
    // The design captions (builtIn) or the run-time ones through LoadText.
    void SetCaptions(bool FromResources);
    void SelectEntry(int Index);
    void CallBefore();
    void CallAfter();
    // A print pass with the window's controls disabled, so that no second
    // pass or close can start inside the first.
    void PrintPass(const std::function<void()>& Pass);

    TStoredJob FJob;
    TNotifyEvent FBeforePrint;
    TNotifyEvent FAfterPrint;
    double FZoomFactor = 100.0;
    unsigned FBackground = 1234; // 0x00BBGGRR
    bool FPrinting = false;
    bool FActivated = false; // the first activation has shown page 1
    QWidget* FPageArea; // the scrolled area that holds the canvas
};

} // namespace velm
