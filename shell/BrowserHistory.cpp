// The history of opened files (WindowList) and the steps to the previous
// or next file of the same kind.
#include "shell/BrowserSupport.h"

#include <QComboBox>
#include <QLabel>

namespace velm {

int TVelmWindow::FindInHistory(const std::string& FileName) const
{
    return WindowList->findText(QString::fromStdString(FileName), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

bool TVelmWindow::SameFileGroup(const std::string& A, const std::string& B)
{
    if (A == B)
        return true;
    const auto group = [](const std::string& ext) {
        if (ext == ".BMP" || ext == ".WMF" || ext == ".ICO")
            return 1;
        if (ext == ".DBF" || ext == ".DB")
            return 2;
        if (ext == ".RTF")
            return 3;
        if (ext == ".HTM" || ext == ".HTML")
            return 4;
        return 0;
    };
    return group(A) == group(B);
}

bool TVelmWindow::TryHistoryEntry(const std::string& Extension, const std::string& Entry, int Index)
{
    if (Entry.empty() || !SameFileGroup(Extension, ExtensionOf(Entry)))
        return false;
    WindowList->setCurrentIndex(Index);
    OpenFile(Entry, false);
    return true;
}

void TVelmWindow::StepHistory(bool Forward)
{
    const std::string current = Label2->text().toStdString();
    const std::string ext = ExtensionOf(current);
    const int n = WindowList->count();
    const int i = FindInHistory(current);
    // Entries after (or before) the current one first, then round from the other end.
    for (int step = 1; step <= n; ++step) {
        const int index = i < 0 ? (Forward ? step - 1 : n - step) : ((i + (Forward ? step : -step)) % n + n) % n;
        if (index == i)
            break;
        if (TryHistoryEntry(ext, WindowList->itemText(index).toStdString(), index))
            return;
    }
}

void TVelmWindow::LeftClick() { StepHistory(false); }

void TVelmWindow::RightClick() { StepHistory(true); }

void TVelmWindow::WindowListChange(int Index)
{
    if (Index >= 0)
        OpenFile(WindowList->itemText(Index).toStdString(), false);
}

void TVelmWindow::BitBtn1Click()
{
    WindowList->clear();
    WindowList->setEditText({});
}

} // namespace velm
