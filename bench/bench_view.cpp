// Times the preview's scaled copy: a whole rebuild and the partial update after a stamp
// was redrawn, for a 24-megapixel picture in a window-sized view.
//   bench_view [repetitions]
#include "imaging/multiimage.h"
#include "imaging/widgets/multiimageview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

// Thread CPU time: the figures stay meaningful on a machine shared with other work.
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

QImage testPicture(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QRandomGenerator random(7);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = 0xff000000u | (random.generate() & 0xffffffu);
    }
    return image;
}

// Counts the paint events the view gets, to show that the partial update repaints.
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

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int repetitions = argc > 1 ? std::max(3, atoi(argv[1])) : 15;

    MultiImage image;
    image.setPicture(testPicture(6000, 4000));
    MultiImageView view;
    view.resize(700, 480);
    view.setImage(&image);
    view.show();
    QApplication::processEvents();
    PaintCounter counter;
    view.installEventFilter(&counter);

    std::vector<double> rebuild, rebuildCpu, rebuildPaint, partial, partialCpu;
    QElapsedTimer timer;
    for (int i = 0; i < repetitions; ++i) {
        timer.start();
        const double cpu = cpuMs();
        view.pictureChanged();
        view.scaledPicture();
        rebuildCpu.push_back(cpuMs() - cpu);
        rebuild.push_back(timer.nsecsElapsed() / 1e6);

        timer.start();
        view.pictureChanged();
        view.repaint();
        rebuildPaint.push_back(timer.nsecsElapsed() / 1e6);
    }

    const int paintsBefore = counter.paints;
    // A stamp of 400 x 60 pixels in the lower right corner, drawn anew each time.
    const QRect stamp(6000 - 420, 4000 - 80, 400, 60);
    for (int i = 0; i < repetitions * 4; ++i) {
        {
            QPainter p(&image.picture());
            p.fillRect(stamp, QColor::fromHsv((i * 37) % 360, 200, 220));
        }
        timer.start();
        const double cpu = cpuMs();
        view.pictureChanged(stamp);
        QApplication::processEvents();
        partialCpu.push_back(cpuMs() - cpu);
        partial.push_back(timer.nsecsElapsed() / 1e6);
    }

    const int partialPaints = counter.paints - paintsBefore;
    std::printf("picture 6000x4000, view 700x480, scaled copy %dx%d\n",
                view.scaledPicture().width(), view.scaledPicture().height());
    std::printf("full rebuild (scale only):      median %.2f ms wall, %.2f ms CPU\n",
                median(rebuild), median(rebuildCpu));
    std::printf("full rebuild + repaint:         median %.2f ms wall\n", median(rebuildPaint));
    std::printf("stamp update 400x60 + repaint:  median %.3f ms wall (max %.3f), %.3f ms CPU\n",
                median(partial), *std::max_element(partial.begin(), partial.end()),
                median(partialCpu));
    std::printf("paint events during the stamp updates: %d of %zu\n", partialPaints,
                partial.size());
    return 0;
}
