// Lossless JPEG stamping benchmark: N photo-like JPEGs of 6000 x 4000 at q90 4:2:0, the
// default 20-point date stamp with shadow in a corner (top left, the default, or the one
// given). In the same run, per file:
//   lossless: a whole job of the job renderer with lossless stamping on (read, stamp the
//             blocks under the stamp, keep metadata, write, file time)
//   full:     a plain libjpeg-turbo decode + encode of the same file at q90
// Goal: lossless at most 0.45 x full. Then, on the first file: the decoded output against
// the source outside the stamp's MCUs (must be equal), the PSNR over the stamp's MCUs
// against the full render of the stamped picture (goal at least 38 dB) and against a full
// re-encode of it, and the file size against the source's (goal within 1%).
//   bench_lossless [files=20] [rounds=1] [corner=1] [restart=0]
// restart > 0 writes the sources with a restart marker every so many MCUs, as cameras
// often do; the stamp's intervals are then found without parsing the data before them.
// Data before the stamp's rows must be parsed (there is no way into the entropy-coded
// data but from its start), data after them only copied: a stamp at the top costs least,
// one at the bottom needs a parse of nearly the whole file.
#include "benchcommon.h"

#include "batch/jobrenderer.h"
#include "imaging/lossless/jpeglossless.h"
#include "imaging/lossless/jpegrestamp.h"
#include "model/settingsrow.h"
#include "stamp/rowstamp.h"
#include "stamp/stampdrawer.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <cmath>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 90;

int g_corner = 1;

QStringList jobRow(const QString &source, const QString &outDir)
{
    QStringList row = SettingsRow::defaults();
    row[Col::Datei] = source;
    row[Col::Suffix] = QStringLiteral("jpg");
    row[Col::AVerz] = outDir;
    row[Col::TimeDN] = QString();
    row[Col::FSize] = QStringLiteral("20");
    row[Col::Pos] = QString::number(g_corner);
    row[Col::Sch] = QStringLiteral("1");
    row[Col::DT] = QStringLiteral("1");
    return row;
}

QImage decodeImage(const QString &path)
{
    QImage img(path);
    return img.convertToFormat(QImage::Format_RGB32);
}

double psnr(const QImage &a, const QImage &b, const QRect &r)
{
    double sum = 0;
    qint64 n = 0;
    for (int y = r.top(); y <= r.bottom(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(a.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(b.constScanLine(y));
        for (int x = r.left(); x <= r.right(); ++x)
            for (int d : {qRed(p[x]) - qRed(q[x]), qGreen(p[x]) - qGreen(q[x]), qBlue(p[x]) - qBlue(q[x])}) {
                sum += d * d;
                ++n;
            }
    }
    return sum == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 * double(n) / sum);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
    g_corner = argc > 3 ? std::clamp(std::atoi(argv[3]), 1, 4) : 1;
    const int restart = argc > 4 ? std::clamp(std::atoi(argv[4]), 0, 65535) : 0;
    QTemporaryDir dir(QStringLiteral("/tmp/inkwerk-bench-XXXXXX"));
    const QString outDir = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(outDir);
    QStringList sources;
    for (int i = 0; i < files; ++i) {
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i));
        if (!Bench::writePhotoJpeg(QFile::encodeName(path).constData(), kWidth, kHeight, kQuality, restart))
            return 1;
        sources << path;
    }

    RenderOptions options;
    options.losslessJpeg = true;
    JobRenderer renderer(options);
    std::vector<double> lossless, full, losslessCpu, fullCpu;
    std::vector<unsigned char> rgb;
    int losslessJobs = 0;
    for (int round = 0; round < rounds; ++round) {
        for (const QString &source : sources) {
            Bench::Stopwatch job;
            const JobPlan plan = renderer.plan(jobRow(source, outDir));
            const JobRenderer::Result r = renderer.render(plan);
            lossless.push_back(job.elapsed().wall);
            losslessCpu.push_back(job.elapsed().cpu);
            losslessJobs += r.lossless;
            double decodeMs = 0;
            Bench::Stopwatch reference;
            if (!Bench::referenceJob(source, dir.filePath(QStringLiteral("reference.jpg")), kQuality,
                                     0, rgb, decodeMs))
                return 1;
            full.push_back(reference.elapsed().wall);
            fullCpu.push_back(reference.elapsed().cpu);
        }
    }
    const double l = Bench::median(lossless), f = Bench::median(full);
    std::printf("%d files of %dx%d q%d 4:2:0, restart interval %d MCUs, %d rounds, stamp in corner %d; "
                "%d of %zu jobs lossless\n", files, kWidth, kHeight, kQuality, restart, rounds, g_corner,
                losslessJobs, lossless.size());
    std::printf("lossless job: median %.1f ms; libjpeg-turbo decode + encode: median %.1f ms; "
                "ratio %.3f (goal <= 0.45)\n", l, f, l / f);
    std::printf("CPU time: lossless %.1f ms, decode + encode %.1f ms, ratio %.3f\n",
                Bench::median(losslessCpu), Bench::median(fullCpu),
                Bench::median(losslessCpu) / Bench::median(fullCpu));

    // Where the lossless job's time goes, on the first file.
    {
        QFile f(sources.first());
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const JobPlan p = renderer.plan(jobRow(sources.first(), outDir));
        const StampStyle st = RowStamp::style(p.row, RowStamp::text(p.row, p.timestamp.time, QDateTime::currentDateTime()),
                                              RowStamp::font(p.row, options.dpi));
        std::vector<double> bare, stamped;
        for (int i = 0; i < 3; ++i) {
            double t = Bench::nowMs();
            JpegLossless::stamp(bytes, JpegLossless::Turn::None, [](const QSize &) { return QRect(); },
                                [](QImage &, const QPoint &, const QSize &) {});
            bare.push_back(Bench::nowMs() - t);
            t = Bench::nowMs();
            JpegLossless::stamp(bytes, JpegLossless::Turn::None, [&st](const QSize &s) { return stampArea(s, st); },
                                [&st](QImage &b, const QPoint &o, const QSize &s) { paintStamp(b, o, s, st); });
            stamped.push_back(Bench::nowMs() - t);
        }
        std::printf("of which: coefficients read and written without a stamp %.1f ms, with the stamp %.1f ms\n",
                    Bench::median(bare), Bench::median(stamped));
    }

    // Quality on the first file.
    const QString first = sources.first();
    const JobPlan plan = renderer.plan(jobRow(first, outDir));
    const StampStyle style = RowStamp::style(plan.row, RowStamp::text(plan.row, plan.timestamp.time, QDateTime::currentDateTime()),
                                             RowStamp::font(plan.row, options.dpi));
    const QImage source = decodeImage(first);
    const QImage written = decodeImage(plan.output);
    const QRect area = stampArea(source.size(), style);
    const QRect mcus = JpegRestamp::mcuRegion(area, source.size(), 2, 2);
    const QRect clipped = mcus & source.rect();
    // Outside the MCUs next to the stamp's, the pixels are the source's own.
    const QRect near = mcus.adjusted(-16, -16, 16, 16);
    qint64 differing = 0;
    for (int y = 0; y < source.height(); ++y) {
        const auto *p = reinterpret_cast<const QRgb *>(source.constScanLine(y));
        const auto *q = reinterpret_cast<const QRgb *>(written.constScanLine(y));
        for (int x = 0; x < source.width(); ++x)
            differing += p[x] != q[x] && !near.contains(x, y);
    }
    QImage stamped = source;
    paintStamp(stamped, QPoint(0, 0), stamped.size(), style);
    double decodeMs = 0;
    const QString reencodedPath = dir.filePath(QStringLiteral("reencoded.jpg"));
    stamped.save(reencodedPath, "JPEG", kQuality);
    const QImage reencoded = decodeImage(reencodedPath);
    // The same at q100 keeps the 4:2:0 sampling: what remains is the chroma lost to it.
    const QString bestPath = dir.filePath(QStringLiteral("reencoded100.jpg"));
    stamped.save(bestPath, "JPEG", 100);
    const QImage best = decodeImage(bestPath);
    Q_UNUSED(decodeMs);
    const qint64 sourceSize = QFileInfo(first).size(), writtenSize = QFileInfo(plan.output).size();
    std::printf("pixels differing outside the stamp's MCUs (and one MCU around): %lld\n",
                static_cast<long long>(differing));
    std::printf("PSNR over the stamp's MCUs (%dx%d px): %.2f dB against the stamped picture "
                "(goal >= 38); a full q%d re-encode of it: %.2f dB; a q100 4:2:0 one: %.2f dB\n",
                clipped.width(), clipped.height(), psnr(written, stamped, clipped), kQuality,
                psnr(reencoded, stamped, clipped), psnr(best, stamped, clipped));
    std::printf("file size: source %lld, written %lld (%+.2f%%, goal within 1%%)\n",
                static_cast<long long>(sourceSize), static_cast<long long>(writtenSize),
                100.0 * double(writtenSize - sourceSize) / double(sourceSize));
    return 0;
}
