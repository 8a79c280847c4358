// Times the stamp on a 24-megapixel picture: StampDrawer::draw alone, and the whole
// recomposition (text, font, extent, draw) as one setting change runs it, alternating
// two settings so that every draw really moves the stamp.
//   bench_stamp [draws]
#include "stamp/stampdrawer.h"
#include "stamp/stampfont.h"
#include "stamp/stamptext.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

StampStyle defaultStyle(const QString &text, const QFont &font, int margin)
{
    StampStyle s;
    s.text = text;
    s.font = font;
    s.shadow = true;
    s.offset = 3;
    s.corner = 1;
    s.marginH = s.marginV = margin;
    s.backgroundColor = Qt::white;
    s.shadowColor = Qt::black;
    s.textColor = Qt::yellow;
    return s;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const int draws = argc > 1 ? std::max(5, atoi(argv[1])) : 50;

    QImage working(6000, 4000, QImage::Format_RGB32);
    working.fill(QColor(40, 90, 140));
    StampDrawer drawer;
    const QDateTime time(QDate(2003, 5, 17), QTime(14, 5, 9));
    const StampTextInput input{QStringLiteral("1"), true, QStringLiteral("Urlaub"), time};
    const QFont font = stampFont(QStringLiteral("Arial"), 20, QStringLiteral("100"), 96);

    // The first draw also loads the font; it is not counted.
    drawer.draw(working, defaultStyle(composeStampText(input), font, 10));
    QElapsedTimer timer;

    std::vector<double> drawWall, drawCpu, allWall, allCpu;
    for (int i = 0; i < draws; ++i) {
        const StampStyle style = defaultStyle(composeStampText(input), font, i % 2 ? 12 : 10);
        timer.start();
        double cpu = cpuMs();
        drawer.draw(working, style);
        drawCpu.push_back(cpuMs() - cpu);
        drawWall.push_back(timer.nsecsElapsed() / 1e6);

        timer.start();
        cpu = cpuMs();
        const QString text = composeStampText(input);
        const QFont f = stampFont(QStringLiteral("Arial"), 20, QStringLiteral("100"), screenDpi());
        const QSize extent = stampExtent(text, f);
        drawer.draw(working, defaultStyle(text, f, i % 2 ? 10 : 12));
        allCpu.push_back(cpuMs() - cpu);
        allWall.push_back(timer.nsecsElapsed() / 1e6);
        if (extent.isEmpty())
            return 1;
    }

    // A new picture: the next draw only backs up the area it covers.
    drawer.forget();
    timer.start();
    drawer.draw(working, defaultStyle(composeStampText(input), font, 10));
    const double first = timer.nsecsElapsed() / 1e6;

    std::printf("picture 6000x4000 RGB32, stamp \"%s\" Arial 20 pt bold, %d draws each\n",
                qPrintable(composeStampText(input)), draws);
    std::printf("first draw on a new picture: %.2f ms wall\n", first);
    std::printf("draw:                          median %.3f ms wall (max %.3f), %.3f ms CPU\n",
                median(drawWall), *std::max_element(drawWall.begin(), drawWall.end()),
                median(drawCpu));
    std::printf("text + font + extent + draw:   median %.3f ms wall (max %.3f), %.3f ms CPU\n",
                median(allWall), *std::max_element(allWall.begin(), allWall.end()),
                median(allCpu));
    return 0;
}
