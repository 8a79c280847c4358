// Batch benchmark: a START run ("Alle Einträge") of the real main window over N JPEGs of
// 6000x4000 at q80 into an output folder with timestamp names, against straight
// libjpeg-turbo decode + encode of the same files with the same quality and smoothing,
// side by side. Goal: at most 1.15 x per job. Also resident memory after each job, which
// must stay flat from the first job to the last.
//   bench_batch [files=20] [rounds=2]
// The files go to a temporary folder under /tmp (about 5 MB each) and are removed after.
#include "benchcommon.h"

#include "app/widgets/tform1.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QTemporaryDir>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 80;

struct JobMarks {
    double loadStart = 0, loaded = 0, stamped = 0, saveStart = 0, saved = 0;
};

struct RunResult {
    std::vector<Bench::Sample> jobs;   // per job: from the end of the previous one
    std::vector<JobMarks> marks;
    std::vector<double> rssAfterJob;
    bool ok = false;
};

// One START run over every entry; the times come from the imaging component's events.
RunResult windowRun(TForm1 &w)
{
    MainModel &m = w.model();
    RunResult result;
    const auto finished = m.Img2.onFinishedLoadSave;
    const auto progress = m.Img2.onProgress;
    bool saving = false;   // the next progress 0 starts a save
    JobMarks marks;
    double lastWall = 0, lastCpu = 0;
    m.Img2.onProgress = [&](int p) {
        if (p == 0) {
            if (saving)
                marks.saveStart = Bench::nowMs();
            else if (marks.loadStart == 0)
                marks.loadStart = Bench::nowMs();
        }
        progress(p);
    };
    m.Img2.onFinishedLoadSave = [&] {
        if (!m.batchRunning) {
            finished();
            return;
        }
        if (!saving) {
            marks.loaded = Bench::nowMs();
            finished();
            marks.stamped = Bench::nowMs();
            saving = true;
            return;
        }
        finished();
        marks.saved = Bench::nowMs();
        const double cpu = Bench::cpuMs();
        result.jobs.push_back({marks.saved - lastWall, cpu - lastCpu});
        result.marks.push_back(marks);
        result.rssAfterJob.push_back(Bench::rssMB());
        lastWall = Bench::nowMs();
        lastCpu = Bench::cpuMs();
        marks = JobMarks();
        saving = false;
    };
    lastWall = Bench::nowMs();
    lastCpu = Bench::cpuMs();
    w.AlleEintrge2->trigger();
    m.Img2.onFinishedLoadSave = finished;
    m.Img2.onProgress = progress;
    result.ok = int(result.jobs.size()) == m.entryCount();
    return result;
}

void printSteps(const RunResult &r)
{
    std::vector<double> before, load, stamp, between, save;
    double prevEnd = 0;
    for (size_t i = 0; i < r.marks.size(); ++i) {
        const JobMarks &j = r.marks[i];
        if (i > 0)
            before.push_back(j.loadStart - prevEnd);
        load.push_back(j.loaded - j.loadStart);
        stamp.push_back(j.stamped - j.loaded);
        between.push_back(j.saveStart - j.stamped);
        save.push_back(j.saved - j.saveStart);
        prevEnd = j.saved;
    }
    std::printf("  steps of a job (median ms): select+timestamp %.1f, read+decode %.1f, "
                "copies+stamp(+turn) %.1f, to save %.1f, encode+write %.1f\n",
                Bench::median(before), Bench::median(load), Bench::median(stamp),
                Bench::median(between), Bench::median(save));
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const int count = argc > 1 ? std::clamp(std::atoi(argv[1]), 2, 100) : 20;
    const int rounds = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 10) : 2;

    QTemporaryDir dir(QStringLiteral("/tmp/inkwerk_bench_batch_XXXXXX"));
    if (!dir.isValid())
        return 1;
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    QDir(dir.path()).mkdir(QStringLiteral("ref"));
    QDir(dir.path()).mkdir(QStringLiteral("settings"));
    const QString outDir = dir.filePath(QStringLiteral("out"));
    // One picture made once and copied: encoding 24 MP of noise takes a second per file.
    QStringList sources;
    const QString first = dir.filePath(QStringLiteral("p00.jpg"));
    if (!Bench::writePhotoJpeg(QFile::encodeName(first).constData(), kWidth, kHeight, kQuality))
        return 1;
    sources.append(first);
    for (int i = 1; i < count; ++i) {
        const QString copy = dir.filePath(QStringLiteral("p%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if (!QFile::copy(first, copy))
            return 1;
        sources.append(copy);
    }
    std::printf("%d files of %dx%d q%d, %.1f MB each, in %s; %d rounds\n", count, kWidth,
                kHeight, kQuality, double(QFile(first).size()) / 1e6, qPrintable(dir.path()),
                rounds);

    QApplication app(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    Bench::Dialogs dialogs;
    TForm1 w(dir.filePath(QStringLiteral("settings")) + QLatin1Char('/'), &dialogs);
    w.show();
    QApplication::processEvents();
    dialogs.files = sources;
    w.SpeedButton1Click();
    MainModel &m = w.model();
    if (m.entryCount() != count)
        return 1;
    for (int row = 0; row < m.NGrid2.rowCount(); ++row) {
        m.NGrid2.setCell(Col::AVerz, row, outDir);
        m.NGrid2.setCell(Col::TimeDN, row, QStringLiteral("1"));
    }
    const int quality = m.Img2.jpegSaveQuality();
    const int smoothing = m.Img2.jpegSaveSmooth();
    std::printf("save settings: quality %d, smoothing %d (both sides)\n", quality, smoothing);

    std::vector<Bench::Sample> ours, ref;
    bool flat = true;
    for (int round = 0; round < rounds; ++round) {
        std::vector<unsigned char> rgb;
        std::vector<Bench::Sample> refRound;
        std::vector<double> refDecode, refEncode;
        for (int i = 0; i < count; ++i) {
            Bench::Stopwatch watch;
            double decodeMs = 0;
            if (!Bench::referenceJob(sources[i], dir.filePath(QStringLiteral("ref/r.jpg")), quality,
                              smoothing, rgb, decodeMs))
                return 1;
            refRound.push_back(watch.elapsed());
            refDecode.push_back(decodeMs);
            refEncode.push_back(refRound.back().wall - decodeMs);
        }
        rgb = std::vector<unsigned char>();

        const double rssBefore = Bench::rssMB();
        const RunResult run = windowRun(w);
        if (!run.ok) {
            std::fprintf(stderr, "the run did not save every job\n");
            return 1;
        }
        std::printf("round %d:\n", round + 1);
        std::printf("  libjpeg-turbo decode+encode per job: median %7.1f ms wall, %7.1f ms CPU\n",
                    Bench::medianWall(refRound), Bench::medianCpu(refRound));
        std::printf("  steps of a libjpeg-turbo job (median ms): read+decode %.1f, "
                    "encode+write %.1f\n",
                    Bench::median(refDecode), Bench::median(refEncode));
        std::printf("  window run per job:                  median %7.1f ms wall, %7.1f ms CPU\n",
                    Bench::medianWall(run.jobs), Bench::medianCpu(run.jobs));
        printSteps(run);
        const double growth = run.rssAfterJob.back() - run.rssAfterJob.front();
        std::printf("  RSS before the run %.1f MB; after job 1 %.1f MB, after job %d %.1f MB "
                    "(%+.1f MB); peak %.1f MB\n",
                    rssBefore, run.rssAfterJob.front(), count, run.rssAfterJob.back(), growth,
                    Bench::peakRssMB());
        // Flat: the last job holds no more than a tenth of a picture above the first.
        if (growth > double(kWidth) * kHeight * 4 / 10 / 1e6)
            flat = false;
        ours.insert(ours.end(), run.jobs.begin(), run.jobs.end());
        ref.insert(ref.end(), refRound.begin(), refRound.end());
    }
    const double ratio = Bench::medianWall(ours) / Bench::medianWall(ref);
    std::printf("all rounds: window %.1f ms, libjpeg-turbo %.1f ms per job (median wall); "
                "CPU %.1f vs %.1f ms\n",
                Bench::medianWall(ours), Bench::medianWall(ref), Bench::medianCpu(ours),
                Bench::medianCpu(ref));
    std::printf("ratio %.3f wall, %.3f CPU; goal <= 1.15: %s (%.0f%% of the goal); memory "
                "flat: %s\n",
                ratio, Bench::medianCpu(ours) / Bench::medianCpu(ref),
                ratio <= 1.15 ? "met" : "MISSED", ratio / 1.15 * 100, flat ? "yes" : "NO");
    return 0;
}
