// Robustness: real recorded pages, mutated at random (bytes, size and offset
// words, truncation, spliced records), and plain random bytes, played
// through the reader onto the logging device, the QPainter device and the
// PDF canvas (text in every script, and characters no face has). None
// may crash, hang or read out of bounds (run this program under valgrind or
// ASan to see the last); every playback of a sound header is framed by
// begin and end. VELM_FUZZ_ROUNDS sets the number of mutations (default 3000).
#include "support/emf_test_support.h"

#include "platform/rendering/fonts.h"

#include "platform/metafile/emf_reader.h"
#include "platform/rendering/gdi_device.h"
#include "platform/rendering/painter_device.h"
#include "platform/pdf/pdf_canvas.h"
#include "support/logging_device.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <fcntl.h>
#include <unistd.h>

namespace velm {
namespace {

using emftest::Bytes;
using emftest::kPrinterPage;

int rounds()
{
    const char* env = std::getenv("VELM_FUZZ_ROUNDS");
    return env ? std::max(1, std::atoi(env)) : 3000;
}

// Pages that use every record the reader handles, as seeds.
std::vector<Bytes> seeds()
{
    std::vector<Bytes> out{emftest::samplePage(textAdvances)};

    EmfRecorder page(kPrinterPage);
    const GdiHandle font = page.createFont(emftest::arial(-83, 700));
    page.selectObject(font);
    page.setTextAlign(TA_UPDATECP | TA_CENTER);
    page.textOut(10, 10, u"text \u00e9 \U0001F600", {10, 10, 10, 10, 10, 10, 10, 10, 0});
    // Scripts from fallback faces, a character no face has, controls and joiners.
    page.textOut(10, 200, u"\u0928\u092E\u0938\u094D\u0924\u0947 \u4F60\u597D \u0645\u0631 \u0E2A\u0378\u0007\u200D", {});
    const GdiHandle pen = page.createPen({PS_DOT, 1, rgb(9, 8, 7)});
    page.selectObject(pen);
    const GdiHandle wide = page.createPen({PS_SOLID, 12, 0});
    page.selectObject(wide);
    page.deleteObject(pen);
    const GdiHandle brush = page.createBrush({BS_HATCHED, rgb(1, 2, 3), HS_BDIAGONAL});
    page.selectObject(brush);
    page.rectangle({10, 10, 400, 300});
    page.moveTo(5, 5);
    page.lineTo(4000, 5000);
    page.fillRect({0, 0, 4800, 6600}, brush);
    page.setBkMode(OPAQUE);
    page.textOut(100, 6000, u"bottom", {});
    out.push_back(page.finish());

    // Foreign records: mapping, clip, state, polygons, regions, ANSI text.
    emftest::RawEmf raw;
    raw.add(emf::EMR_SAVEDC, {});
    raw.add(emf::EMR_SETMAPMODE, {MM_ANISOTROPIC});
    raw.add(emf::EMR_SETWINDOWEXTEX, {1000, 1000});
    raw.add(emf::EMR_SETVIEWPORTEXTEX, {4800, 6600});
    raw.add(emf::EMR_SETWORLDTRANSFORM, {emftest::word(0.5f), 0, 0, emftest::word(0.5f), 0, 0});
    raw.add(emf::EMR_INTERSECTCLIPRECT, {10, 10, 900, 900});
    raw.add(emf::EMR_CREATEBRUSHINDIRECT, {1, BS_SOLID, rgb(255, 0, 0), 0});
    raw.add(emf::EMR_SELECTOBJECT, {1});
    raw.add(emf::EMR_POLYGON16, {0, 0, 0, 0, 3, 0, 0x000000FF, 0x00FF00FF});
    raw.add(emf::EMR_POLYLINE, {0, 0, 0, 0, 2, 1, 2, 3, 4});
    raw.add(emf::EMR_POLYLINETO16, {0, 0, 0, 0, 1, 0x00100010});
    raw.add(emf::EMR_FILLRGN, {0, 0, 0, 0, 48, 1, 32, 1, 1, 16, 0, 0, 0, 0, 10, 10, 20, 20});
    raw.add(emf::EMR_EXTSELECTCLIPRGN, {48, emf::kRgnAnd, 32, 1, 1, 16, 0, 0, 0, 0, 5, 5, 50, 50});
    raw.add(emf::EMR_MODIFYWORLDTRANSFORM, {emftest::word(1.0f), 0, 0, emftest::word(1.0f), 0, 0, 1});
    raw.add(emf::EMR_RESTOREDC, {emftest::word(-1)});
    raw.add(emf::EMR_SETMAPMODE, {MM_HIMETRIC});
    raw.add(emf::EMR_SCALEVIEWPORTEXTEX, {1, 2, 1, 2});
    raw.add(emf::EMR_EXTTEXTOUTA, {0, 0, 0, 0, 1, 0, 0, 5, 5, 3, 60, 0x2100, 64, 0x00434241, 1, 2, 3, 4, 5, 6});
    out.push_back(raw.finish());
    return out;
}

struct Outcomes {
    int invalid = 0, sound = 0, damaged = 0, noted = 0;
};

// A PDF document that takes every played page as a sheet of its own and
// is finished (fonts written) at the end; the bytes go nowhere.
class PdfSink {
public:
    PdfSink() : fd_(::open("/dev/null", O_WRONLY | O_CLOEXEC)), canvas_(fd_, "fuzz", "Velm") {}
    ~PdfSink()
    {
        canvas_.finish();
        ::close(fd_);
    }
    void play(const EmfReader& reader)
    {
        canvas_.startSheet({595, 842, 0, 0, 0.12, 0.12});
        GdiDevice device(canvas_);
        reader.play(device);
    }

private:
    int fd_;
    PdfCanvas canvas_;
};

// Plays one file on every device and checks what can be checked.
void playEverywhere(const Bytes& bytes, QImage& image, PdfSink& pdf, Outcomes& outcomes)
{
    const EmfReader reader(bytes);
    LoggingDevice log;
    const EmfPlayResult result = reader.play(log);
    ++(!reader.isValid() ? outcomes.invalid : result.ok ? outcomes.sound : outcomes.damaged);
    if (!result.notes.empty())
        ++outcomes.noted;
    if (!reader.isValid()) {
        ASSERT_FALSE(result.ok);
        ASSERT_TRUE(log.calls().empty());
        return;
    }
    ASSERT_FALSE(log.calls().empty());
    ASSERT_EQ(log.calls().front().kind, "begin");
    ASSERT_EQ(log.calls().back().kind, "end");
    ASSERT_LE(result.notes.size(), 16u);
    ASSERT_EQ(result.ok, result.problem.empty());
    for (const auto& call : log.calls())
        for (double v : call.numbers)
            ASSERT_TRUE(std::isfinite(v)) << call.line;
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(0.02, 0.02);
    PainterDevice device(painter);
    reader.play(device);
    pdf.play(reader);
}

TEST(EmfFuzz, MutatedPagesNeverCrashOrReadOutOfBounds)
{
    const std::vector<Bytes> pages = seeds();
    for (const Bytes& page : pages) {
        LoggingDevice log;
        const EmfPlayResult sound = EmfReader(page).play(log);
        ASSERT_TRUE(sound.ok) << sound.problem; // the seeds themselves are sound
    }
    std::mt19937 random(20240607);
    QImage image(96, 132, QImage::Format_RGB32);
    PdfSink pdf;
    const std::uint32_t interesting[] = {0, 1, 4, 7, 8, 12, 0x7F, 0xFF, 0xFFFF, 0x7FFFFFFF, 0x80000000u,
                                         0xFFFFFFFFu, 0xFFFFFFF8u, 100, 76, 104, 0x80000007u, 0x3F800000u};
    const int n = rounds();
    Outcomes outcomes;
    for (int round = 0; round < n; ++round) {
        Bytes bytes = pages[static_cast<std::size_t>(round) % pages.size()];
        const auto records = emftest::walk(bytes);
        const int kind = round % 6;
        const int changes = 1 + static_cast<int>(random() % 6);
        for (int c = 0; c < changes; ++c) {
            const std::size_t at = random() % bytes.size();
            switch (kind) {
            case 0: // any byte
                bytes[at] = static_cast<std::uint8_t>(random());
                break;
            case 1: { // a field word of some record, set to an interesting value
                const auto& r = records[random() % records.size()];
                const std::size_t field = r.offset + 4 * (random() % (r.size / 4));
                emf::storeU32(bytes.data() + field, interesting[random() % std::size(interesting)]);
                break;
            }
            case 2: { // a record size
                const auto& r = records[random() % records.size()];
                emf::storeU32(bytes.data() + r.offset + 4, interesting[random() % std::size(interesting)]);
                break;
            }
            case 3: // truncation
                bytes.resize(at);
                break;
            case 4: { // a record repeated elsewhere (object and state records out of order)
                const auto& r = records[random() % records.size()];
                const Bytes copy(bytes.begin() + static_cast<long>(r.offset),
                                 bytes.begin() + static_cast<long>(std::min(r.offset + r.size, bytes.size())));
                const auto& where = records[random() % records.size()];
                bytes.insert(bytes.begin() + static_cast<long>(std::min(where.offset, bytes.size())), copy.begin(),
                             copy.end());
                break;
            }
            default: // a random word anywhere, including the header
                if (bytes.size() >= 4)
                    emf::storeU32(bytes.data() + (at & ~std::size_t(3)) % (bytes.size() - 3),
                                  static_cast<std::uint32_t>(random()));
                break;
            }
            if (bytes.empty())
                break;
        }
        SCOPED_TRACE("round " + std::to_string(round));
        playEverywhere(bytes, image, pdf, outcomes);
        if (HasFatalFailure())
            return;
    }
    // The mutations reach every path: refused headers, damaged records,
    // tolerated oddities and files that still play whole.
    if (n >= 300) {
        EXPECT_GT(outcomes.invalid, n / 50);
        EXPECT_GT(outcomes.damaged, n / 10);
        EXPECT_GT(outcomes.sound, n / 50);
        EXPECT_GT(outcomes.noted, n / 50);
    }
    std::printf("%d mutations: %d refused, %d damaged, %d sound, %d with notes\n", n, outcomes.invalid,
                outcomes.damaged, outcomes.sound, outcomes.noted);
}

TEST(EmfFuzz, RandomBytesBehindAValidHeader)
{
    std::mt19937 random(99);
    QImage image(96, 132, QImage::Format_RGB32);
    PdfSink pdf;
    const Bytes header = emftest::RawEmf().finish(false);
    const int n = std::max(1, rounds() / 3);
    Outcomes outcomes;
    for (int round = 0; round < n; ++round) {
        Bytes bytes = header;
        const std::size_t length = random() % 600;
        for (std::size_t i = 0; i < length; ++i)
            bytes.push_back(static_cast<std::uint8_t>(random()));
        // Records of known types with random payloads, sized correctly.
        for (int r = 0; r < 8; ++r) {
            const auto type = static_cast<std::uint32_t>(1 + random() % 122);
            const auto words = static_cast<std::uint32_t>(random() % 24);
            Bytes rec;
            emftest::put32(rec, type);
            emftest::put32(rec, 8 + 4 * words);
            for (std::uint32_t w = 0; w < words; ++w)
                emftest::put32(rec, static_cast<std::uint32_t>(random() % 4 == 0 ? 0x80000000u | (random() % 20) : random() % 5000));
            bytes.insert(bytes.end(), rec.begin(), rec.end());
        }
        emf::storeU32(bytes.data() + 48, static_cast<std::uint32_t>(random() % 2 ? bytes.size() : random()));
        SCOPED_TRACE("round " + std::to_string(round));
        playEverywhere(bytes, image, pdf, outcomes);
        if (HasFatalFailure())
            return;
        // Entirely random files.
        Bytes noise(random() % 300);
        for (auto& b : noise)
            b = static_cast<std::uint8_t>(random());
        playEverywhere(noise, image, pdf, outcomes);
    }
}

} // namespace
} // namespace velm
