// Start-up benchmark: from process start to the first painted main window, measured by
// a parent process around fresh child processes that start exactly as the program does.
// Goal: median under 0.5 s.
//   bench_startup [runs=10]   offscreen, then under Xvfb when xvfb-run is installed
// Each child runs with its own empty settings folder (INKWERK_HOME), as on a first start.
#include "benchcommon.h"

#include "app/widgets/tform1.h"
#include "storage/settingsfolder.h"

#include <QApplication>
#include <QFont>
#include <QTemporaryDir>
#include <QTimer>
#include <cerrno>
#include <cstring>
#include <string>

#include <sys/wait.h>

namespace {

// --- Child: the program's own start, timed from inside -------------------------------

double g_mainEntry = 0;

// Reports once the first paint of the main window is over: the paint pass that draws
// the window's widgets runs in one event, so a zero timer fired from it runs after the
// frame was drawn and handed to the platform.
class FirstPaint : public QObject
{
public:
    FirstPaint(QWidget *window, int fd, double appMs, double formMs)
        : m_window(window), m_fd(fd), m_app(appMs), m_form(formMs)
    {
    }
    void setShown(double ms) { m_show = ms; }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_seen && event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window) {
            m_seen = true;
            QTimer::singleShot(0, [this] { report(); });
        }
        return false;
    }

private:
    void report()
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
            + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
        char line[256];
        const int n = std::snprintf(line, sizeof line, "%.3f %.3f %.3f %.3f %.3f\n", m_app,
                                    m_form, m_show, Bench::nowMs() - g_mainEntry, cpu);
        if (write(m_fd, line, size_t(n)) != n)
            _exit(3);
        // Nothing after the first frame is measured: leave without tearing down.
        _exit(0);
    }

    QWidget *m_window;
    int m_fd;
    double m_app, m_form, m_show = 0;
    bool m_seen = false;
};

int childMain(int argc, char **argv, int fd)
{
    // As src/app/main.cpp does, with timestamps between the steps.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Inkwerk"));
    QApplication::setOrganizationName(QStringLiteral("inkwerk"));
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 9));
    const double appMs = Bench::nowMs() - g_mainEntry;

    TForm1 form1(settingsFolder());
    const double formMs = Bench::nowMs() - g_mainEntry;
    FirstPaint probe(&form1, fd, appMs, formMs);
    app.installEventFilter(&probe);
    form1.show();
    probe.setShown(Bench::nowMs() - g_mainEntry);
    QTimer::singleShot(10000, [] { _exit(4); });
    return app.exec();
}

// --- Parent: spawns the children and times them from outside -------------------------

struct ChildResult {
    double total = 0;   // parent's wall time from fork to the report
    double app = 0, form = 0, show = 0, painted = 0, cpu = 0;   // child's own figures
};

bool runChild(const char *self, const char *platform, const QString &home, ChildResult &r)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const double start = Bench::nowMs();
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        setenv("QT_QPA_PLATFORM", platform, 1);
        setenv("INKWERK_HOME", QFile::encodeName(home).constData(), 1);
        // Qt's start-up notes (no runtime folder, size hints) would drown the figures.
        if (qEnvironmentVariableIsEmpty("INKWERK_BENCH_VERBOSE"))
            if (std::freopen("/dev/null", "w", stderr) == nullptr)
                _exit(126);
        const std::string fd = std::to_string(fds[1]);
        execl(self, self, "--child", fd.c_str(), static_cast<char *>(nullptr));
        _exit(127);
    }
    close(fds[1]);
    char buffer[256] = {};
    size_t used = 0;
    while (used < sizeof buffer - 1) {
        const ssize_t n = read(fds[0], buffer + used, sizeof buffer - 1 - used);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        used += size_t(n);
        if (std::memchr(buffer, '\n', used))
            break;
    }
    r.total = Bench::nowMs() - start;
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return std::sscanf(buffer, "%lf %lf %lf %lf %lf", &r.app, &r.form, &r.show, &r.painted,
                       &r.cpu) == 5;
}

bool measure(const char *self, const char *platform, const char *label, int runs)
{
    QTemporaryDir home(QStringLiteral("/tmp/inkwerk_bench_startup_XXXXXX"));
    std::vector<double> total, app, form, show, painted, cpu;
    ChildResult r;
    if (!runChild(self, platform, home.path() + QLatin1Char('/'), r)) {   // warm-up
        std::printf("%s: the program did not start\n", label);
        return false;
    }
    for (int i = 0; i < runs; ++i) {
        if (!runChild(self, platform, home.path() + QLatin1Char('/'), r)) {
            std::printf("%s: run %d failed\n", label, i + 1);
            return false;
        }
        total.push_back(r.total);
        app.push_back(r.app);
        form.push_back(r.form);
        show.push_back(r.show);
        painted.push_back(r.painted);
        cpu.push_back(r.cpu);
    }
    const double median = Bench::median(total);
    std::printf("%s, %d runs (after one warm-up):\n", label, runs);
    std::printf("  process start to first painted window: median %.1f ms wall (min %.1f, max "
                "%.1f); process CPU %.1f ms\n",
                median, *std::min_element(total.begin(), total.end()),
                *std::max_element(total.begin(), total.end()), Bench::median(cpu));
    std::printf("  inside main (medians): QApplication %.1f ms, TForm1 built %.1f ms, shown "
                "%.1f ms, painted %.1f ms\n",
                Bench::median(app), Bench::median(form), Bench::median(show),
                Bench::median(painted));
    std::printf("  goal < 500 ms: %s (%.0f%% of the goal)\n", median < 500 ? "met" : "MISSED",
                median / 500 * 100);
    return true;
}

bool haveProgram(const char *name)
{
    const QByteArray path = qgetenv("PATH");
    for (const QByteArray &dir : path.split(':'))
        if (!dir.isEmpty() && access((dir + '/' + name).constData(), X_OK) == 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char **argv)
{
    g_mainEntry = Bench::nowMs();
    if (argc == 3 && std::strcmp(argv[1], "--child") == 0)
        return childMain(1, argv, std::atoi(argv[2]));

    const bool xcbOnly = argc > 1 && std::strcmp(argv[1], "--xcb") == 0;
    const int runsArg = xcbOnly ? 2 : 1;
    const int runs = argc > runsArg ? std::clamp(std::atoi(argv[runsArg]), 3, 100) : 10;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0)
        return 1;
    self[n] = '\0';

    if (xcbOnly)
        return measure(self, "xcb", "xcb under Xvfb", runs) ? 0 : 1;

    bool ok = measure(self, "offscreen", "offscreen", runs);
    if (!qEnvironmentVariableIsEmpty("DISPLAY")) {
        ok = measure(self, "xcb", "xcb on $DISPLAY", runs) && ok;
    } else if (haveProgram("xvfb-run")) {
        std::fflush(stdout);
        const std::string count = std::to_string(runs);
        const std::string command = std::string("xvfb-run -a -s '-screen 0 1280x1024x24' '")
            + self + "' --xcb " + count;
        ok = std::system(command.c_str()) == 0 && ok;
    } else {
        std::printf("xcb: no DISPLAY and no xvfb-run, not measured\n");
    }
    return ok ? 0 : 1;
}
