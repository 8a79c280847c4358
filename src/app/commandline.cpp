#include "app/commandline.h"

#include "batch/batchrunner.h"
#include "batch/jobpaths.h"
#include "imaging/metadata/exifreader.h"
#include "model/inkwerkerror.h"
#include "model/pathrules.h"
#include "model/settingsrow.h"
#include "model/stringgrid.h"
#include "stamp/imagetimestamp.h"
#include "stamp/rowstamp.h"
#include "stamp/stampfont.h"
#include "storage/configlist.h"
#include "storage/settingsfolder.h"
#include "storage/layoutfile.h"
#include "storage/tablefile.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>
#include <QThread>
#include <atomic>
#include <csignal>
#include <optional>
#include <unistd.h>

namespace CommandLine {

namespace {

std::atomic_bool g_stopRequested{false};

extern "C" void onInterrupt(int)
{
    g_stopRequested.store(true);
}

const char *const kHelp =
    "Usage:\n"
    "  inkwerk [FILE|FOLDER...]                open the window with these in the job list\n"
    "  inkwerk --render [OPTIONS] FILE|FOLDER... write stamped copies without a window\n"
    "  inkwerk --info [--no-exif] [--time-shift T] FILE...\n"
    "                                          print each file's dates and camera fields\n"
    "\n"
    "Render options:\n"
    "  --layout FILE   stamp settings from a layout file (.ikl); else the settings last\n"
    "                  shown in the window (inkwerk.dat), else the built-in ones\n"
    "  --out DIR       write every picture into DIR (created when missing)\n"
    "  --quality N     JPEG quality, 1 to 100 (default: the program setting)\n"
    "  --no-exif       use the file time instead of the EXIF date\n"
    "  --time-shift [+|-][D ]HH:MM[:SS]\n"
    "                  correct the camera's clock for this run (also --info): added to\n"
    "                  every image timestamp, so the stamp, the timestamp name and the\n"
    "                  file time carry the corrected time; the time of rendering\n"
    "                  (\"aktuelle\") is not moved, and the EXIF dates inside the copies\n"
    "                  stay as the camera wrote them. Example: --time-shift +1:00, or\n"
    "                  \"-1 00:00\" for a day earlier (default: the program setting\n"
    "                  \"Zeitkorrektur\")\n"
    "  --jobs N        pictures rendered at once (default: the number of processors)\n"
    "  --overwrite     allow jobs that replace their source picture\n"
    "  --lossless      stamp JPEGs without re-encoding them: only the blocks under the\n"
    "                  stamp are encoded again (also the program setting \"JPEG\n"
    "                  verlustfrei stempeln\"); the line says which path a job took\n"
    "  --strip-metadata  write pixels only (by default a copy keeps the source's EXIF,\n"
    "                  XMP, IPTC, colour profile and comment where its format can hold them)\n"
    "\n"
    "  --help          show this help\n"
    "  --version       show the version\n"
    "\n"
    "Folders add their pictures (jpg, bmp, dib, gif, tif, pcx, tga, png). One line\n"
    "\"SOURCE -> OUTPUT\" is printed per picture written; pictures not written are named\n"
    "on standard error. Exit status: 0 all written, 1 some not, 2 bad usage.\n"
    "\n"
    "Example:\n"
    "  inkwerk --render --layout urlaub.ikl --out ~/Bilder/gestempelt ~/Bilder/Urlaub\n";

struct Options {
    Mode mode = Mode::Window;
    QString layout;
    QString out;
    std::optional<int> quality;
    bool noExif = false;
    std::optional<TimeShift> timeShift;
    int jobs = 0;
    bool overwrite = false;
    bool stripMetadata = false;
    bool lossless = false;
    QStringList paths;
    QString error;
};

bool takesValue(const QString &name)
{
    return name == QLatin1String("--layout") || name == QLatin1String("--out")
        || name == QLatin1String("--quality") || name == QLatin1String("--jobs")
        || name == QLatin1String("--time-shift");
}

std::optional<int> positiveNumber(const QString &text, int max)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < 1 || v > max)
        return std::nullopt;
    return v;
}

Options parse(const QStringList &args)
{
    Options o;
    bool render = false, info = false, help = false, version = false, onlyPaths = false;
    QStringList renderOnly;
    for (int i = 0; i < args.size(); ++i) {
        QString a = args.at(i);
        if (onlyPaths || !a.startsWith(QLatin1String("--"))) {
            o.paths.append(a);
            continue;
        }
        if (a == QLatin1String("--")) {
            onlyPaths = true;
            continue;
        }
        QString value;
        bool hasValue = false;
        const int eq = a.indexOf(QLatin1Char('='));
        if (eq > 0) {
            value = a.mid(eq + 1);
            a = a.left(eq);
            hasValue = true;
        }
        if (takesValue(a)) {
            if (!hasValue) {
                if (i + 1 >= args.size()) {
                    o.error = QStringLiteral("option %1 needs a value").arg(a);
                    break;
                }
                value = args.at(++i);
            }
            // Like --no-exif, a time shift also serves --info.
            if (a != QLatin1String("--time-shift"))
                renderOnly.append(a);
        } else if (hasValue) {
            o.error = QStringLiteral("option %1 takes no value").arg(a);
            break;
        }
        if (a == QLatin1String("--render")) render = true;
        else if (a == QLatin1String("--info")) info = true;
        else if (a == QLatin1String("--help")) help = true;
        else if (a == QLatin1String("--version")) version = true;
        else if (a == QLatin1String("--no-exif")) o.noExif = true;
        else if (a == QLatin1String("--overwrite")) { o.overwrite = true; renderOnly.append(a); }
        else if (a == QLatin1String("--strip-metadata")) { o.stripMetadata = true; renderOnly.append(a); }
        else if (a == QLatin1String("--lossless")) { o.lossless = true; renderOnly.append(a); }
        else if (a == QLatin1String("--layout")) o.layout = value;
        else if (a == QLatin1String("--out")) o.out = value;
        else if (a == QLatin1String("--time-shift")) {
            o.timeShift = TimeShift::parse(value);
            if (!o.timeShift) { o.error = QStringLiteral("--time-shift takes [+|-][D ]HH:MM[:SS] (hours 0-23), such as +1:00 or \"-1 00:00\", not \"%1\"").arg(value); break; }
        }
        else if (a == QLatin1String("--quality")) {
            o.quality = positiveNumber(value, 100);
            if (!o.quality) { o.error = QStringLiteral("--quality takes a number from 1 to 100, not \"%1\"").arg(value); break; }
        } else if (a == QLatin1String("--jobs")) {
            const std::optional<int> n = positiveNumber(value, 256);
            if (!n) { o.error = QStringLiteral("--jobs takes a number from 1 to 256, not \"%1\"").arg(value); break; }
            o.jobs = *n;
        } else {
            o.error = QStringLiteral("unknown option %1").arg(a);
            break;
        }
    }
    if (!o.error.isEmpty()) {
        o.mode = Mode::UsageError;
        return o;
    }
    if (help) { o.mode = Mode::Help; return o; }
    if (version) { o.mode = Mode::Version; return o; }
    if (render && info) {
        o.error = QStringLiteral("--render and --info cannot be combined");
    } else if (render) {
        o.mode = Mode::Render;
        if (o.paths.isEmpty())
            o.error = QStringLiteral("--render needs at least one file or folder");
    } else if (info) {
        o.mode = Mode::Info;
        if (!renderOnly.isEmpty())
            o.error = QStringLiteral("%1 goes with --render only").arg(renderOnly.first());
        else if (o.paths.isEmpty())
            o.error = QStringLiteral("--info needs at least one file");
    } else if (!renderOnly.isEmpty() || o.noExif || o.timeShift) {
        o.error = QStringLiteral("%1 goes with --render only")
                      .arg(!renderOnly.isEmpty() ? renderOnly.first()
                           : o.noExif            ? QStringLiteral("--no-exif")
                                                 : QStringLiteral("--time-shift"));
    }
    if (!o.error.isEmpty())
        o.mode = Mode::UsageError;
    return o;
}

QString native(const QString &path)
{
    return QDir::toNativeSeparators(path);
}

// A value on one line of tab-separated output.
QString field(const QString &value)
{
    QString v = value;
    for (QChar &c : v)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return v;
}

ConfigList readConfig(const QString &folder, QTextStream &err)
{
    const QString path = folder + configFileName();
    ConfigList config;
    if (QFileInfo::exists(path)) {
        try {
            ConfigList read;
            read.loadFromFile(path);
            read.completeSevenLines();
            read.validate();
            if (const std::optional<QString> bad = read.takeMalformedTimeShift())
                err << native(path) << ": malformed time shift \"" << *bad << "\" (using none)\n";
            return read;
        } catch (const InkwerkError &e) {
            err << native(path) << ": " << e.message() << " (using the defaults)\n";
        }
    }
    config.setMissingFileDefaults(QRect(0, 0, 0, 0));
    return config;
}

// The stamp settings every job starts from: inkwerk.dat's row, else the built-in one;
// like the window at start, without rotation.
QStringList savedRow(const QString &folder, QTextStream &err)
{
    StringGrid grid(Col::Count, 2);
    grid.setRow(0, SettingsRow::captions());
    grid.setRow(1, SettingsRow::defaults());
    const QString path = folder + settingsGridFileName();
    if (QFileInfo::exists(path)) {
        StringGrid read = grid;
        try {
            TableFile::LoadFromFile(read, path);
            grid = read;
        } catch (const InkwerkError &e) {
            err << native(path) << ": " << e.message() << " (using the defaults)\n";
        }
    }
    QStringList row = grid.row(1);
    row[Col::Rot] = QStringLiteral("3");
    return row;
}

// The correction of this run: --time-shift, else the program setting. A correction in
// force is named once, so that nobody forgets it is on.
TimeShift timeShiftOf(const Options &o, const ConfigList &config, QTextStream &err)
{
    const TimeShift shift = o.timeShift.value_or(config.timeShift());
    if (!shift.isZero()) {
        err << "inkwerk: time shift " << shift.text()
            << " added to every image timestamp (the EXIF dates in the copies are kept)\n";
        err.flush();
    }
    return shift;
}

QString reasonText(const BatchRunner::Report &r)
{
    if (r.skipped)
        return r.skipReason == QLatin1String("would replace the source")
            ? QStringLiteral("not written: it would replace the source (use --overwrite)")
            : QStringLiteral("not written: stopped");
    switch (r.result.outcome) {
    case JobRenderer::Outcome::Written: return QString();
    case JobRenderer::Outcome::NotLoaded:
        return QFileInfo::exists(r.plan.source) ? QStringLiteral("the picture cannot be read")
                                                : QStringLiteral("no such file");
    case JobRenderer::Outcome::NoWriter: return QStringLiteral("no writer for this file type");
    case JobRenderer::Outcome::NotSaved:
        return QStringLiteral("cannot write %1").arg(native(r.plan.output));
    case JobRenderer::Outcome::InvalidSettings: return r.result.detail;
    }
    return QString();
}

void drawProgress(QTextStream &err, int done, int total)
{
    constexpr int width = 30;
    const int filled = total > 0 ? done * width / total : width;
    err << '\r' << '[' << QString(filled, QLatin1Char('#')) << QString(width - filled, QLatin1Char('.'))
        << "] " << done << '/' << total;
    err.flush();
}

int render(const Options &o, QTextStream &out, QTextStream &err)
{
    const QString folder = settingsFolder();
    const ConfigList config = readConfig(folder, err);
    RenderOptions options = RenderOptions::fromConfig(config, screenDpi());
    if (o.quality)
        options.jpegQuality = *o.quality;
    if (o.noExif)
        options.exifPriority = false;
    options.keepMetadata = !o.stripMetadata;
    options.losslessJpeg = options.losslessJpeg || o.lossless;
    options.timeShift = timeShiftOf(o, config, err);

    QStringList base = savedRow(folder, err);
    if (!o.layout.isEmpty()) {
        try {
            base = LayoutFile::rowOver(base, o.layout);
        } catch (const InkwerkError &e) {
            err << "inkwerk: " << e.message() << '\n';
            return 2;
        }
    }
    try {
        RowStamp::validate(base);
        RowStamp::font(base, options.dpi);
    } catch (const InkwerkError &e) {
        err << "inkwerk: " << (o.layout.isEmpty() ? native(folder + settingsGridFileName()) : native(o.layout))
            << ": " << e.message() << '\n';
        return 2;
    }
    if (!o.out.isEmpty()) {
        const QString dir = QFileInfo(o.out).absoluteFilePath();
        if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir()) {
            err << "inkwerk: --out " << native(o.out) << " is no folder\n";
            return 2;
        }
        if (!ensureFolderExists(dir)) {
            err << "inkwerk: cannot create the folder " << native(o.out) << '\n';
            return 2;
        }
        base[Col::AVerz] = PathRules::storedForm(dir);
    }

    // Every argument must name something: a mistyped folder is a usage error, before
    // anything is written.
    QStringList sources;
    QSet<QString> seen;
    for (const QString &p : o.paths) {
        const QFileInfo info(p);
        if (!info.exists()) {
            err << "inkwerk: no such file or folder: " << native(p) << '\n';
            return 2;
        }
        const QStringList files = info.isDir()
            ? JobPaths::folderPictures(info.absoluteFilePath())
            : QStringList{PathRules::storedForm(info.absoluteFilePath())};
        for (const QString &file : files)
            if (!seen.contains(file)) {
                seen.insert(file);
                sources.append(file);
            }
    }

    std::vector<QStringList> rows;
    rows.reserve(size_t(sources.size()));
    for (const QString &source : sources) {
        QStringList row = base;
        row[Col::Datei] = source;
        row[Col::Suffix] = PathRules::fileType(source);
        rows.push_back(row);
    }

    BatchRunner runner(options);
    runner.setOverwriteAllowed(o.overwrite);
    runner.setThreads(o.jobs > 0 ? o.jobs : QThread::idealThreadCount());
    const bool progress = isatty(STDERR_FILENO);
    g_stopRequested.store(false);
    auto previous = std::signal(SIGINT, onInterrupt);
    auto previousTerm = std::signal(SIGTERM, onInterrupt);

    int failed = 0;
    int finished = 0;
    const int total = int(rows.size());
    if (progress && total > 0)
        drawProgress(err, 0, total);
    runner.run(rows, g_stopRequested, [&](const BatchRunner::Report &r) {
        if (progress)
            err << "\r\033[K";
        if (!r.skipped && r.result.ok()) {
            out << native(r.plan.source) << " -> " << native(r.plan.output);
            if (r.result.lossless)
                out << " (lossless)";
            else if (!r.result.fallback.isEmpty())
                out << " (re-encoded: " << r.result.fallback << ')';
            out << '\n';
            out.flush();
        } else {
            ++failed;
            err << native(r.plan.source) << ": " << reasonText(r) << '\n';
        }
        ++finished;
        if (progress)
            drawProgress(err, finished, total);
        err.flush();
    });
    if (progress && total > 0)
        err << "\r\033[K";
    err.flush();
    std::signal(SIGINT, previous);
    std::signal(SIGTERM, previousTerm);
    return failed > 0 ? 1 : 0;
}

int info(const Options &o, QTextStream &out, QTextStream &err)
{
    const ConfigList config = readConfig(settingsFolder(), err);
    const bool exifPriority = config.exifPriority() && !o.noExif;
    const TimeShift shift = timeShiftOf(o, config, err);
    TExif exif;
    int failed = 0;
    for (const QString &path : o.paths) {
        const QFileInfo fi(path);
        if (!fi.isFile()) {
            err << native(path) << ": " << (fi.exists() ? "no file" : "no such file") << '\n';
            ++failed;
            continue;
        }
        ImageTimestamp stamp;
        try {
            exif.Clear();
            stamp = determineImageTimestamp(path, exifPriority, exif, shift);
        } catch (const InkwerkError &e) {
            err << native(path) << ": " << e.message() << '\n';
            ++failed;
            continue;
        }
        // The camera fields are shown whatever gave the timestamp.
        if (!exifPriority) {
            try {
                exif.ReadFromFile(path);
            } catch (const InkwerkError &) {
                exif.Clear();
            }
        }
        const bool valid = exif.Valid;
        const QStringList fields = {
            native(path),
            stamp.time.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
            stamp.fromExif ? QStringLiteral("exif") : QStringLiteral("file"),
            valid ? field(exif.DateTimeOriginal) : QString(),
            valid ? field(exif.DateTimeDigitized) : QString(),
            valid ? field(exif.Make) : QString(),
            valid ? field(exif.Model) : QString(),
            valid ? field(exif.OrientationText) : QString(),
        };
        out << fields.join(QLatin1Char('\t')) << '\n';
    }
    out.flush();
    return failed > 0 ? 1 : 0;
}

} // namespace

Mode modeOf(const QStringList &args)
{
    return parse(args).mode;
}

QStringList windowPaths(const QStringList &args)
{
    return parse(args).paths;
}

int run(const QStringList &args, QTextStream &out, QTextStream &err)
{
    const Options o = parse(args);
    switch (o.mode) {
    case Mode::Help:
        out << kHelp;
        return 0;
    case Mode::Version:
        out << "Inkwerk 1.0.3\n";
        return 0;
    case Mode::UsageError:
        err << "inkwerk: " << o.error << "\nTry 'inkwerk --help'.\n";
        return 2;
    case Mode::Render:
        return render(o, out, err);
    case Mode::Info:
        return info(o, out, err);
    case Mode::Window:
        break;
    }
    return 2;
}

} // namespace CommandLine
