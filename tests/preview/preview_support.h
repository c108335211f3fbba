// Helpers of the preview tests: stored pages on disk, the settings the
// preview reads, captured error boxes, and a driver for modal dialogs.
#pragma once

#include "support/modal_watcher.h"
#include "support/test_printer.h"
#include "support/testing.h"

#include "engine/Gdi.h"
#include "platform/metafile/emf_recorder.h"
#include "platform/system/files.h"
#include "platform/printing/printer.h"
#include "platform/system/settings.h"
#include "preview/Cb_view.h"
#include "preview/Presenter.h"

#include <QApplication>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <tuple>
#include <vector>

namespace velm::testing {

inline void SetPrinterKey(const std::string& key, const std::string& value)
{
    SettingsFile().writeString("Printer", key, value);
}

// A fresh settings file: every key at its default.
inline void ResetSettings()
{
    std::filesystem::remove(settingsFolder() + "/Pellido.Ini");
}

// "PRN001.EMF", ...: the bare name of a stored page.
inline std::string StoredPageName(int n)
{
    char name[32];
    std::snprintf(name, sizeof name, "PRN%.3d.EMF", n);
    return name;
}

// A dense page as a job would store it: a frame, a header box, many lines
// of text and "Sheet <n>" in large print that tells the sheets apart.
inline void WriteStoredPage(const std::string& folder, int n, int width = 2400, int height = 3112)
{
    EmfRecorder page(PageGeometry{width, height, 300, 300});
    LogFont big;
    big.height = -height / 20;
    big.faceName = u"Arial";
    LogFont small;
    small.height = -height / 90;
    small.faceName = u"Times New Roman";
    LogPen pen;
    pen.width = std::max(1, width / 600);
    const GdiHandle framePen = page.createPen(pen);
    const GdiHandle grey = page.createBrush(LogBrush{BS_SOLID, rgb(200, 200, 200), 0});
    page.selectObject(framePen);
    page.rectangle(Rect{width / 12, height / 24, width - width / 12, height - height / 24});
    page.fillRect(Rect{width / 10, height / 16, width - width / 10, height / 8}, grey);
    page.setBkMode(TRANSPARENT);
    page.selectObject(page.createFont(big));
    const std::string title = "Sheet " + std::to_string(n);
    page.textOut(width / 8, height / 14, std::u16string(title.begin(), title.end()), {});
    page.selectObject(page.createFont(small));
    const std::u16string line = u"The quick brown fox jumps over the lazy dog 0123456789 again";
    for (int y = height / 6; y < height - height / 10; y += height / 80)
        page.textOut(width / 10, y, line, {});
    page.saveTo(joinPath(folder, StoredPageName(n)));
}

inline void WriteStoredPages(const std::string& folder, int count, int width = 2400, int height = 3112)
{
    for (int n = 1; n <= count; ++n)
        WriteStoredPage(folder, n, width, height);
}

// What a job leaves in the settings for the preview.
inline void DescribeStoredPages(const std::string& folder, int width = 2400, int height = 3112)
{
    SetPrinterKey("PageWidth", std::to_string(width));
    SetPrinterKey("PageHeight", std::to_string(height));
    SetPrinterKey("Directory", folder);
    SetPrinterKey("PrinterIndex", std::to_string(Printers::instance().printerIndex()));
}

// The messages the application's error box would have shown.
class CapturedErrors {
public:
    CapturedErrors() : previous_(ErrorBox())
    {
        ErrorBox() = [this](const std::string& message) { messages.push_back(message); };
    }
    ~CapturedErrors() { ErrorBox() = previous_; }
    CapturedErrors(const CapturedErrors&) = delete;
    CapturedErrors& operator=(const CapturedErrors&) = delete;
    std::vector<std::string> messages;

private:
    TErrorBox previous_;
};

// Runs the next step whenever a dialog of type Dialog is waiting for the
// user, as long as steps are left.
template <class Dialog>
class ModalDriver {
public:
    explicit ModalDriver(std::vector<std::function<void(Dialog&)>> steps) : steps_(std::move(steps)) {}
    bool finished() const { return next_ == steps_.size(); }

private:
    void Step(QWidget* w)
    {
        if (auto* dialog = qobject_cast<Dialog*>(w); dialog && !finished())
            steps_[next_++](*dialog);
    }

    std::vector<std::function<void(Dialog&)>> steps_;
    std::size_t next_ = 0;
    ModalWatcher watcher_{[this](QWidget* w) { Step(w); }};
};

// The PDFs a test printer wrote into folder, in the order written.
inline std::vector<std::string> PdfsInOrder(const std::string& folder)
{
    std::vector<std::filesystem::path> pdfs;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".pdf")
            pdfs.push_back(entry.path());
    // In the order written: by time, and within one clock tick by the
    // printer's numbering (velm-<time>.pdf, then -2, -3, ...).
    const auto order = [](const std::filesystem::path& p) {
        static const std::regex numbered("(velm-\\d+-\\d+)-(\\d+)");
        const std::string stem = p.stem().string();
        std::smatch m;
        const bool isNumbered = std::regex_match(stem, m, numbered);
        return std::make_tuple(std::filesystem::last_write_time(p), isNumbered ? m[1].str() : stem,
                               isNumbered ? std::stoi(m[2].str()) : 1);
    };
    std::sort(pdfs.begin(), pdfs.end(), [&](const auto& a, const auto& b) { return order(a) < order(b); });
    return {pdfs.begin(), pdfs.end()};
}

inline std::string PdfInfo(const std::string& pdf)
{
    std::string info;
    run("pdfinfo " + Quote(pdf), &info);
    return info;
}

// The sheets that reached the test printer: per PDF in the order written,
// the "Sheet <n>" numbers its pages show, or -1 for a page without one.
inline std::vector<std::vector<int>> PrintedSheets(const std::string& folder)
{
    std::vector<std::vector<int>> documents;
    for (const std::string& pdf : PdfsInOrder(folder)) {
        const std::string info = PdfInfo(pdf);
        std::smatch pagesMatch;
        const int pages = std::regex_search(info, pagesMatch, std::regex("Pages:\\s+(\\d+)"))
                              ? std::stoi(pagesMatch[1])
                              : 0;
        std::vector<int> sheets;
        for (int p = 1; p <= pages; ++p) {
            std::string text;
            run("pdftotext -f " + std::to_string(p) + " -l " + std::to_string(p) + " " + Quote(pdf) + " -",
                &text);
            std::smatch sheet;
            sheets.push_back(std::regex_search(text, sheet, std::regex("Sheet (\\d+)"))
                                 ? std::stoi(sheet[1])
                                 : -1);
        }
        documents.push_back(sheets);
    }
    return documents;
}

// PrintedSheets' answer: per document, the sheets it shows.
using Documents = std::vector<std::vector<int>>;

} // namespace velm::testing
