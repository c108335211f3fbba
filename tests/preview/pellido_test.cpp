// The "Print Status" dialog on its own and driving real jobs: "&Abort"
// pressed while pages are formatted or printed.
#include "preview/Pellido.h"

#include "engine/Gdi.h"
#include "engine/PageOutput.h"
#include "engine/PrnFile.h"
#include "platform/printing/printer.h"
#include "preview/LoadText.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QKeyEvent>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

namespace velm {
namespace {

using testing::CurrentDir;
using testing::TempDir;
using testing::TestPrinter;

TEST(LoadText, GivesTheBuiltInTextForEveryCaption)
{
    for (int id = 20; id <= 44; ++id)
        EXPECT_EQ(LoadText(id, "built-in"), "built-in");
}

class PrintStatusDialog : public ::testing::Test {
protected:
    PrintStatusDialog() : printer_(out_.path()) {}
    TempDir out_;
    TestPrinter printer_;
};

TEST_F(PrintStatusDialog, ShowsItsCaptionsAndThePrinter)
{
    TPrintDialog1 dialog;
    dialog.Show();
    EXPECT_EQ(dialog.windowTitle(), "Print Status");
    EXPECT_EQ(dialog.size(), QSize(390, 289));
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(dialog.Label2->text(), "Formatting for");
    EXPECT_EQ(dialog.Label3->text(), "Page");
    EXPECT_EQ(dialog.Label1->text(), "Status");
    EXPECT_EQ(dialog.CancelBtn->text(), "&Abort");
    EXPECT_EQ(dialog.CancelBtn->geometry(), QRect(304, 234, 75, 33));
    EXPECT_EQ(dialog.ToPrinter->text().toStdString(), Printers::instance().selected().name());
    EXPECT_EQ(dialog.Status->text(), "Preparing Page");
    EXPECT_FALSE(dialog.Aborted());
    dialog.SetPage("7");
    EXPECT_EQ(dialog.Page->text(), "7");
}

TEST_F(PrintStatusDialog, EscCancelsTheOpenDocumentAtOnceAndActivationClearsTheFlag)
{
    auto document = Printers::instance().selected().beginDocument("cancelled");
    {
        TPrintDialog1 dialog;
        dialog.Show();
        dialog.SetPrintDocument(document.get());
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(&dialog, &esc);
        EXPECT_TRUE(dialog.Aborted());
        EXPECT_FALSE(document->isOpen());
        EXPECT_TRUE(dialog.isVisible()) << "the loop destroys the dialog, not the button";
        EXPECT_EQ(dialog.Status->text(), "Interrupted...Please Wait");

        QEvent activate(QEvent::WindowActivate);
        QCoreApplication::sendEvent(&dialog, &activate);
        EXPECT_FALSE(dialog.Aborted());
        EXPECT_EQ(dialog.Status->text(), "Preparing Page");
    }
    document.reset();
    EXPECT_TRUE(testing::filesIn(out_.path()).empty());
}

// A real job on a memo of many pages, with the desktop's dialog; `press`
// says when the user clicks "&Abort".
class AbortedJob : public ::testing::Test {
protected:
    using Moment = std::function<bool(const TPrintDialog1&)>;

    AbortedJob() : here_(job_.path()), printer_(out_.path()), saved_(ui())
    {
        ui().createStatus = [] { return std::make_unique<TPrintDialog1>(); };
        ui().processMessages = [] { QCoreApplication::processEvents(); };
        for (int i = 1; i <= 600; ++i)
            lines_.Lines.push_back("line " + std::to_string(i) + " of a memo long enough for a dozen sheets");
    }
    ~AbortedJob() override { ui() = saved_; }

    void RunPressing(const Moment& press)
    {
        QTimer watcher;
        watcher.setInterval(0);
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            auto* dialog = dynamic_cast<TPrintDialog1*>(PrintDialog1);
            if (dialog && !pressed_ && press(*dialog)) {
                pressed_ = true;
                dialog->CancelBtn->click(); // press and release, as the mouse does
            }
        });
        watcher.start();
        TPrintFile job;
        job.Input = frTMemo;
        job.Memo = &lines_;
        job.OutputTo = poPrinter;
        outcome_ = job.Execute();
    }

    TempDir job_;
    TempDir out_;
    CurrentDir here_;
    TestPrinter printer_;
    UserInterface saved_;
    TStringList lines_;
    bool pressed_ = false;
    TJobOutcome outcome_;
};

TEST_F(AbortedJob, AbortWhilePrintingDeliversNothingAndLeavesNoStoredPage)
{
    RunPressing([](const TPrintDialog1& d) { return d.Status->text() == "Printing..." && d.Page->text() == "2"; });
    ASSERT_TRUE(pressed_);
    EXPECT_EQ(outcome_.Status(), TJobStatus::Cancelled);
    EXPECT_TRUE(outcome_.Deliveries.empty());
    EXPECT_LE(outcome_.PagesPlayed, 3) << "the loop ends after the current page";
    EXPECT_TRUE(testing::filesIn(out_.path()).empty()) << "no PDF for an aborted document";
    EXPECT_EQ(StoredPageCount(), 0);
    EXPECT_EQ(PrintDialog1, nullptr);
}

TEST_F(AbortedJob, AbortWhileFormattingPrintsNothing)
{
    RunPressing([](const TPrintDialog1& d) { return d.Status->text() == "Preparing Page" && d.Page->text() == "2"; });
    ASSERT_TRUE(pressed_);
    EXPECT_EQ(outcome_.Status(), TJobStatus::Cancelled);
    EXPECT_TRUE(outcome_.Deliveries.empty());
    EXPECT_TRUE(testing::filesIn(out_.path()).empty());
    EXPECT_EQ(StoredPageCount(), 0);
}

} // namespace
} // namespace velm
