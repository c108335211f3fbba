// Cost of one dense sheet in the PDF writer: 60 lines of 80 glyphs (a
// 10 pt face at 600 dpi, integer advances as recorded) under a header box
// of lines, written to /dev/null. Reports time and bytes per sheet, fonts
// and trailer included, at deflate levels 0, 1 and 6, for a monospace face
// and for a proportional one (whose advances the layout rounds glyph by
// glyph).
// $VELM_BENCH_PDF names a file to write instead, to look at the output.
#include "platform/pdf/pdf_canvas.h"

#include <QFont>
#include <QGuiApplication>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

struct Line {
    std::vector<quint32> glyphs;
    std::vector<QPointF> positions;
    std::vector<char32_t> chars;
};

// Lines of words drawn at random from a vocabulary, so that the content
// compresses like prose rather than like a repeated line. Each glyph
// advances by its own advance rounded to whole pixels.
std::vector<Line> denseLines(const QRawFont& font)
{
    const QStringList words = QStringLiteral(
        "the of and to in is was for that with as on by at from his her they which this be or an had not "
        "but were are have one all their there when been would who will more if out so said what up its "
        "about into than them can only other new some could time these two may then do first any my now "
        "such like our over man me even most made after also did many before must through back years where "
        "much your way well down should because each just those people Mr how too little state good very "
        "make world still own see men work long get here between both life being under never day same "
        "another know while last might us great old year off come since against go came right used take "
        "three 1998 42 7.5% (note) [see] Café, résumé; naïve: x=y+1").split(u' ');
    std::uint32_t seed = 12345;
    const auto next = [&] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    std::vector<Line> lines(60);
    for (Line& line : lines) {
        QString text;
        while (text.size() < 80)
            text += words[static_cast<qsizetype>(next() % static_cast<std::uint32_t>(words.size()))] + u' ';
        double x = 0;
        for (int i = 0; i < 80; ++i) {
            const QChar c = text[i];
            quint32 glyph = 0;
            int count = 1;
            font.glyphIndexesForChars(&c, 1, &glyph, &count);
            QPointF advance;
            font.advancesForGlyphIndexes(&glyph, &advance, 1);
            line.positions.emplace_back(x, 0);
            x += std::round(advance.x());
            line.glyphs.push_back(glyph);
            line.chars.push_back(c.unicode());
        }
    }
    return lines;
}

void DenseSheet(benchmark::State& state, const char* family)
{
    QFont face(QString::fromLatin1(family));
    face.setPixelSize(83);
    QRawFont raw = QRawFont::fromFont(face);
    raw.setPixelSize(600 * 10 / 72.0);
    const std::vector<Line> lines = denseLines(raw);
    velm::PdfPageBox box{595.28, 841.89, 18, 18, 0.12, 0.12};
    const char* keep = std::getenv("VELM_BENCH_PDF");
    const int fd = ::open(keep ? keep : "/dev/null", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    velm::PdfCanvas canvas(fd, "Dense", "Velm");
    canvas.setCompressionLevel(static_cast<int>(state.range(0)));
    const QColor black(Qt::black);
    for (auto _ : state) {
        canvas.startSheet(box);
        canvas.beginPage(QRectF(0, 0, 4661, 6716), false);
        // The header box: a frame of 6-pixel bands and a rule under the title.
        for (const QRectF& band : {QRectF(0, 0, 4661, 6), QRectF(0, 294, 4661, 6), QRectF(0, 0, 6, 300),
                                   QRectF(4655, 0, 6, 300), QRectF(0, 6700, 4661, 2)})
            canvas.fillRect(band, black);
        canvas.drawGlyphs(QPointF(100, 200), raw, lines[0].glyphs, lines[0].positions, lines[0].chars, black);
        for (std::size_t i = 0; i < lines.size(); ++i)
            canvas.drawGlyphs(QPointF(0, 500 + 100.0 * static_cast<double>(i)), raw, lines[i].glyphs,
                              lines[i].positions, lines[i].chars, black);
        canvas.endPage();
        canvas.finishSheet();
    }
    canvas.finish();
    ::close(fd);
    const double sheets = static_cast<double>(state.iterations());
    state.counters["KB_per_sheet"] = static_cast<double>(canvas.bytesWritten()) / 1024.0 / sheets;
    state.counters["sheets_per_s"] = benchmark::Counter(sheets, benchmark::Counter::kIsRate);
}
BENCHMARK_CAPTURE(DenseSheet, mono, "Liberation Mono")->Arg(0)->Arg(1)->Arg(6)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(DenseSheet, sans, "Liberation Sans")->Arg(0)->Arg(1)->Arg(6)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
