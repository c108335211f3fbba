#include "platform/pdf/pdf_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace velm {
namespace pdf {

std::optional<std::string> Deflater::compress(std::string_view data, std::string& out, int level)
{
    if (level != level_ || !compressor_) {
        libdeflate_free_compressor(compressor_);
        compressor_ = libdeflate_alloc_compressor(level);
        if (!compressor_)
            return "the compressor cannot start";
        level_ = level;
    }
    out.resize(libdeflate_zlib_compress_bound(compressor_, data.size()));
    const std::size_t written =
        libdeflate_zlib_compress(compressor_, data.data(), data.size(), out.data(), out.size());
    if (written == 0)
        return "the compressor failed";
    out.resize(written);
    return std::nullopt;
}

SheetDeflater::~SheetDeflater()
{
    if (!worker_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

void SheetDeflater::give(std::string_view data, int level)
{
    {
        std::lock_guard lock(mutex_);
        in_.assign(data);
        level_ = level;
        given_ = true;
        done_ = false;
    }
    if (!worker_.joinable())
        worker_ = std::thread(&SheetDeflater::work, this);
    changed_.notify_all();
}

std::optional<std::string> SheetDeflater::take(std::string& out)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return done_; });
    done_ = false;
    out.swap(out_);
    return std::exchange(problem_, std::nullopt);
}

void SheetDeflater::work()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return given_ || stopping_; });
        if (stopping_)
            return;
        given_ = false;
        // The drawing thread touches in_ and out_ only after take().
        lock.unlock();
        std::optional<std::string> problem = deflater_.compress(in_, out_, level_);
        lock.lock();
        problem_ = std::move(problem);
        done_ = true;
        changed_.notify_all();
    }
}

} // namespace pdf

void PdfCanvas::Writer::fail(const std::string& why)
{
    failure = why;
    throw PdfWriteError(why);
}

void PdfCanvas::Writer::throwIfFailed() const
{
    if (!failure.empty())
        throw PdfWriteError(failure);
}

void PdfCanvas::Writer::compress(Deflater& deflater, std::string_view data, int compression)
{
    if (const auto problem = deflater.compress(data, packed, compression))
        fail(*problem);
}

void PdfCanvas::Writer::digest()
{
    const std::size_t fresh = out.size() - digested;
    crc = libdeflate_crc32(crc, out.data() + digested, fresh);
    adler = libdeflate_adler32(adler, out.data() + digested, fresh);
    digested = out.size();
}

void PdfCanvas::Writer::flush()
{
    throwIfFailed();
    digest();
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            fail(std::strerror(errno));
        if (n == 0)
            fail("the file takes no more data");
        done += static_cast<std::size_t>(n);
    }
    flushed += out.size();
    out.clear();
    digested = 0;
}

void PdfCanvas::Writer::maybeFlush()
{
    if (out.size() >= kFlushAt || !failure.empty())
        flush();
}

int PdfCanvas::Writer::allocate()
{
    offsets.push_back(0);
    return static_cast<int>(offsets.size()) - 1;
}

void PdfCanvas::Writer::open(int number)
{
    offsets[static_cast<std::size_t>(number)] = flushed + out.size();
    appendInt(out, number);
    out += " 0 obj\n";
}

void PdfCanvas::Writer::object(int number, std::string_view body)
{
    open(number);
    out += body;
    out += "\nendobj\n";
    maybeFlush();
}

void PdfCanvas::Writer::stream(int number, std::string_view entries, std::string_view data, bool compress)
{
    if (compress)
        this->compress(otherDeflater, data, kFontCompression);
    writeStream(number, entries, compress ? std::string_view(packed) : data, compress);
}

void PdfCanvas::Writer::writeStream(int number, std::string_view entries, std::string_view data, bool compressed)
{
    open(number);
    out += "<</Length ";
    appendInt(out, static_cast<long long>(data.size()));
    if (compressed)
        out += "/Filter/FlateDecode";
    out += entries;
    out += ">>stream\n";
    out += data;
    out += "\nendstream\nendobj\n";
    maybeFlush();
}

void PdfCanvas::Writer::writePageObject(const EndedSheet& sheet)
{
    std::string body = "<</Type/Page/Parent 2 0 R/MediaBox[0 0 ";
    appendNumber(body, sheet.widthPt, 2);
    body += ' ';
    appendNumber(body, sheet.heightPt, 2);
    body += "]/Resources 3 0 R/Contents ";
    appendInt(body, sheet.contents);
    body += " 0 R>>";
    object(sheet.page, body);
}

void PdfCanvas::Writer::writeEndedSheet()
{
    if (!ended)
        return;
    const EndedSheet sheet = *ended;
    ended.reset();
    if (const auto problem = sheetDeflater.take(packed))
        fail(*problem);
    writeStream(sheet.contents, "", packed, true);
    writePageObject(sheet);
}

void PdfCanvas::Writer::writeTrailer()
{
    const std::uint64_t xref = flushed + out.size();
    out += "xref\n0 ";
    appendInt(out, static_cast<long long>(offsets.size()));
    out += "\n0000000000 65535 f \n";
    for (std::size_t n = 1; n < offsets.size(); ++n) {
        char entry[21];
        std::snprintf(entry, sizeof entry, "%010llu 00000 n \n", static_cast<unsigned long long>(offsets[n]));
        out += entry;
        if (out.size() >= kFlushAt)
            flush();
    }
    // The file's identity: what it is made of, all but the trailer.
    digest();
    char idHex[40];
    std::snprintf(idHex, sizeof idHex, "%08X%08X%016llX", static_cast<unsigned>(crc),
                  static_cast<unsigned>(adler), static_cast<unsigned long long>(flushed + out.size()));
    out += "trailer\n<</Size ";
    appendInt(out, static_cast<long long>(offsets.size()));
    out += "/Root 1 0 R/Info 4 0 R/ID[<" + std::string(idHex) + "><" + idHex + ">]>>\nstartxref\n";
    appendInt(out, static_cast<long long>(xref));
    out += "\n%%EOF\n";
    flush();
}

} // namespace velm
