// Imaging benchmark.
//   bench_imaging          JPEG load+save through MultiImage against plain libjpeg-turbo
//                          decode+encode of the same 6000x4000 q80 file, side by side
//                          (medians of several runs), and the median quarter turn.
//   bench_imaging memory   peak resident memory of load + turn + save of that picture,
//                          relative to the picture's own size (4 bytes per pixel).
#include "benchcommon.h"

#include "imaging/multiimage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kQuality = 80;
constexpr int kSmoothing = 20;   // the program's default; the component never encodes without
constexpr int kRuns = 5;
const char *kSource = "/tmp/inkwerk_bench_source.jpg";
const char *kRawOut = "/tmp/inkwerk_bench_raw.jpg";
const char *kOursOut = "/tmp/inkwerk_bench_ours.jpg";

// Smooth colour gradients plus noise, so that the JPEG has a photo's size.
std::vector<unsigned char> photoLikeRgb()
{
    std::vector<unsigned char> rgb(size_t(kWidth) * kHeight * 3);
    std::vector<int> xr(kWidth), xg(kWidth), xb(kWidth);
    for (int x = 0; x < kWidth; ++x) {
        const double f = double(x) / kWidth;
        xr[x] = int(70 * std::sin(f * 7.0));
        xg[x] = int(60 * std::cos(f * 4.0));
        xb[x] = int(50 * std::sin(f * 11.0 + 1.0));
    }
    uint32_t state = 2463534242u;
    for (int y = 0; y < kHeight; ++y) {
        const double f = double(y) / kHeight;
        const int yr = 128 + int(40 * std::cos(f * 5.0));
        const int yg = 120 + int(50 * std::sin(f * 3.0));
        const int yb = 110 + int(45 * std::cos(f * 9.0));
        unsigned char *row = rgb.data() + size_t(y) * kWidth * 3;
        for (int x = 0; x < kWidth; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            // Grain: a shared part and a little per channel, as a camera sensor gives.
            const int grain = int(state & 31) - 16;
            const int r = grain + int((state >> 8) & 7) - 4;
            const int g = grain + int((state >> 12) & 7) - 4;
            const int b = grain + int((state >> 16) & 7) - 4;
            row[x * 3 + 0] = (unsigned char)std::clamp(yr + xr[x] + r, 0, 255);
            row[x * 3 + 1] = (unsigned char)std::clamp(yg + xg[x] + g, 0, 255);
            row[x * 3 + 2] = (unsigned char)std::clamp(yb + xb[x] + b, 0, 255);
        }
    }
    return rgb;
}

// Plain libjpeg-turbo: RGB rows in memory to a JPEG file.
void encodeRgb(const unsigned char *rgb, int width, int height, int smoothing, const char *path)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, kQuality, TRUE);
    cinfo.smoothing_factor = smoothing;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<unsigned char *>(rgb) + size_t(cinfo.next_scanline) * width * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bench::writeFile(path, out, outSize);
    std::free(out);
}

// Plain libjpeg-turbo: file to RGB rows and back to a file. With `reused`, the pixel
// buffer of the previous run is used again, so that no fresh memory is touched.
void rawDecodeEncode(int smoothing, std::vector<unsigned char> *reused = nullptr)
{
    const std::vector<unsigned char> file = Bench::readFile(kSource);
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), file.size());
    jpeg_read_header(&cinfo, TRUE);
    jpeg_start_decompress(&cinfo);
    const int width = int(cinfo.output_width);
    const int height = int(cinfo.output_height);
    std::vector<unsigned char> fresh;
    std::vector<unsigned char> &rgb = reused ? *reused : fresh;
    rgb.resize(size_t(width) * height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = rgb.data() + size_t(cinfo.output_scanline) * width * 3;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    encodeRgb(rgb.data(), width, height, smoothing, kRawOut);
}

void ourLoadSave()
{
    MultiImage image;
    image.setJPegSaveQuality(kQuality);
    image.setJPegSaveSmooth(kSmoothing);
    image.setImageName(QString::fromLatin1(kSource));
    if (image.isEmpty() || !image.saveJpg(QString::fromLatin1(kOursOut))) {
        std::fprintf(stderr, "load or save failed\n");
        std::exit(1);
    }
}

template<typename F>
double millis(F work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

void makeSource()
{
    const std::vector<unsigned char> rgb = photoLikeRgb();
    encodeRgb(rgb.data(), kWidth, kHeight, 0, kSource);
}

long peakRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int memoryMode()
{
    // The source is made in a child process so that its buffers do not count here.
    if (QFile(QString::fromLatin1(kSource)).size() == 0) {
        const pid_t child = fork();
        if (child == 0) {
            makeSource();
            _exit(0);
        }
        int status = 0;
        waitpid(child, &status, 0);
    }
    const long before = peakRssKiB();
    {
        MultiImage image;
        image.setJPegSaveQuality(kQuality);
        image.setJPegSaveSmooth(kSmoothing);
        image.setImageName(QString::fromLatin1(kSource));
        image.rotate(90);
        image.saveJpg(QString::fromLatin1(kOursOut));
        if (image.isEmpty())
            return 1;
    }
    const double pictureBytes = double(kWidth) * kHeight * 4;
    const long peak = peakRssKiB();
    std::printf("peak RSS before the sequence: %.1f MB\n", before * 1024.0 / 1e6);
    std::printf("peak RSS of load + rotate + save: %.1f MB = %.2f x the picture (%.0f MB)\n",
                peak * 1024.0 / 1e6, peak * 1024.0 / pictureBytes, pictureBytes / 1e6);
    return 0;
}

int speedMode()
{
    makeSource();
    std::printf("source: %dx%d q%d JPEG, %.1f MB; smoothing %d on both sides\n", kWidth, kHeight,
                kQuality, double(QFile(QString::fromLatin1(kSource)).size()) / 1e6, kSmoothing);
    rawDecodeEncode(kSmoothing);   // warm up caches and the allocator
    ourLoadSave();

    std::vector<unsigned char> kept;
    rawDecodeEncode(kSmoothing, &kept);
    std::vector<double> raw, ours, rawKept, rawPlain;
    for (int i = 0; i < kRuns; ++i) {
        raw.push_back(millis([] { rawDecodeEncode(kSmoothing); }));
        ours.push_back(millis(ourLoadSave));
        rawKept.push_back(millis([&] { rawDecodeEncode(kSmoothing, &kept); }));
        rawPlain.push_back(millis([] { rawDecodeEncode(0); }));
    }
    const double rawMs = Bench::median(raw);
    const double oursMs = Bench::median(ours);
    std::printf("libjpeg-turbo decode+encode: %.1f ms (median of %d)\n", rawMs, kRuns);
    std::printf("MultiImage load+saveJpg:     %.1f ms (median of %d)\n", oursMs, kRuns);
    std::printf("ratio: %.3f\n", oursMs / rawMs);
    std::printf("(libjpeg-turbo reusing its warm pixel buffer: %.1f ms, ratio %.3f;\n"
                " libjpeg-turbo without smoothing: %.1f ms)\n",
                Bench::median(rawKept), oursMs / Bench::median(rawKept), Bench::median(rawPlain));

    MultiImage image;
    image.setImageName(QString::fromLatin1(kSource));
    std::vector<double> turns;
    for (int i = 0; i < 9; ++i)
        turns.push_back(millis([&] { image.rotate(i % 2 ? -90 : 90); }));
    std::printf("rotate 90 of %dx%d: %.1f ms (median of %zu)\n", kWidth, kHeight, Bench::median(turns),
                turns.size());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc > 1 && std::strcmp(argv[1], "memory") == 0)
        return memoryMode();
    return speedMode();
}
