// The printer list: "Velm PDF" first, then the CUPS queues in the client
// library's order, then the test printers.
#include "platform/printing/printer.h"

#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/printing/printer_internal.h"

#include <algorithm>
#include <cstdlib>
#include <strings.h>
#include <optional>

namespace velm {

namespace {

constexpr const char* kBuiltInName = "Velm PDF";

std::string homeFolder()
{
    const char* home = std::getenv("HOME");
    return home && *home ? home : "/tmp";
}

constexpr PaperSize kPapers[] = {
    {"A3", "iso_a3_297x420mm", 297, 420},
    {"A4", "iso_a4_210x297mm", 210, 297},
    {"A5", "iso_a5_148x210mm", 148, 210},
    {"B5", "iso_b5_176x250mm", 176, 250},
    {"Letter", "na_letter_8.5x11in", 215.9, 279.4},
    {"Legal", "na_legal_8.5x14in", 215.9, 355.6},
    {"Tabloid", "na_ledger_11x17in", 279.4, 431.8},
};

} // namespace

const PaperSize* findPaper(const std::string& name)
{
    for (const PaperSize& paper : kPapers)
        if (::strcasecmp(name.c_str(), paper.name) == 0 || name == paper.pwg)
            return &paper;
    return nullptr;
}

void Printer::setPaper(const std::string& name)
{
    throw PrinterError(format("%s has only its own paper, not '%s'", this->name().c_str(), name.c_str()));
}

std::string knownPaperNames()
{
    std::string names;
    for (const PaperSize& paper : kPapers)
        names += (names.empty() ? "" : ", ") + std::string(paper.name);
    return names;
}

struct Printers::Impl {
    std::shared_ptr<Printer> builtIn;
    std::vector<std::shared_ptr<Printer>> queues;
    std::vector<std::shared_ptr<Printer>> added;
    // Printers that left the list stay alive: callers may still hold a
    // reference from at() or selected().
    std::vector<std::shared_ptr<Printer>> retired;
    bool loaded = false;
    std::string defaultQueue;
    std::string queueProblem;
    std::optional<std::string> pdfOutputFile;

    void load()
    {
        if (loaded)
            return;
        loaded = true;
        defaultQueue.clear();
        queueProblem.clear();
        std::vector<std::shared_ptr<Printer>> old = std::move(queues);
        queues.clear();
        // The client library would wait on its own timeouts when the server
        // is gone; ask it only when the server answers.
        if (!detail::cupsServerReachable(&queueProblem)) {
            retired.insert(retired.end(), old.begin(), old.end());
            return;
        }
        detail::CupsQueues listed = detail::cupsQueues();
        for (const std::string& name : listed.names) {
            std::shared_ptr<Printer> printer;
            for (auto& p : old)
                if (p && p->name() == name)
                    printer = std::move(p); // keeps its orientation
            queues.push_back(printer ? printer : std::shared_ptr<Printer>(detail::makeCupsPrinter(name)));
        }
        for (auto& p : old)
            if (p)
                retired.push_back(std::move(p));
        defaultQueue = std::move(listed.defaultName);
    }

    int count()
    {
        load();
        return 1 + static_cast<int>(queues.size() + added.size());
    }

    Printer* get(int index)
    {
        // The built-in printer is there whatever the server says: a job on
        // it never waits for the queue list.
        if (index == 0)
            return builtIn.get();
        load();
        std::size_t i = static_cast<std::size_t>(index - 1);
        if (i < queues.size())
            return queues[i].get();
        i -= queues.size();
        return i < added.size() ? added[i].get() : nullptr;
    }
};

Printers& Printers::instance()
{
    static Printers printers;
    return printers;
}

Printers::Printers() : impl_(std::make_shared<Impl>())
{
    impl_->builtIn = makeBuiltIn(std::nullopt, detail::kBuiltInMarginPx);
}

std::shared_ptr<Printer> Printers::makeBuiltIn(std::optional<PrinterCaps> portraitCaps, int marginPx)
{
    std::weak_ptr<Impl> impl = impl_;
    return detail::makePdfPrinter(kBuiltInName, portraitCaps, marginPx, "",
                                  [impl]() -> std::optional<std::string> {
                                      auto d = impl.lock();
                                      if (!d)
                                          return std::nullopt;
                                      std::optional<std::string> file = std::move(d->pdfOutputFile);
                                      d->pdfOutputFile.reset();
                                      return file;
                                  });
}

PrinterCaps Printers::builtInCaps() { return detail::builtInCaps(); }

int Printers::layoutDpi() { return detail::kLayoutDpi; }

void Printers::keepBuiltInOnly(const PrinterCaps& portraitCaps, int marginPx)
{
    impl_->retired.push_back(std::move(impl_->builtIn));
    impl_->builtIn = makeBuiltIn(portraitCaps, marginPx);
    impl_->retired.insert(impl_->retired.end(), impl_->queues.begin(), impl_->queues.end());
    impl_->queues.clear();
    impl_->defaultQueue.clear();
    impl_->loaded = true;
    index_ = -1;
}

std::vector<std::string> Printers::names()
{
    std::vector<std::string> result;
    const int n = impl_->count();
    for (int i = 0; i < n; ++i)
        result.push_back(impl_->get(i)->name());
    return result;
}

int Printers::count() { return impl_->count(); }

int Printers::defaultIndex()
{
    impl_->load();
    if (!impl_->defaultQueue.empty())
        for (std::size_t i = 0; i < impl_->queues.size(); ++i)
            if (impl_->queues[i]->name() == impl_->defaultQueue)
                return static_cast<int>(i) + 1;
    return 0;
}

void Printers::setPrinterIndex(int index)
{
    if (index < -1 || index >= count())
        throw PrinterError("Printer index out of range");
    index_ = index;
}

bool Printers::selectByName(const std::string& name)
{
    if (name == impl_->builtIn->name()) { // first in the list, whatever the queues are named
        index_ = 0;
        return true;
    }
    const int n = count();
    for (int i = 0; i < n; ++i) {
        if (impl_->get(i)->name() == name) {
            index_ = i;
            return true;
        }
    }
    return false;
}

Printer& Printers::selected()
{
    // A list that shrank since the selection falls back to the default.
    if (index_ != 0 && index_ >= count())
        index_ = -1;
    return at(index_);
}

Printer& Printers::at(int index)
{
    if (index == -1)
        index = defaultIndex();
    Printer* printer = index >= 0 ? impl_->get(index) : nullptr;
    if (!printer)
        throw PrinterError("Printer index out of range");
    return *printer;
}

int Printers::addPrinter(std::shared_ptr<Printer> printer)
{
    impl_->load();
    impl_->added.push_back(std::move(printer));
    return count() - 1;
}

void Printers::removePrinter(const Printer& printer)
{
    auto& added = impl_->added;
    const auto it = std::find_if(added.begin(), added.end(), [&](const auto& p) { return p.get() == &printer; });
    if (it == added.end())
        return;
    const int index = 1 + static_cast<int>(impl_->queues.size()) + static_cast<int>(it - added.begin());
    impl_->retired.push_back(std::move(*it));
    added.erase(it);
    if (index_ == index)
        index_ = -1;
    else if (index_ > index)
        --index_;
}

void Printers::refresh()
{
    const std::string selectedName = index_ >= 0 && index_ < count() ? impl_->get(index_)->name() : "";
    impl_->loaded = false;
    impl_->load();
    // The selection follows its printer to its new place.
    if (index_ >= 0 && !selectByName(selectedName))
        index_ = -1;
}

std::string Printers::queueProblem()
{
    impl_->load();
    return impl_->queueProblem;
}

std::string Printers::pdfFolder()
{
    if (const char* dir = std::getenv("VELM_PDF_DIR"); dir && *dir)
        return dir;
    return homeFolder() + "/PDF";
}

void Printers::setPdfOutputFile(const std::string& path)
{
    if (path.empty())
        impl_->pdfOutputFile.reset();
    else
        impl_->pdfOutputFile = path;
}

} // namespace velm
