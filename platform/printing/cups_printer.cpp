// CUPS queues. Pages are drawn into a PDF file with the queue's own page
// layout, at the layout resolution, and submitted to the queue when the document ends.
// Qt's native CUPS engine is not used for documents: its abort() does
// nothing (the job is still submitted at the painter's end) and it drops
// the server's answer to the submission, so neither AbortDoc nor a failed
// delivery could be honoured. Qt still reports the queues and their
// geometry (PPD page size and margins).
#include "platform/printing/printer_internal.h"

#include "platform/core/errors.h"
#include "platform/system/files.h"

#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
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

// 0 on success, else the errno of the failure (ETIMEDOUT after timeoutMs).
int connectWithin(int family, const sockaddr* address, socklen_t length, int timeoutMs)
{
    int fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return errno;
    int result = 0;
    if (::connect(fd, address, length) != 0) {
        if (errno != EINPROGRESS) {
            result = errno;
        } else {
            pollfd p{fd, POLLOUT, 0};
            int n;
            do
                n = ::poll(&p, 1, timeoutMs);
            while (n < 0 && errno == EINTR);
            if (n == 0) {
                result = ETIMEDOUT;
            } else if (n < 0) {
                result = errno;
            } else {
                int error = 0;
                socklen_t size = sizeof error;
                ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
                result = error;
            }
        }
    }
    ::close(fd);
    return result;
}

// ---- submission through the CUPS client library ---------------------------

// The library comes with Qt's print support; its headers are not needed
// for the three calls made here, whose ABI has been stable since CUPS 1.1.
struct CupsOption {
    char* name;
    char* value;
};

struct CupsApi {
    int (*printFile)(const char* queue, const char* file, const char* title, int optionCount,
                     CupsOption* options) = nullptr;
    const char* (*lastErrorString)() = nullptr;
};

const CupsApi* cupsApi()
{
    static const CupsApi* api = []() -> const CupsApi* {
        void* library = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library)
            return nullptr;
        static CupsApi loaded;
        loaded.printFile = reinterpret_cast<decltype(loaded.printFile)>(::dlsym(library, "cupsPrintFile"));
        loaded.lastErrorString =
            reinterpret_cast<decltype(loaded.lastErrorString)>(::dlsym(library, "cupsLastErrorString"));
        return loaded.printFile && loaded.lastErrorString ? &loaded : nullptr;
    }();
    return api;
}

void submit(const std::string& queue, const std::string& file, const std::string& title,
            const std::string& media)
{
    std::string problem;
    if (!cupsServerReachable(&problem))
        throw PrinterError(format("Cannot print on %s: %s", queue.c_str(), problem.c_str()));
    const CupsApi* api = cupsApi();
    if (!api)
        throw PrinterError(format("Cannot print on %s: the CUPS client library (libcups.so.2) is missing",
                                  queue.c_str()));
    std::string mediaName = "media", mediaValue = media;
    // Manual double-sided printing relies on the sheets coming out one-sided.
    std::string sidesName = "sides", sidesValue = "one-sided";
    std::vector<CupsOption> options;
    if (!mediaValue.empty())
        options.push_back({mediaName.data(), mediaValue.data()});
    options.push_back({sidesName.data(), sidesValue.data()});
    // An instance ("queue/instance") prints on its queue.
    const std::string destination = queue.substr(0, queue.find('/'));
    const int job = api->printFile(destination.c_str(), file.c_str(), title.empty() ? "Velm" : title.c_str(),
                                   static_cast<int>(options.size()), options.data());
    if (job <= 0) {
        const char* reason = api->lastErrorString();
        throw PrinterError(format("Cannot print on %s: %s", queue.c_str(),
                                  reason && *reason ? reason : "the CUPS server refused the job"));
    }
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

    std::unique_ptr<PrintDocument> beginDocument(const std::string& title) override
    {
        // Asked every time: the server may have gone since the list was read.
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
        target.deliver = [queue = name_, title, media = l.pageSize().key().toStdString()](
                             const std::string& file) { submit(queue, file, title, media); };
        return openPdfDocument(std::move(target), l, kLayoutDpi, kLayoutDpi, title);
    }

private:
    void load() const
    {
        if (printer_)
            return;
        std::string problem;
        if (!cupsServerReachable(&problem))
            throw PrinterError(format("Cannot print on %s: %s", name_.c_str(), problem.c_str()));
        const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name_));
        if (info.isNull())
            throw PrinterError(format("Cannot print on %s: the CUPS server does not know this queue",
                                      name_.c_str()));
        printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }

    QPageLayout layout() const
    {
        load();
        QPageLayout l = printer_->pageLayout();
        l.setOrientation(orientation_ == PaperOrientation::Landscape ? QPageLayout::Landscape
                                                                     : QPageLayout::Portrait);
        return l;
    }

    std::string name_;
    PaperOrientation orientation_ = PaperOrientation::Portrait;
    mutable std::unique_ptr<QPrinter> printer_;
    unsigned serial_ = 0;
};

} // namespace

bool cupsServerReachable(std::string* problem, int timeoutMs)
{
    const ServerAddress a = serverAddress();
    int error = 0;
    if (!a.socketPath.empty()) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (a.socketPath.size() >= sizeof address.sun_path) {
            error = ENAMETOOLONG;
        } else {
            std::memcpy(address.sun_path, a.socketPath.c_str(), a.socketPath.size() + 1);
            error = connectWithin(AF_UNIX, reinterpret_cast<const sockaddr*>(&address), sizeof address,
                                  timeoutMs);
        }
    } else {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const std::string port = std::to_string(a.port);
        int gai = ::getaddrinfo(a.host.c_str(), port.c_str(), &hints, &found);
        if (gai != 0) {
            if (problem)
                *problem = format("the CUPS server %s cannot be found (%s)", a.shown.c_str(), gai_strerror(gai));
            return false;
        }
        error = ECONNREFUSED;
        for (addrinfo* ai = found; ai; ai = ai->ai_next) {
            error = connectWithin(ai->ai_family, ai->ai_addr, ai->ai_addrlen, timeoutMs);
            if (error == 0)
                break;
        }
        ::freeaddrinfo(found);
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
