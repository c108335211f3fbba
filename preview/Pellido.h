// TPrintDialog1: the "Print Status" dialog. It names the printer, shows the
// page in progress and a status line, and offers "&Abort". It never drives
// anything: the loops that show it write Page and Status and read Aborted().
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
    bool Aborted() const override { return FAborted; }
    // Not owned; "&Abort" cancels it at once while it is open.
    void SetPrintDocument(PrintDocument* document) override { FDocument = document; }

    // "&Abort" and Esc: cancels the open print document without ending it,
    // sets FAborted and says so in the status line. The dialog stays.
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
    // Every activation clears an abort request the loop has not seen yet.
    void FormActivate();
    void ShowSelectedPrinter();

    bool FAborted = false;
    PrintDocument* FDocument = nullptr;
};

} // namespace velm
