// Helpers for the shell's tests: a fresh settings file and home folder per
// test, the preview and message hooks recorded, and modal windows answered
// the way a user would.
#pragma once

#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "platform/system/files.h"
#include "platform/system/settings.h"
#include "support/modal_watcher.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include <QApplication>
#include <QDialog>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QUrl>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace velm::testing {

// Answers every modal window that opens while it lives, once it is ready for
// a user: records its title (a message box: its text) and runs the action on
// it (default: accept).
class ModalAnswerer {
public:
    using Action = std::function<void(QWidget*)>;
    explicit ModalAnswerer(Action action = Accept) : action_(std::move(action)) {}
    static void Accept(QWidget* w)
    {
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->accept();
    }
    static void Reject(QWidget* w)
    {
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
    }
    std::vector<std::string> Seen;

private:
    void Answer(QWidget* w)
    {
        auto* box = qobject_cast<QMessageBox*>(w);
        Seen.push_back((box ? box->text() : w->windowTitle()).toStdString());
        action_(w);
    }
    Action action_;
    ModalWatcher watcher_{[this](QWidget* w) { Answer(w); }};
};

struct PreviewSeen {
    std::string Filename;
    TInput Input;
    TPageLayout Layout;
    TFont Font;
    std::string Folder; // where its stored pages were
};

// Base fixture: an empty settings file, HOME in a temporary folder (so the
// fallback watched folder ~/tmp is private), a watched folder, previews and
// messages recorded instead of shown.
class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::remove(SettingsFile().path().c_str());
        previousHome_ = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", home.path().c_str(), 1);
        Set("MonitorDir", watched.path());
        ui().showPreview = [this](TPrintFile& job, TJobOutcome&) {
            Previews.push_back({job.Filename, job.Input, job.PageLayout, job.ContentsFont, currentDirectory()});
            if (OnPreview)
                OnPreview(job);
        };
        ui().showMessage = [this](const std::string& text) { Messages.push_back(text); };
    }
    void TearDown() override { setenv("HOME", previousHome_.c_str(), 1); }

    static void Set(const std::string& key, const std::string& value)
    {
        SettingsFile().writeString("Velm", key, value);
    }
    static std::string Get(const std::string& key)
    {
        return SettingsFile().readString("Velm", key, "<missing>");
    }

    TempDir home;
    TempDir watched;
    std::vector<PreviewSeen> Previews;
    std::vector<std::string> Messages;
    std::function<void(TPrintFile&)> OnPreview;

private:
    std::string previousHome_;
};

// Drops files on a widget at client point (x, y) as a file manager would,
// and lets the queued handling run.
inline void DropFiles(QWidget& target, const std::vector<std::string>& paths, int x, int y = 12)
{
    QMimeData mime;
    QList<QUrl> urls;
    for (const std::string& p : paths)
        urls << QUrl::fromLocalFile(QString::fromStdString(p));
    mime.setUrls(urls);
    QDragEnterEvent enter(QPoint(x, y), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QDropEvent drop(QPointF(x, y), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &drop);
    EXPECT_TRUE(enter.isAccepted() && drop.isAccepted());
    QCoreApplication::processEvents();
}

// Sheets of a PDF, by pdfinfo.
inline int PdfPages(const std::string& pdf)
{
    std::string out;
    run("pdfinfo '" + pdf + "' 2>/dev/null", &out);
    const auto at = out.find("Pages:");
    return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + 6);
}

inline std::string PdfText(const std::string& pdf)
{
    std::string out;
    run("pdftotext -layout '" + pdf + "' - 2>/dev/null", &out);
    return out;
}

// Lines "line 1" ... "line n".
inline std::string NumberedLines(int n, const std::string& prefix = "line")
{
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += prefix + " " + std::to_string(i) + "\n";
    return text;
}

// Lines of about 80 characters, numbered, for files that fill several sheets.
inline std::string LongLines(int n, const std::string& prefix = "line")
{
    std::string text;
    for (int i = 1; i <= n; ++i)
        text += prefix + " " + std::to_string(i)
                + " the quick brown fox jumps over the lazy dog and keeps running on\n";
    return text;
}

} // namespace velm::testing
