// Preview benchmark on the real main window (offscreen unless QT_QPA_PLATFORM says else).
//   bench_preview [runs]
//   bench_preview steps     when the steps of one selection happen, for Rot "3" and "1"
// (a) Selecting a job list entry of a 6000x4000 q80 JPEG until the stamped preview is
//     painted, against JpegCodec::decode of the same file, side by side; once unturned
//     (Rot "3") and once turned (Rot "1"). Goal: at most 1.25 x the decode.
// (b) Moving a margin, changing a colour, toggling bold: redraw plus repaint of the
//     preview. Goal: median under 16 ms.
// (c) Pictures held while the turned picture is previewed: distinct picture buffers of
//     the model plus the view's scaled copy. Goal: under 4 x the picture's size.
#include "benchcommon.h"

#include "app/widgets/colorbutton.h"
#include "app/widgets/tform1.h"
#include "imaging/codecs/jpegcodec.h"
#include "imaging/widgets/multiimageview.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QSlider>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstring>
#include <set>
#include <utility>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 80;

// Counts the paint events a widget receives.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

// Serves events until the view was painted at least once more than `before`; false when
// that took longer than 10 s (nothing was to be painted).
bool waitForPaint(const PaintCounter &counter, int before)
{
    const double start = Bench::nowMs();
    while (counter.paints <= before) {
        QApplication::processEvents(QEventLoop::AllEvents);
        if (Bench::nowMs() - start > 10000)
            return false;
    }
    return true;
}

void report(const char *what, const std::vector<Bench::Sample> &s)
{
    std::printf("  %-34s median %8.1f ms wall, %8.1f ms CPU (n=%zu)\n", what,
                Bench::medianWall(s), Bench::medianCpu(s), s.size());
}

// (a) for one rotation value; returns false when a selection was never painted.
bool measureSelection(TForm1 &w, PaintCounter &counter, const QByteArray &jpeg,
                      const QString &rot, int runs)
{
    MainModel &m = w.model();
    for (int row = 0; row < m.NGrid2.rowCount(); ++row)
        m.NGrid2.setCell(Col::Rot, row, rot);

    std::vector<Bench::Sample> select, decode;
    int next = m.itemIndex() == 0 ? 1 : 0;
    for (int i = 0; i < runs + 1; ++i) {
        // The codec alone on the same bytes, then the selection, so that both meet the
        // same load of the machine.
        Bench::Stopwatch codecWatch;
        const Codec::Decoded decoded = JpegCodec::decode(jpeg, {});
        const Bench::Sample codec = codecWatch.elapsed();
        if (!decoded.ok()) {
            std::fprintf(stderr, "decode failed: %s\n", qPrintable(decoded.error));
            return false;
        }

        const int before = counter.paints;
        Bench::Stopwatch watch;
        m.listSelection.setCurrentIndex(m.listModel.index(next),
                                        QItemSelectionModel::ClearAndSelect);
        if (!waitForPaint(counter, before)) {
            std::fprintf(stderr, "the preview was not painted after selecting entry %d\n", next);
            return false;
        }
        const Bench::Sample sel = watch.elapsed();
        next = 1 - next;
        if (i == 0)
            continue;   // the first round warms caches and the allocator
        decode.push_back(codec);
        select.push_back(sel);
    }
    const QImage &shown = std::as_const(m.Img2).picture();
    std::printf("(a) select entry until painted, Rot \"%s\" (picture %dx%d):\n", qPrintable(rot),
                shown.width(), shown.height());
    report("JpegCodec::decode", decode);
    report("select + load + stamp + paint", select);
    const double ratio = Bench::medianWall(select) / Bench::medianWall(decode);
    const double cpuRatio = Bench::medianCpu(select) / Bench::medianCpu(decode);
    std::printf("  ratio %.3f wall, %.3f CPU; goal <= 1.25: %s (%.0f%% of the goal)\n", ratio,
                cpuRatio, ratio <= 1.25 ? "met" : "MISSED", ratio / 1.25 * 100);
    return true;
}

// Prints when the steps of one selection happen, from the imaging component's events:
// where the time of a selection goes.
void printSteps(TForm1 &w, PaintCounter &counter, const QString &rot)
{
    MainModel &m = w.model();
    for (int row = 0; row < m.NGrid2.rowCount(); ++row)
        m.NGrid2.setCell(Col::Rot, row, rot);
    std::vector<std::pair<QString, double>> marks;
    const auto mark = [&](const QString &what) { marks.emplace_back(what, Bench::nowMs()); };
    const auto progress = m.Img2.onProgress;
    const auto finished = m.Img2.onFinishedLoadSave;
    const auto changed = m.Img2.onChanged;
    m.Img2.onProgress = [&](int p) {
        if (p == 0 || p == 100)
            mark(QStringLiteral("progress %1").arg(p));
        progress(p);
    };
    m.Img2.onFinishedLoadSave = [&] {
        mark(QStringLiteral("load-finished handler starts"));
        finished();
        mark(QStringLiteral("load-finished handler ends"));
    };
    m.Img2.onChanged = [&](const QRect &area) {
        mark(QStringLiteral("picture changed %1x%2").arg(area.width()).arg(area.height()));
        changed(area);
    };
    const int before = counter.paints;
    mark(QStringLiteral("select"));
    m.listSelection.setCurrentIndex(m.listModel.index(m.itemIndex() == 0 ? 1 : 0),
                                    QItemSelectionModel::ClearAndSelect);
    mark(QStringLiteral("selection step returned"));
    waitForPaint(counter, before);
    mark(QStringLiteral("painted"));
    m.Img2.onProgress = progress;
    m.Img2.onFinishedLoadSave = finished;
    m.Img2.onChanged = changed;
    std::printf("steps of one selection, Rot \"%s\" (ms since the selection, +step):\n",
                qPrintable(rot));
    for (size_t i = 0; i < marks.size(); ++i)
        std::printf("  %8.1f  +%7.1f  %s\n", marks[i].second - marks[0].second,
                    i ? marks[i].second - marks[i - 1].second : 0.0, qPrintable(marks[i].first));
}

// (b) one edit, repeated; `edit(i)` changes the setting for round i.
template <typename Edit>
bool measureEdit(const char *what, PaintCounter &counter, int runs, Edit edit)
{
    std::vector<Bench::Sample> samples;
    for (int i = 0; i < runs + 1; ++i) {
        const int before = counter.paints;
        Bench::Stopwatch watch;
        edit(i);
        if (!waitForPaint(counter, before)) {
            std::fprintf(stderr, "%s: the preview was not painted\n", what);
            return false;
        }
        if (i > 0)
            samples.push_back(watch.elapsed());
    }
    const double wall = Bench::medianWall(samples);
    std::printf("  %-22s median %6.2f ms wall, %6.2f ms CPU (max %.2f ms wall, n=%zu); "
                "goal < 16 ms: %s (%.0f%% of the goal)\n",
                what, wall, Bench::medianCpu(samples),
                std::max_element(samples.begin(), samples.end(),
                                 [](const Bench::Sample &a, const Bench::Sample &b) {
                                     return a.wall < b.wall;
                                 })->wall,
                samples.size(), wall < 16 ? "met" : "MISSED", wall / 16 * 100);
    return true;
}

bool measureEdits(TForm1 &w, PaintCounter &counter, int runs)
{
    std::printf("(b) edits on the previewed picture, redraw + repaint:\n");
    // Each edit switches between two values, always away from the current one.
    bool ok = measureEdit("margin (track bar)", counter, runs, [&](int) {
        w.RzTrackBar1->setValue(w.RzTrackBar1->value() == 12 ? 40 : 12);
        w.RzTrackBar1MouseUp();
    });
    ok = ok && measureEdit("colour (HG colour)", counter, runs, [&](int) {
        const quint32 orange = 0x000080FFu, aqua = 0x00FFFF00u;
        w.MMColorButton1->setColorValue(w.MMColorButton1->colorValue() == orange ? aqua : orange);
    });
    ok = ok && measureEdit("bold (toggle)", counter, runs, [&](int) {
        w.abcToggleBtn1->click();
    });
    return ok;
}

// (c) the distinct picture buffers held while the turned picture is shown.
void measureMemory(TForm1 &w, double rssBeforeMB)
{
    MainModel &m = w.model();
    const QImage &working = std::as_const(m.Img2).picture();
    const std::pair<const char *, const QImage *> held[] = {
        {"working picture (Img2)", &working},
        {"unrotated copy", &m.unrotatedCopy},
    };
    std::set<const uchar *> seen;
    double bytes = 0;
    std::printf("(c) pictures held while the turned picture is previewed:\n");
    for (const auto &[name, image] : held) {
        const uchar *bits = image->constBits();
        const bool fresh = bits && seen.insert(bits).second;
        std::printf("  %-24s %5dx%-5d %6.1f MB %s\n", name, image->width(), image->height(),
                    double(image->sizeInBytes()) / 1e6, fresh ? "own buffer" : "shared");
        if (fresh)
            bytes += double(image->sizeInBytes());
    }
    const QImage &scaled = w.Img2->scaledPicture();
    std::printf("  %-24s %5dx%-5d %6.1f MB own buffer\n", "view's scaled copy", scaled.width(),
                scaled.height(), double(scaled.sizeInBytes()) / 1e6);
    bytes += double(scaled.sizeInBytes());
    const double picture = double(kWidth) * kHeight * 4;
    const double times = bytes / picture;
    std::printf("  distinct buffers: %zu + scaled copy = %.1f MB = %.2f x the picture "
                "(%.0f MB); goal < 4: %s\n",
                seen.size(), bytes / 1e6, times, picture / 1e6, times < 4 ? "met" : "MISSED");
    std::printf("  RSS now %.1f MB (%.1f MB above the window without a picture = %.2f x the "
                "picture), peak RSS %.1f MB\n",
                Bench::rssMB(), Bench::rssMB() - rssBeforeMB,
                (Bench::rssMB() - rssBeforeMB) * 1e6 / picture, Bench::peakRssMB());
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool steps = argc > 1 && std::strcmp(argv[1], "steps") == 0;
    const int runs = argc > 1 && !steps ? std::max(3, std::atoi(argv[1])) : 7;

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/inkwerk_bench_preview_XXXXXX"));
    if (!dir.isValid())
        return 1;
    const QString a = dir.filePath(QStringLiteral("a.jpg"));
    const QString b = dir.filePath(QStringLiteral("b.jpg"));
    if (!Bench::writePhotoJpeg(QFile::encodeName(a).constData(), kWidth, kHeight, kQuality)
        || !QFile::copy(a, b))
        return 1;
    QFile file(a);
    if (!file.open(QIODevice::ReadOnly))
        return 1;
    const QByteArray jpeg = file.readAll();
    std::printf("source: %dx%d q%d JPEG, %.1f MB; %d runs each\n", kWidth, kHeight, kQuality,
                double(jpeg.size()) / 1e6, runs);

    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    QDir(dir.path()).mkdir(QStringLiteral("settings"));
    Bench::Dialogs dialogs;
    TForm1 w(dir.filePath(QStringLiteral("settings")) + QLatin1Char('/'), &dialogs);
    PaintCounter counter;
    w.Img2->installEventFilter(&counter);
    w.show();
    if (!waitForPaint(counter, 0))
        return 1;
    const double rssBefore = Bench::rssMB();

    dialogs.files = {a, b};
    w.SpeedButton1Click();   // adds both and previews the first
    if (!waitForPaint(counter, counter.paints - 1) || w.model().entryCount() != 2)
        return 1;
    std::printf("view %dx%d\n", w.Img2->width(), w.Img2->height());

    if (steps) {
        for (const QString &rot : {QStringLiteral("3"), QStringLiteral("1")}) {
            printSteps(w, counter, rot);   // once to warm up
            printSteps(w, counter, rot);
        }
        return 0;
    }
    if (!measureSelection(w, counter, jpeg, QStringLiteral("3"), runs)
        || !measureEdits(w, counter, runs * 2)
        || !measureSelection(w, counter, jpeg, QStringLiteral("1"), runs)
        || !measureEdits(w, counter, runs * 2))
        return 1;
    measureMemory(w, rssBefore);
    return 0;
}
