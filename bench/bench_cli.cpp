// Command-line benchmark: `inkwerk --render` over N JPEGs of 6000x4000 at q80 with
// --jobs 1 and --jobs 2, against an in-process libjpeg-turbo decode + encode of the same
// files (same quality and smoothing) and against ImageMagick's convert with -annotate
// (same text, shadow and quality, one process per picture) when it is installed, all in
// the same run. Goals: --jobs 2 at most 0.55 x the wall time of --jobs 1; --jobs 1 at most
// 1.10 x the libjpeg-turbo loop. Also the program's resident size at every finished job
// (sampled when its output line arrives) and its peak, against (jobs + 1) pictures.
//   bench_cli [files=20] [rounds=1]
// The files go to a temporary folder under /tmp (about 5 MB each) and are removed after.
#include "benchcommon.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifndef INKWERK_PROGRAM
#error "INKWERK_PROGRAM must name the program"
#endif

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 80;
constexpr int kSmoothing = 20;
constexpr double kPictureMB = double(kWidth) * kHeight * 4 / 1e6;

double residentMB(qint64 pid)
{
    long pages = 0, resident = 0;
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/statm";
    if (FILE *f = std::fopen(path.constData(), "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

struct CliRun {
    double wallMs = 0;
    double peakMB = 0;
    std::vector<double> rssAtJob;
    int written = 0;
    bool ok = false;
};

CliRun runCli(const QString &home, const QStringList &args)
{
    CliRun r;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("INKWERK_HOME"), home);
    p.setProcessEnvironment(env);
    p.setReadChannel(QProcess::StandardOutput);
    const double start = Bench::nowMs();
    p.start(QStringLiteral(INKWERK_PROGRAM), args);
    if (!p.waitForStarted())
        return r;
    const qint64 pid = p.processId();
    while (p.state() != QProcess::NotRunning) {
        p.waitForReadyRead(5);
        const double rss = residentMB(pid);
        r.peakMB = std::max(r.peakMB, rss);
        while (p.canReadLine()) {
            p.readLine();
            ++r.written;
            r.rssAtJob.push_back(rss);
        }
    }
    p.waitForFinished();
    while (p.canReadLine()) {
        p.readLine();
        ++r.written;
    }
    r.wallMs = Bench::nowMs() - start;
    r.ok = p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    if (!r.ok)
        std::fprintf(stderr, "inkwerk failed: %s\n", p.readAllStandardError().constData());
    return r;
}

double referenceRun(const QStringList &sources, const QString &outDir)
{
    std::vector<unsigned char> rgb;
    const double start = Bench::nowMs();
    for (const QString &s : sources) {
        double decodeMs = 0;
        if (!Bench::referenceJob(s, outDir + QStringLiteral("/r.jpg"), kQuality, kSmoothing, rgb, decodeMs))
            return -1;
    }
    return Bench::nowMs() - start;
}

// The default stamp (date and extra text, white with a black shadow of 3 pixels, 20
// points at 96 dpi = 27 pixels, 10 pixels from the top left corner) drawn by convert.
double convertRun(const QString &convert, const QStringList &sources, const QString &outDir)
{
    const double start = Bench::nowMs();
    for (const QString &s : sources) {
        const QString text = QStringLiteral("13.07.2019 Inkwerk");
        QProcess p;
        p.start(convert, {s, QStringLiteral("-font"), QStringLiteral("Liberation-Sans"),
                          QStringLiteral("-pointsize"), QStringLiteral("20"), QStringLiteral("-density"),
                          QStringLiteral("96"), QStringLiteral("-gravity"), QStringLiteral("NorthWest"),
                          QStringLiteral("-fill"), QStringLiteral("black"), QStringLiteral("-annotate"),
                          QStringLiteral("+13+13"), text, QStringLiteral("-fill"), QStringLiteral("white"),
                          QStringLiteral("-annotate"), QStringLiteral("+10+10"), text,
                          QStringLiteral("-quality"), QString::number(kQuality),
                          outDir + QStringLiteral("/c.jpg")});
        if (!p.waitForFinished(600000) || p.exitCode() != 0)
            return -1;
    }
    return Bench::nowMs() - start;
}

void printMemory(const char *label, const CliRun &r, int jobs)
{
    double first = r.rssAtJob.empty() ? 0 : r.rssAtJob.front();
    double last = r.rssAtJob.empty() ? 0 : r.rssAtJob.back();
    std::printf("  %-9s peak %.0f MB = %.2f pictures (goal <= %d); at first job %.0f MB, at last %.0f MB\n",
                label, r.peakMB, r.peakMB / kPictureMB, jobs + 1, first, last);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int files = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;

    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/bench_cli-XXXXXX"));
    const QString home = dir.filePath(QStringLiteral("home"));
    for (const char *sub : {"home", "src", "o1", "o2", "ref", "conv"})
        QDir(dir.path()).mkpath(QString::fromLatin1(sub));
    // Timestamp names would let same-second files replace each other; keep source names.
    {
        QFile dat(home + QStringLiteral("/inkwerk.dat"));
        dat.open(QIODevice::WriteOnly);
        dat.write("Datei\tSuffix\tHG\tSch\tSchGr\tDT\tDArt\tRot\tZT\tZTxt\tAVerz\tTimeDN\tTimeDat\tRx\tRy\tPos\tFontN\tFSize\tFStyle\tHGColor\tSchColor\tTxtColor\tMiniat.\tStpV\t\r\n"
                  "\t\t\t1\t3\t1\t1\t3\t1\tInkwerk\t\t\t\t10\t10\t1\tArial\t20\t000\tclAqua\tclBlack\tclWhite\t\t1\t\r\n");
    }
    std::printf("making %d JPEGs of %dx%d q%d...\n", files, kWidth, kHeight, kQuality);
    QStringList sources;
    for (int i = 0; i < files; ++i) {
        const QString path = dir.filePath(QStringLiteral("src/p%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
        if (!Bench::writePhotoJpeg(QFile::encodeName(path).constData(), kWidth, kHeight, kQuality))
            return 1;
        sources << path;
    }
    const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
    bool haveConvert = false;
    if (!convert.isEmpty()) {
        // A stand-in named convert may be on the path: only ImageMagick's own counts.
        QProcess probe;
        probe.start(convert, {QStringLiteral("-version")});
        haveConvert = probe.waitForFinished() && probe.exitCode() == 0
            && probe.readAllStandardOutput().contains("ImageMagick");
    }

    std::vector<double> ref, j1, j2, conv;
    for (int round = 0; round < rounds; ++round) {
        ref.push_back(referenceRun(sources, dir.filePath(QStringLiteral("ref"))));
        const CliRun one = runCli(home, {"--render", "--jobs", "1", "--out", dir.filePath("o1"), dir.filePath("src")});
        const CliRun two = runCli(home, {"--render", "--jobs", "2", "--out", dir.filePath("o2"), dir.filePath("src")});
        if (!one.ok || !two.ok || one.written != files || two.written != files)
            return 1;
        j1.push_back(one.wallMs);
        j2.push_back(two.wallMs);
        if (haveConvert)
            conv.push_back(convertRun(convert, sources, dir.filePath(QStringLiteral("conv"))));
        std::printf("round %d: libjpeg-turbo %.0f ms, --jobs 1 %.0f ms, --jobs 2 %.0f ms", round + 1,
                    ref.back(), one.wallMs, two.wallMs);
        if (haveConvert)
            std::printf(", convert %.0f ms", conv.back());
        std::printf("\n");
        printMemory("--jobs 1", one, 1);
        printMemory("--jobs 2", two, 2);
    }
    const double r = Bench::median(ref), a = Bench::median(j1), b = Bench::median(j2);
    std::printf("per picture: libjpeg-turbo %.0f ms, --jobs 1 %.0f ms, --jobs 2 %.0f ms\n",
                r / files, a / files, b / files);
    std::printf("--jobs 2 / --jobs 1 = %.2f (goal <= 0.55)\n", b / a);
    std::printf("--jobs 1 / libjpeg-turbo = %.2f (goal <= 1.10)\n", a / r);
    if (haveConvert) {
        const double c = Bench::median(conv);
        std::printf("convert: %.0f ms per picture; convert / --jobs 1 = %.2f, convert / --jobs 2 = %.2f,"
                    " convert / libjpeg-turbo = %.2f\n", c / files, c / a, c / b, c / r);
    } else {
        std::printf("convert: not installed (apt-get install imagemagick)\n");
    }
    return 0;
}
