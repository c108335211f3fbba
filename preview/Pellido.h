// TPrintDialog1: the "Print Status" dialog. It names the printer, shows the
// page in progress and a status line, and offers "&Abort". It never drives
// anything: the loops that show it write Page and Status, and look at the
// cancel flag its "&Abort" sets.
#pragma once

#include "engine/UserInterface.h"

#include <QDialog>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace velm {

class TPrintDialog1 : public QDialog, public TPrintStatus {
    Q_OBJECT
public:
    explicit TPrintDialog1(QWidget* parent = nullptr);

    // TPrintStatus
    void Show() override;
    void SetPage(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void SetCancelFlag(const TCancelFlag& flag) override { FAborted = flag; }
    // The flag "&Abort" sets, as its loop sees it.
    bool Aborted() const { return FAborted.IsSet(); }
    // Not owned; "&Abort" cancels it at once while it is open.
    void SetPrintDocument(PrintDocument* document) override { FDocument = document; }

    // "&Abort" and Esc: cancels the open print document without ending it,
    // sets the run's cancel flag and says so in the status line. The
    // dialog stays.
    void CancelBtnClick();

    QFrame* Bevel1;
    QLabel* Label2;
    QLineEdit* ToPrinter;
    QLabel* Label3;
    QLineEdit* Page;
    QLabel* Label1;
    QLineEdit* Status;
    QPushButton* CancelBtn;

protected:
    bool event(QEvent* e) override;
    void reject() override; // Esc

private:
    void FormCreate();
    // Every activation withdraws an abort request the loop has not seen yet.
    void FormActivate();
    void ShowSelectedPrinter();

    TCancelFlag FAborted; // the run's, once its loop gives it
    PrintDocument* FDocument = nullptr;
};

} // namespace velm
