// Helpers shared by the window benchmarks: clocks, medians, memory figures, a photo-like
// JPEG maker and a UserDialogs that answers without a person.
#pragma once

#include "app/userdialogs.h"

#include <QFile>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <jpeglib.h>
#include <sys/resource.h>
#include <unistd.h>

namespace Bench {

inline double nowMs(clockid_t clock = CLOCK_MONOTONIC)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// CPU time of the calling thread: on a shared, loaded machine it says what the work
// itself cost, where the wall time also counts waiting for a core.
inline double cpuMs() { return nowMs(CLOCK_THREAD_CPUTIME_ID); }

// Wall and CPU time of one step.
struct Sample {
    double wall = 0;
    double cpu = 0;
};

class Stopwatch
{
public:
    Stopwatch() : m_wall(nowMs()), m_cpu(cpuMs()) {}
    Sample elapsed() const { return {nowMs() - m_wall, cpuMs() - m_cpu}; }

private:
    double m_wall;
    double m_cpu;
};

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

inline double medianWall(const std::vector<Sample> &s)
{
    std::vector<double> v;
    for (const Sample &x : s)
        v.push_back(x.wall);
    return median(v);
}

inline double medianCpu(const std::vector<Sample> &s)
{
    std::vector<double> v;
    for (const Sample &x : s)
        v.push_back(x.cpu);
    return median(v);
}

// Resident memory now, from /proc (Linux); 0 where it cannot be read.
inline double rssMB()
{
    long pages = 0, resident = 0;
    if (FILE *f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return double(resident) * double(sysconf(_SC_PAGESIZE)) / 1e6;
}

inline double peakRssMB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) * 1024.0 / 1e6;
}

inline bool writeFile(const char *path, const unsigned char *data, size_t size)
{
    FILE *f = std::fopen(path, "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::vector<unsigned char> readFile(const char *path)
{
    std::vector<unsigned char> bytes;
    if (FILE *f = std::fopen(path, "rb")) {
        std::fseek(f, 0, SEEK_END);
        const long size = std::ftell(f);
        std::fseek(f, 0, SEEK_SET);
        if (size > 0) {
            bytes.resize(size_t(size));
            if (std::fread(bytes.data(), 1, bytes.size(), f) != bytes.size())
                bytes.clear();
        }
        std::fclose(f);
    }
    return bytes;
}

// Writes a photo-like JPEG (smooth colour gradients plus sensor-like grain, so that it
// compresses to a photo's size) of width x height at the given quality. Rows are made
// one at a time: no whole RGB picture is held. restartMcus > 0 puts a restart marker
// after every so many MCUs, as many cameras do.
inline bool writePhotoJpeg(const char *path, int width, int height, int quality, int restartMcus = 0)
{
    std::vector<unsigned char> row(size_t(width) * 3);
    const size_t n = size_t(width);
    std::vector<int> xr(n), xg(n), xb(n);
    for (int x = 0; x < width; ++x) {
        const double f = double(x) / width;
        xr[size_t(x)] = int(70 * std::sin(f * 7.0));
        xg[size_t(x)] = int(60 * std::cos(f * 4.0));
        xb[size_t(x)] = int(50 * std::sin(f * 11.0 + 1.0));
    }
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
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.restart_interval = JDIMENSION(restartMcus);
    jpeg_start_compress(&cinfo, TRUE);
    uint32_t state = 2463534242u;
    for (int y = 0; y < height; ++y) {
        const double f = double(y) / height;
        const int yr = 128 + int(40 * std::cos(f * 5.0));
        const int yg = 120 + int(50 * std::sin(f * 3.0));
        const int yb = 110 + int(45 * std::cos(f * 9.0));
        for (int x = 0; x < width; ++x) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            const int grain = int(state & 31) - 16;
            const int r = grain + int((state >> 8) & 7) - 4;
            const int g = grain + int((state >> 12) & 7) - 4;
            const int b = grain + int((state >> 16) & 7) - 4;
            row[size_t(x) * 3 + 0] = (unsigned char)std::clamp(yr + xr[size_t(x)] + r, 0, 255);
            row[size_t(x) * 3 + 1] = (unsigned char)std::clamp(yg + xg[size_t(x)] + g, 0, 255);
            row[size_t(x) * 3 + 2] = (unsigned char)std::clamp(yb + xb[size_t(x)] + b, 0, 255);
        }
        JSAMPROW rowPtr = row.data();
        jpeg_write_scanlines(&cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool ok = writeFile(path, out, outSize);
    std::free(out);
    return ok;
}

// Straight libjpeg-turbo, as a small program of its own would do it: the file read into
// memory, decoded to RGB rows, encoded with the same quality and smoothing, written out.
// The pixel buffer is kept from file to file, so the reference pays no page faults for it
// after the first file; `rgb` carries it.
inline bool referenceJob(const QString &in, const QString &out, int quality, int smoothing,
                  std::vector<unsigned char> &rgb, double &decodeMs)
{
    const double start = nowMs();
    const std::vector<unsigned char> file = readFile(QFile::encodeName(in).constData());
    if (file.empty())
        return false;
    jpeg_decompress_struct dinfo;
    jpeg_error_mgr derr;
    dinfo.err = jpeg_std_error(&derr);
    jpeg_create_decompress(&dinfo);
    jpeg_mem_src(&dinfo, file.data(), file.size());
    jpeg_read_header(&dinfo, TRUE);
    dinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&dinfo);
    const int width = int(dinfo.output_width);
    const int height = int(dinfo.output_height);
    rgb.resize(size_t(width) * size_t(height) * 3);
    while (dinfo.output_scanline < dinfo.output_height) {
        JSAMPROW rows[16];
        const int y = int(dinfo.output_scanline);
        const int count = std::min(16, height - y);
        for (int i = 0; i < count; ++i)
            rows[i] = rgb.data() + size_t(y + i) * size_t(width) * 3;
        jpeg_read_scanlines(&dinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_decompress(&dinfo);
    jpeg_destroy_decompress(&dinfo);
    decodeMs = nowMs() - start;

    jpeg_compress_struct cinfo;
    jpeg_error_mgr cerr;
    cinfo.err = jpeg_std_error(&cerr);
    jpeg_create_compress(&cinfo);
    unsigned char *bytes = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &bytes, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.smoothing_factor = smoothing;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW rows[16];
        const int y = int(cinfo.next_scanline);
        const int count = std::min(16, height - y);
        for (int i = 0; i < count; ++i)
            rows[i] = rgb.data() + size_t(y + i) * size_t(width) * 3;
        jpeg_write_scanlines(&cinfo, rows, JDIMENSION(count));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bool ok = writeFile(QFile::encodeName(out).constData(), bytes, size);
    std::free(bytes);
    return ok;
}

// Answers every question with Yes, hands out queued file lists and folders, and prints
// any message or error, which a benchmark should never see.
class Dialogs : public UserDialogs
{
public:
    QStringList files;
    QString folder;

    Answer ask(const QString &) override { return Answer::Yes; }
    void message(const QString &text) override
    {
        std::fprintf(stderr, "message box: %s\n", qPrintable(text));
    }
    void error(const QString &text) override
    {
        std::fprintf(stderr, "error box: %s\n", qPrintable(text));
    }
    QStringList openFiles(const FileDialog &) override { return files; }
    QString openFile(const FileDialog &) override { return files.value(0); }
    QString saveFile(const FileDialog &) override { return QString(); }
    QString chooseFolder(const FolderDialog &) override { return folder; }
    void openExternal(const QString &) override {}
};

} // namespace Bench
