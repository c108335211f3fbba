// Stored pages read back as a standard reader decodes them, for the engine's
// layout tests: text runs and lines in printer pixels.
#pragma once

#include "engine/Gdi.h"
#include "platform/core/codepage.h"
#include "platform/metafile/emf_reader.h"
#include "support/logging_device.h"
#include "support/played.h"

#include <gtest/gtest.h>

#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace velm::testing {

struct DecodedText {
    std::string text;  // shaped runs: the logical text their page names
    bool shaped = false;
    int x = 0;
    int y = 0;
    int width = 0;     // sum of the recorded advances
    LogFont font;
    ColorRef color = 0;
};

struct DecodedLine {
    int x1, y1, x2, y2;
    ColorRef color;
};

struct DecodedPage {
    std::shared_ptr<LoggingDevice> log = std::make_shared<LoggingDevice>();

    std::vector<DecodedText> texts() const
    {
        std::vector<DecodedText> out;
        for (const auto* call : log->callsOf("text")) {
            const TextRun& run = call->text;
            out.push_back({toUtf8(ShownText(run)), run.glyphIndex,
                           static_cast<int>(run.origin.x), static_cast<int>(run.origin.y),
                           static_cast<int>(std::accumulate(run.dx.begin(), run.dx.end(), 0.0)), run.font,
                           run.color});
        }
        return out;
    }
    // Runs of the contents font only (told apart by its height).
    std::vector<DecodedText> textsOfHeight(int height) const
    {
        std::vector<DecodedText> out;
        for (const DecodedText& t : texts())
            if (std::abs(t.font.height) == height)
                out.push_back(t);
        return out;
    }
    std::vector<DecodedLine> lines() const
    {
        std::vector<DecodedLine> out;
        for (const auto* call : log->callsOf("line"))
            out.push_back({static_cast<int>(call->numbers.at(0)), static_cast<int>(call->numbers.at(1)),
                           static_cast<int>(call->numbers.at(2)), static_cast<int>(call->numbers.at(3)),
                           call->pen.color});
        return out;
    }
    bool hasText(const std::string& text) const
    {
        for (const DecodedText& t : texts())
            if (t.text == text)
                return true;
        return false;
    }
};

inline DecodedPage DecodePage(const std::string& path)
{
    DecodedPage page;
    const EmfReader reader = EmfReader::fromFile(path);
    EXPECT_TRUE(reader.isValid()) << path << ": " << reader.problem();
    const EmfPlayResult result = reader.play(*page.log);
    EXPECT_TRUE(result.ok) << path << ": " << result.problem;
    return page;
}

// Every stored page of the current directory, in order.
inline std::vector<DecodedPage> DecodeStoredPages()
{
    std::vector<DecodedPage> pages;
    for (int n = 1; n <= StoredPageCount(); ++n)
        pages.push_back(DecodePage(PageFileName(n)));
    return pages;
}

} // namespace velm::testing

#include "engine/PrnFile.h"
#include "engine/UserInterface.h"
#include "support/test_printer.h"
#include "support/testing.h"

namespace velm::testing {

// A job run on the 600-dpi, 4800 x 6600 test printer in a folder of its
// own, with a presenter that records messages and status pages and, for
// preview runs, decodes the stored pages the preview would show.
class JobHarness {
    // First, so that the job is created on the test printer.
    TempDir dir_;
    CurrentDir here_;
    TestPrinter printer_;
    UserInterface saved_;

public:
    explicit JobHarness(const std::string& printerName = "Velm Test 600")
        : here_(dir_.path()), printer_(dir_.file("out"), 4800, 6600, 600, printerName), saved_(ui())
    {
        UserInterface& face = ui();
        face.createStatus = [this]() -> std::unique_ptr<TPrintStatus> {
            ++statusCreated;
            return std::make_unique<Status>(*this);
        };
        face.showMessage = [this](const std::string& text) { messages.push_back(text); };
        face.processMessages = [] {};
        face.showPreview = [this](TPrintFile&, TJobOutcome&) {
            ++previews;
            pages = DecodeStoredPages();
            DeletePageFiles();
        };
        job.OutputTo = poViewer;
    }
    ~JobHarness() { ui() = saved_; }
    JobHarness(const JobHarness&) = delete;
    JobHarness& operator=(const JobHarness&) = delete;

    // Formats `bytes` as a text file and returns the decoded sheets.
    const std::vector<DecodedPage>& Run(const std::string& bytes, TInput input = frFile)
    {
        dir_.write("input.txt", bytes);
        job.Input = input;
        job.Filename = dir_.file("input.txt");
        outcome = job.Execute();
        return pages;
    }

    const TempDir& dir() const { return dir_; }

    TPrintFile job;
    TJobOutcome outcome; // of the latest Run
    std::vector<DecodedPage> pages;
    std::vector<std::string> messages;
    std::vector<std::string> statusPages; // what the loop wrote into the Page box
    int statusCreated = 0;
    int statusAlive = 0;
    int previews = 0;
    int abortAfterSheet = 0; // "&Abort" is pressed when the loop reaches this sheet

private:
    class Status : public TPrintStatus {
    public:
        explicit Status(JobHarness& h) : h_(h) { ++h_.statusAlive; }
        ~Status() override { --h_.statusAlive; }
        void Show() override {}
        void SetPage(const std::string& text) override
        {
            h_.statusPages.push_back(text);
            if (h_.abortAfterSheet > 0 && static_cast<int>(h_.statusPages.size()) >= h_.abortAfterSheet)
                cancel_.Set();
        }
        void SetStatus(const std::string&) override {}
        void SetCancelFlag(const TCancelFlag& flag) override { cancel_ = flag; }
        void SetPrintDocument(PrintDocument*) override {}

    private:
        JobHarness& h_;
        TCancelFlag cancel_;
    };
};

// "line 1" CR LF "line 2" CR LF ...
inline std::string NumberedLines(int count, const std::string& prefix = "line ")
{
    std::string text;
    for (int i = 1; i <= count; ++i)
        text += prefix + std::to_string(i) + "\r\n";
    return text;
}

} // namespace velm::testing
