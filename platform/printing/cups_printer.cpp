// CUPS queues. Pages are drawn into a PDF file on the queue's paper (its
// media-default, or the user's media in lpoptions, with the printable area
// of that size from media-col-database), at the layout resolution, and
// submitted to the queue when the document ends with only what the user
// asked for: the queue's defaults and the user's lpoptions hold the rest.
// Qt's native CUPS engine is not used for documents: its abort() does
// nothing (the job is still submitted at the painter's end) and it drops
// the server's answer to the submission, so neither AbortDoc nor a failed
// delivery could be honoured. Qt still lists the queues.
#include "platform/printing/printer_internal.h"

#include "platform/core/errors.h"
#include "platform/system/files.h"
#include "platform/system/sockets.h"

#include <QPageLayout>
#include <QPageSize>
#include <QRect>
#include <QSizeF>

#include <cups/cups.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <set>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace velm::detail {
namespace {

// ---- where the CUPS client library would connect --------------------------

struct ServerAddress {
    std::string socketPath; // a local socket, or empty
    std::string host;
    int port = 631;
    std::string shown;      // for messages
};

std::string serverNameFrom(const std::string& clientConf)
{
    std::ifstream in(clientConf);
    std::string line;
    while (std::getline(in, line)) {
        std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        if (line.compare(start, 10, "ServerName") != 0)
            continue;
        std::size_t value = line.find_first_not_of(" \t", start + 10);
        if (value == std::string::npos)
            continue;
        std::size_t end = line.find_last_not_of(" \t\r");
        return line.substr(value, end + 1 - value);
    }
    return {};
}

ServerAddress serverAddress()
{
    std::string server;
    if (const char* env = std::getenv("CUPS_SERVER"); env && *env) {
        server = env;
    } else {
        if (const char* home = std::getenv("HOME"); home && *home)
            server = serverNameFrom(std::string(home) + "/.cups/client.conf");
        if (server.empty()) {
            const char* root = std::getenv("CUPS_SERVERROOT");
            server = serverNameFrom(std::string(root && *root ? root : "/etc/cups") + "/client.conf");
        }
    }
    ServerAddress a;
    if (const char* port = std::getenv("IPP_PORT"); port && std::atoi(port) > 0)
        a.port = std::atoi(port);
    if (server.empty()) {
        // The library's default: the local socket when there is one.
        for (const char* socket : {"/run/cups/cups.sock", "/var/run/cups/cups.sock"}) {
            if (::access(socket, F_OK) == 0) {
                a.socketPath = socket;
                a.shown = socket;
                return a;
            }
        }
        server = "localhost";
    }
    if (server[0] == '/') {
        a.socketPath = server;
        a.shown = server;
        return a;
    }
    if (std::size_t slash = server.find('/'); slash != std::string::npos)
        server.erase(slash); // "host/version=1.1"
    if (server[0] == '[') {
        std::size_t close = server.find(']');
        a.host = server.substr(1, close == std::string::npos ? std::string::npos : close - 1);
        if (close != std::string::npos && close + 1 < server.size() && server[close + 1] == ':')
            a.port = std::atoi(server.c_str() + close + 2);
    } else if (std::size_t colon = server.find(':');
               colon != std::string::npos && server.find(':', colon + 1) == std::string::npos) {
        a.host = server.substr(0, colon);
        a.port = std::atoi(server.c_str() + colon + 1);
    } else {
        a.host = server;
    }
    a.shown = a.host + ":" + std::to_string(a.port);
    return a;
}

// ---- the queue as the server and the user's lpoptions describe it ----------

struct DestinationFree {
    void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
};
struct InfoFree {
    void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
};

// The reason of the library's last failure, or what the caller supposes.
std::string lastCupsError(const char* otherwise)
{
    const char* reason = cupsLastErrorString();
    return reason && *reason ? reason : otherwise;
}

// A queue ("queue" or "queue/instance") with its lpoptions merged in, and
// what the server says it supports.
class Destination {
public:
    explicit Destination(const std::string& queue)
    {
        const std::size_t slash = queue.find('/');
        const std::string name = queue.substr(0, slash);
        const std::string instance = slash == std::string::npos ? "" : queue.substr(slash + 1);
        dest_.reset(cupsGetNamedDest(CUPS_HTTP_DEFAULT, name.c_str(), instance.empty() ? nullptr : instance.c_str()));
        if (!dest_)
            throw PrinterError(format("Cannot print on %s: the CUPS server does not know this queue", queue.c_str()));
        info_.reset(cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest_.get()));
        if (!info_)
            throw PrinterError(format("Cannot print on %s: %s", queue.c_str(),
                                      lastCupsError("the CUPS server does not describe this queue").c_str()));
    }

    // The paper by name with its printable area, as the queue lists it;
    // the user's media in lpoptions or the queue's media-default when name
    // is empty. False when the queue has no such paper.
    bool media(const std::string& name, cups_size_t& size) const
    {
        if (name.empty())
            return cupsGetDestMediaDefault(CUPS_HTTP_DEFAULT, dest_.get(), info_.get(), CUPS_MEDIA_FLAGS_DEFAULT,
                                           &size) != 0;
        return cupsGetDestMediaByName(CUPS_HTTP_DEFAULT, dest_.get(), info_.get(), name.c_str(),
                                      CUPS_MEDIA_FLAGS_DEFAULT, &size) != 0;
    }

    // The queue's media names ("iso_a4_210x297mm, na_letter_8.5x11in"),
    // without the library's mark of sizes printable to the edge.
    std::string mediaNames() const
    {
        std::string names;
        std::set<std::string> seen;
        const int count = cupsGetDestMediaCount(CUPS_HTTP_DEFAULT, dest_.get(), info_.get(), CUPS_MEDIA_FLAGS_DEFAULT);
        for (int i = 0; i < count; ++i) {
            cups_size_t size{};
            if (!cupsGetDestMediaByIndex(CUPS_HTTP_DEFAULT, dest_.get(), info_.get(), i, CUPS_MEDIA_FLAGS_DEFAULT,
                                         &size))
                continue;
            std::string name = size.media;
            if (name.ends_with("_borderless"))
                name.erase(name.size() - 11);
            if (seen.insert(name).second)
                names += (names.empty() ? "" : ", ") + name;
        }
        return names;
    }

    cups_dest_t* dest() const { return dest_.get(); }
    cups_dinfo_t* info() const { return info_.get(); }

private:
    std::unique_ptr<cups_dest_t, DestinationFree> dest_;
    std::unique_ptr<cups_dinfo_t, InfoFree> info_;
};

// What a job asks of the queue beyond the server's defaults: only what the
// user asked for, and the user's lpoptions for the rest, as lp sends them.
struct JobRequest {
    std::string title;     // job-name and document-name
    std::string media;     // a PWG name, empty: the queue's default
    int copies = 0;        // 0: the queue's default
};

class CupsOptionList {
public:
    ~CupsOptionList() { cupsFreeOptions(count_, options_); }
    void add(const std::string& name, const std::string& value)
    {
        count_ = cupsAddOption(name.c_str(), value.c_str(), count_, &options_);
    }
    // The destination's options (its lpoptions) that the job does not set.
    void addDefaults(const cups_dest_t& dest)
    {
        for (int i = 0; i < dest.num_options; ++i)
            if (!cupsGetOption(dest.options[i].name, count_, options_))
                add(dest.options[i].name, dest.options[i].value);
    }
    int count() const { return count_; }
    cups_option_t* options() const { return options_; }

private:
    int count_ = 0;
    cups_option_t* options_ = nullptr;
};

// Sends the file as one PDF document; returns the queue's job id.
int submit(const std::string& queue, const std::string& file, const JobRequest& request)
{
    std::string problem;
    if (!cupsServerReachable(&problem))
        throw PrinterError(format("Cannot print on %s: %s", queue.c_str(), problem.c_str()));
    const Destination destination(queue);
    const auto refused = [&](const char* otherwise) {
        return PrinterError(format("Cannot print on %s: %s", queue.c_str(), lastCupsError(otherwise).c_str()));
    };
    CupsOptionList options;
    if (!request.media.empty())
        options.add("media", request.media);
    if (request.copies > 0)
        options.add("copies", std::to_string(request.copies));
    options.addDefaults(*destination.dest());
    const std::string title = request.title.empty() ? "Velm" : request.title;
    int job = 0;
    if (cupsCreateDestJob(CUPS_HTTP_DEFAULT, destination.dest(), destination.info(), &job, title.c_str(),
                          options.count(), options.options())
            > IPP_STATUS_OK_CONFLICTING
        || job <= 0)
        throw refused("the CUPS server refused the job");
    std::ifstream in(file, std::ios::binary);
    bool sent = in
                && cupsStartDestDocument(CUPS_HTTP_DEFAULT, destination.dest(), destination.info(), job, title.c_str(),
                                         CUPS_FORMAT_PDF, 0, nullptr, 1)
                       == HTTP_STATUS_CONTINUE;
    char buffer[1 << 16];
    while (sent && in.read(buffer, sizeof buffer).gcount() > 0)
        sent = cupsWriteRequestData(CUPS_HTTP_DEFAULT, buffer, static_cast<std::size_t>(in.gcount()))
               == HTTP_STATUS_CONTINUE;
    sent = sent && !in.bad();
    // Finished even after a failure: the library's request must end before the next.
    const bool finished =
        cupsFinishDestDocument(CUPS_HTTP_DEFAULT, destination.dest(), destination.info()) <= IPP_STATUS_OK_CONFLICTING;
    if (!sent || !finished) {
        const PrinterError error = refused("the document did not reach the CUPS server");
        cupsCancelDestJob(CUPS_HTTP_DEFAULT, destination.dest(), job);
        throw error;
    }
    return job;
}

// A queue's paper and printable area as a page layout.
QPageLayout layoutOf(const cups_size_t& size, PaperOrientation orientation)
{
    const QPageSize page(QSizeF(size.width / 100.0, size.length / 100.0), QPageSize::Millimeter,
                         QString::fromUtf8(size.media), QPageSize::FuzzyMatch);
    const QMarginsF margins(size.left / 100.0, size.top / 100.0, size.right / 100.0, size.bottom / 100.0);
    return QPageLayout(page, orientation == PaperOrientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       margins, QPageLayout::Millimeter);
}

// The queue's paper when it lists none: the system's, with no margin.
cups_size_t systemMedia()
{
    const PaperSize& paper = systemPaper();
    cups_size_t size{};
    std::snprintf(size.media, sizeof size.media, "%s", paper.pwg);
    size.width = static_cast<int>(std::lround(paper.widthMm * 100));
    size.length = static_cast<int>(std::lround(paper.heightMm * 100));
    return size;
}

class CupsPrinter : public Printer {
public:
    explicit CupsPrinter(std::string name) : name_(std::move(name)) {}

    std::string name() const override { return name_; }

    PrinterCaps caps() const override
    {
        const QPageLayout l = layout();
        const QRect pixels = l.paintRectPixels(kLayoutDpi);
        const QRectF mm = l.paintRect(QPageLayout::Millimeter);
        PrinterCaps c;
        c.horzRes = pixels.width();
        c.vertRes = pixels.height();
        c.logPixelsX = c.logPixelsY = kLayoutDpi;
        c.horzSizeMm = static_cast<int>(std::lround(mm.width()));
        c.vertSizeMm = static_cast<int>(std::lround(mm.height()));
        c.marginBottom = std::max(0, l.fullRectPixels(kLayoutDpi).height() - pixels.bottom() - 1);
        return c;
    }

    PaperOrientation orientation() const override { return orientation_; }
    void setOrientation(PaperOrientation orientation) override { orientation_ = orientation; }

    void setPaper(const std::string& name) override
    {
        const PaperSize* known = findPaper(name);
        const std::string wanted = known ? known->pwg : name;
        const Destination destination = open();
        cups_size_t size{};
        if (!destination.media(wanted, size))
            throw PrinterError(format("%s has no paper '%s' (known: %s; the queue's: %s)", name_.c_str(), name.c_str(),
                                      knownPaperNames().c_str(), destination.mediaNames().c_str()));
        media_ = size;
        paper_ = wanted;
    }

    void setCopies(int copies) override { copies_ = copies; }

    std::unique_ptr<PrintDocument> beginDocument(const std::string& title) override;

private:
    // Asked every time: the server may have gone since the list was read.
    Destination open() const
    {
        std::string problem;
        if (!cupsServerReachable(&problem))
            throw PrinterError(format("Cannot print on %s: %s", name_.c_str(), problem.c_str()));
        return Destination(name_);
    }

    // The paper asked for, else the queue's default media, read once.
    const cups_size_t& media() const
    {
        if (!media_) {
            cups_size_t size{};
            media_ = open().media("", size) ? size : systemMedia();
        }
        return *media_;
    }

    QPageLayout layout() const { return layoutOf(media(), orientation_); }

    std::string name_;
    PaperOrientation orientation_ = PaperOrientation::Portrait;
    mutable std::optional<cups_size_t> media_;
    std::string paper_; // the media the user named, as the job asks for it
    int copies_ = 0;
    unsigned serial_ = 0;
};

// The PDF document of a queue, which knows the job id once the queue took it.
class CupsDocument : public PrintDocument {
public:
    CupsDocument(std::unique_ptr<PrintDocument> pdf, std::shared_ptr<std::string> jobId)
        : pdf_(std::move(pdf)), jobId_(std::move(jobId))
    {
    }
    PageDevice& device() override { return pdf_->device(); }
    void placePages(const PagePlacement& placement) override { pdf_->placePages(placement); }
    void newPage() override { pdf_->newPage(); }
    void end() override { pdf_->end(); }
    void abort() override { pdf_->abort(); }
    bool isOpen() const override { return pdf_->isOpen(); }
    int sheetCount() const override { return pdf_->sheetCount(); }
    std::string jobId() const override { return *jobId_; }

private:
    std::unique_ptr<PrintDocument> pdf_;
    std::shared_ptr<std::string> jobId_;
};

std::unique_ptr<PrintDocument> CupsPrinter::beginDocument(const std::string& title)
{
    std::string problem;
    if (!cupsServerReachable(&problem))
        throw PrinterError(format("Cannot print on %s: %s", name_.c_str(), problem.c_str()));
    const QPageLayout l = layout();
    PdfTarget target;
    std::error_code ec;
    std::string folder = std::filesystem::temp_directory_path(ec).string();
    if (ec || folder.empty())
        folder = "/tmp";
    const std::string stem = joinPath(folder, "velm-print-" + std::to_string(::getpid()) + "-");
    std::string path;
    if (!reserveNewFile(target, [&](int) { return stem + std::to_string(serial_++) + ".pdf"; }, 1000, &path,
                        &problem))
        throw PrinterError(format("Cannot print on %s: cannot create %s: %s", name_.c_str(), path.c_str(),
                                  problem.c_str()));
    target.failurePrefix = "Cannot print on " + name_;
    JobRequest request{title, paper_, copies_};
    auto jobId = std::make_shared<std::string>();
    target.deliver = [queue = name_, request, jobId](const std::string& file) {
        // An instance ("queue/instance") prints on its queue.
        *jobId = queue.substr(0, queue.find('/')) + "-" + std::to_string(submit(queue, file, request));
    };
    return std::make_unique<CupsDocument>(openPdfDocument(std::move(target), l, kLayoutDpi, kLayoutDpi, title),
                                          std::move(jobId));
}

} // namespace

CupsQueues cupsQueues()
{
    CupsQueues queues;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        const cups_dest_t& dest = dests[i];
        std::string name = dest.name;
        if (dest.instance)
            name += "/" + std::string(dest.instance);
        // A printer the server only found on the network, not a queue yet,
        // has no address of its own: it is not offered.
        else if (!cupsGetOption("printer-uri-supported", dest.num_options, dest.options))
            continue;
        if (dest.is_default)
            queues.defaultName = name;
        queues.names.push_back(std::move(name));
    }
    cupsFreeDests(count, dests);
    return queues;
}

bool cupsServerReachable(std::string* problem, int timeoutMs)
{
    const ServerAddress a = serverAddress();
    std::string lookup;
    const int error = !a.socketPath.empty() ? connectUnixWithin(a.socketPath, false, timeoutMs)
                                            : connectHostWithin(a.host, a.port, timeoutMs, &lookup);
    if (!lookup.empty()) {
        if (problem)
            *problem = format("the CUPS server %s cannot be found (%s)", a.shown.c_str(), lookup.c_str());
        return false;
    }
    if (error != 0 && problem)
        *problem = format("the CUPS server %s cannot be reached (%s)", a.shown.c_str(), std::strerror(error));
    return error == 0;
}

std::unique_ptr<Printer> makeCupsPrinter(const std::string& queueName)
{
    return std::make_unique<CupsPrinter>(queueName);
}

} // namespace velm::detail
