#include "imaging/multiimage.h"

#include "model/inkwerkerror.h"
#include "imaging/codecs/imageformats.h"
#include "imaging/rotate.h"

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <utility>
#include <cstdlib>
#include <memory>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

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
    // Files larger than limit are refused unread.
    FileBytes(const QString &path, qint64 limit)
    {
        QFile file;
        if (!FileAccess::openForReading(file, path, &m_error))
            return;
        const qint64 size = file.size();
        if (size <= 0 || size > limit) {
            m_error = size <= 0 ? FileAccess::FileEmpty : FileAccess::FileTooLarge;
            return;
        }
        char *data = allocate(size);
        if (!data) {
            m_error = ENOMEM;
            return;
        }
        qint64 done = 0;
        while (done < size) {
            const qint64 n = file.read(data + done, size - done);
            if (n <= 0)
                break;
            done += n;
        }
        if (done == 0) {
            m_error = file.error() == QFileDevice::NoError ? FileAccess::FileEmpty : EIO;
            return;
        }
        // A file that shrank meanwhile is decoded as it is.
        m_bytes = m_buffer ? QByteArray::fromRawData(data, qsizetype(done))
                           : m_bytes.left(qsizetype(done));
    }
    FileBytes(const FileBytes &) = delete;
    FileBytes &operator=(const FileBytes &) = delete;

    const QByteArray &bytes() const { return m_bytes; }
    // The reason no bytes were read: an error number or one of FileAccess's reasons.
    int error() const { return m_error; }

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
    int m_error = 0;
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
    m_loadError.clear();
    m_loadFileError = 0;
    m_loadDamage.clear();
    // Let go of the old picture first: its memory can then take the new one.
    m_picture = QImage();
    const FileAccess::Status status = FileAccess::status(path);
    if (!status.regular) {
        m_loadFileError = status.exists ? int(FileAccess::NotRegularFile) : ENOENT;
        m_loadError = FileAccess::reasonText(m_loadFileError);
        notifyChanged();
        return;
    }

    m_sourceSampling = {};
    ProgressRun progress(onProgress);
    {
        const FileBytes file(path, ImageFormats::fileSizeLimit(path));
        if (file.bytes().isEmpty()) {
            m_loadFileError = file.error();
            m_loadError = FileAccess::reasonText(file.error());
            if (file.error() == FileAccess::FileTooLarge)
                m_loadError = QStringLiteral("too large: a %1 MB file > the limit of %2 MB")
                                  .arg(status.size >> 20).arg(ImageFormats::fileSizeLimit(path) >> 20);
        } else {
            Codec::Decoded decoded = ImageFormats::decodeFile(file.bytes(), path, progress.codecProgress());
            m_sourceSampling = decoded.sampling;
            // The one place where a picture is put upright from the orientation its file
            // records.
            m_picture = decoded.ok() && decoded.orientation != 1
                ? uprightPicture(decoded.image, decoded.orientation, {})
                : std::move(decoded.image);
            if (m_picture.isNull())
                m_loadError = decoded.error.isEmpty() ? QStringLiteral("cannot be decoded") : decoded.error;
            else
                m_loadDamage = decoded.damage;
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
    m_lastWrite = FileAccess::WriteResult();
    {
        ProgressRun progress(onProgress);
        if (!m_picture.isNull()) {
            ImageFormats::SaveOptions options;
            options.jpegQuality = m_jpegQuality;
            options.jpegSmoothing = m_jpegSmooth;
            options.pngInterlaced = m_pngInterlaced;
            options.jpegSampling = m_sourceSampling;
            options.metadata = &m_saveMetadata;
            m_lastWrite = FileAccess::WriteResult();
            if (ImageFormats::encodeInto(m_picture, format, options, progress.codecProgress(), m_encoded))
                m_lastWrite = FileAccess::writeWhole(path, m_encoded, m_writeOptions);
            written = m_lastWrite.ok();
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
