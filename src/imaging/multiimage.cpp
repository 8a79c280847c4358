#include "imaging/multiimage.h"

#include "imaging/wholefile.h"

#include "model/inkwerkerror.h"
#include "imaging/codecs/imageformats.h"
#include "imaging/rotate.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <utility>
#include <cstdlib>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

// Larger files are refused unread: the biggest picture any codec accepts, stored
// uncompressed at 32 bits per pixel, stays well below this.
constexpr qint64 kMaxFileBytes = qint64(2) << 30;

// Forwards the progress of one operation in rising order from 0 to 100. The codec's own
// 0..100 is mapped onto 0..99 so that 100 means the whole operation (file written,
// picture in place) is over.
class ProgressRun
{
public:
    explicit ProgressRun(const std::function<void(int)> &sink) : m_sink(sink) { forward(0); }
    ProgressFn codecProgress()
    {
        return [this](int percent) { forward(std::clamp(percent, 0, 100) * 99 / 100); };
    }
    void finish() { forward(100); }

private:
    void forward(int percent)
    {
        if (percent <= m_last)
            return;
        m_last = percent;
        if (m_sink)
            m_sink(percent);
    }

    std::function<void(int)> m_sink;
    int m_last = -1;
};

// The whole file in one buffer, or empty bytes when it cannot be read. A file of some
// megabytes gets memory that huge pages may back: the kernel then provides it in a few
// faults instead of one per 4 KiB, which on some virtual machines costs more than a
// tenth of decoding the picture.
class FileBytes
{
public:
    explicit FileBytes(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const qint64 size = file.size();
        if (size <= 0 || size > kMaxFileBytes)
            return;
        char *data = allocate(size);
        if (!data)
            return;
        qint64 done = 0;
        while (done < size) {
            const qint64 n = file.read(data + done, size - done);
            if (n <= 0)
                break;
            done += n;
        }
        // A file that shrank meanwhile is decoded as it is.
        m_bytes = m_buffer ? QByteArray::fromRawData(data, qsizetype(done))
                           : m_bytes.left(qsizetype(done));
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    const QByteArray &bytes() const { return m_bytes; }

private:
    char *allocate(qint64 size)
    {
#if defined(__linux__)
        constexpr qint64 kHugePage = qint64(2) << 20;
        if (size >= kHugePage) {
            const qint64 rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
            void *buffer = nullptr;
            if (posix_memalign(&buffer, size_t(kHugePage), size_t(rounded)) == 0) {
                madvise(buffer, size_t(rounded), MADV_HUGEPAGE);   // a hint only
                m_buffer.reset(static_cast<char *>(buffer));
                return m_buffer.get();
            }
        }
#endif
        m_bytes.resize(qsizetype(size));
        return m_bytes.size() == size ? m_bytes.data() : nullptr;
    }

    struct Free {
        void operator()(char *p) const { std::free(p); }
    };
    std::unique_ptr<char, Free> m_buffer;   // the huge-page buffer m_bytes looks into
    QByteArray m_bytes;
};

// Pictures with transparency are shown over white, as the loaders do.
QImage toRgb32(const QImage &picture)
{
    if (picture.isNull() || picture.format() == QImage::Format_RGB32)
        return picture;
    if (!picture.hasAlphaChannel())
        return picture.convertToFormat(QImage::Format_RGB32);
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int a = qAlpha(row[x]);
            const int white = (255 - a) * 255;
            const auto mix = [&](int c) { return (c * a + white + 127) / 255; };
            row[x] = qRgb(mix(qRed(row[x])), mix(qGreen(row[x])), mix(qBlue(row[x])));
        }
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

// Only the low byte of a setting counts; values outside 1..100 fall back to the default.
int narrowed(int value, int fallback)
{
    const int low = value & 0xff;
    return low >= 1 && low <= 100 ? low : fallback;
}

} // namespace

MultiImage::MultiImage() = default;

void MultiImage::setImageName(const QString &path)
{
    m_imageName = path;
    // Let go of the old picture first: its memory can then take the new one.
    m_picture = QImage();
    if (!QFileInfo(path).isFile()) {
        notifyChanged();
        return;
    }

    m_sourceSampling = {};
    ProgressRun progress(onProgress);
    {
        const FileBytes file(path);
        if (!file.bytes().isEmpty()) {
            Codec::Decoded decoded =
                ImageFormats::decodeFile(file.bytes(), path, progress.codecProgress());
            m_sourceSampling = decoded.sampling;
            // The one place where a picture is put upright from the orientation its file
            // records.
            m_picture = decoded.ok() && decoded.orientation != 1
                ? uprightPicture(decoded.image, decoded.orientation, {})
                : std::move(decoded.image);
        }
    }
    progress.finish();
    notifyChanged();
    if (onFinishedLoadSave)
        onFinishedLoadSave();
}

void MultiImage::setPicture(const QImage &picture)
{
    QImage next = toRgb32(picture);
    m_picture = std::move(next);
    m_sourceSampling = {};
    notifyChanged();
}

void MultiImage::clearPicture()
{
    m_picture = QImage();
    m_sourceSampling = {};
    notifyChanged();
}

void MultiImage::rotate(double angle)
{
    if (m_picture.isNull())
        throw InkwerkError(QStringLiteral("Input image is empty"));
    ProgressRun progress(onProgress);
    const int turns = quarterTurnsFor(angle);
    if (turns != 0) {
        QImage turned = rotatedPicture(m_picture, turns, progress.codecProgress());
        if (turned.isNull()) {
            throw InkwerkError(QStringLiteral(
                "An exception error occured in the imagelib dll. We recommend to exit the "
                "application and to restart it by clicking its icon!"));
        }
        m_picture = std::move(turned);
        if (turns % 2)
            m_sourceSampling = m_sourceSampling.turned();
    }
    progress.finish();
    notifyChanged();
}

bool MultiImage::saveJpg(const QString &path) { return save(path, "jpg"); }
bool MultiImage::saveBmp(const QString &path) { return save(path, "bmp"); }
bool MultiImage::saveGif(const QString &path) { return save(path, "gif"); }
bool MultiImage::saveTif(const QString &path) { return save(path, "tif"); }
bool MultiImage::savePcx(const QString &path) { return save(path, "pcx"); }
bool MultiImage::saveTga(const QString &path) { return save(path, "tga"); }
bool MultiImage::savePng(const QString &path) { return save(path, "png"); }

bool MultiImage::save(const QString &path, const char *format)
{
    m_defSaveFilename = path;
    bool written = false;
    {
        ProgressRun progress(onProgress);
        if (!m_picture.isNull()) {
            ImageFormats::SaveOptions options;
            options.jpegQuality = m_jpegQuality;
            options.jpegSmoothing = m_jpegSmooth;
            options.pngInterlaced = m_pngInterlaced;
            options.jpegSampling = m_sourceSampling;
            options.metadata = &m_saveMetadata;
            written = ImageFormats::encodeInto(m_picture, format, options,
                                               progress.codecProgress(), m_encoded)
                && writeWholeFile(path, m_encoded);
            m_encoded.resize(0);
        }
        progress.finish();
    }
    if (onFinishedLoadSave)
        onFinishedLoadSave();
    return written;
}

void MultiImage::setJPegSaveQuality(int value)
{
    m_jpegQuality = narrowed(value, 25);
}

void MultiImage::setJPegSaveSmooth(int value)
{
    m_jpegSmooth = narrowed(value, 5);
}

void MultiImage::notifyChanged(const QRect &area)
{
    if (onChanged)
        onChanged(area);
}
