#include "imaging/codecs/picturebuffer.h"

#include "imaging/codecs/codec.h"

#include <QMutex>
#include <QThread>

#include <algorithm>
#include <cstdlib>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Codec {

namespace {

constexpr size_t kHugePage = size_t(2) << 20;
// Below this size the ordinary allocation is as fast; huge pages would only waste memory.
constexpr size_t kLargePicture = size_t(8) << 20;

struct LargeBuffer {
    void *data = nullptr;
    size_t size = 0;   // bytes allocated, a whole number of huge pages
};

// Buffers of freed large pictures, kept for pictures that will overwrite them. At most
// one per processor (a batch renders that many pictures at once) and never more than
// this many bytes in all.
constexpr size_t kSpareBytesLimit = size_t(1) << 30;

class SparePool
{
public:
    // A kept buffer that holds at least `size` bytes without wasting more than a quarter,
    // or an empty one.
    LargeBuffer take(size_t size)
    {
        QMutexLocker lock(&m_mutex);
        auto best = m_buffers.end();
        for (auto it = m_buffers.begin(); it != m_buffers.end(); ++it) {
            if (it->size >= size && it->size - size <= size / 4
                && (best == m_buffers.end() || it->size < best->size))
                best = it;
        }
        if (best == m_buffers.end())
            return {};
        const LargeBuffer found = *best;
        m_bytes -= found.size;
        m_buffers.erase(best);
        return found;
    }

    void give(LargeBuffer buffer)
    {
        {
            QMutexLocker lock(&m_mutex);
            const size_t limit = size_t(std::max(2, QThread::idealThreadCount()));
            if (m_buffers.size() < limit && m_bytes + buffer.size <= kSpareBytesLimit) {
                m_buffers.push_back(buffer);
                m_bytes += buffer.size;
                return;
            }
        }
        std::free(buffer.data);
    }

    void release()
    {
        std::vector<LargeBuffer> buffers;
        {
            QMutexLocker lock(&m_mutex);
            buffers.swap(m_buffers);
            m_bytes = 0;
        }
        for (const LargeBuffer &buffer : buffers)
            std::free(buffer.data);
    }

private:
    QMutex m_mutex;
    std::vector<LargeBuffer> m_buffers;
    size_t m_bytes = 0;
};

// Never destroyed: a picture may still be freed while static objects are torn down.
SparePool &sparePool()
{
    static SparePool *pool = new SparePool;
    return *pool;
}

// QImage's cleanup: the buffer goes to the spare pool instead of back to the system.
void keepBuffer(void *info)
{
    auto *buffer = static_cast<LargeBuffer *>(info);
    sparePool().give(*buffer);
    delete buffer;
}

LargeBuffer allocateLarge(size_t size)
{
    LargeBuffer buffer;
    buffer.size = (size + kHugePage - 1) / kHugePage * kHugePage;
    if (posix_memalign(&buffer.data, kHugePage, buffer.size) != 0)
        return {};
#if defined(__linux__)
    madvise(buffer.data, buffer.size, MADV_HUGEPAGE);   // a hint; failure is harmless
#endif
    return buffer;
}

QImage pictureOn(LargeBuffer buffer, int width, int height, size_t bytesPerLine)
{
    auto *info = new LargeBuffer(buffer);
    QImage image(static_cast<uchar *>(buffer.data), width, height, qsizetype(bytesPerLine),
                 QImage::Format_RGB32, keepBuffer, info);
    if (image.isNull()) {
        delete info;
        std::free(buffer.data);
    }
    return image;
}

QImage makePicture(int width, int height, bool reuse)
{
    if (!dimensionsAcceptable(width, height))
        return QImage();
    const size_t bytesPerLine = size_t(width) * 4;
    const size_t size = bytesPerLine * size_t(height);
    if (size >= kLargePicture) {
        LargeBuffer buffer = reuse ? sparePool().take(size) : LargeBuffer{};
        if (!buffer.data)
            buffer = allocateLarge(size);
        if (buffer.data) {
            QImage image = pictureOn(buffer, width, height, bytesPerLine);
            if (!image.isNull())
                return image;
        }
    }
    return QImage(width, height, QImage::Format_RGB32);
}

} // namespace

QImage newPicture(int width, int height) { return makePicture(width, height, false); }

QImage newPictureForOverwrite(int width, int height) { return makePicture(width, height, true); }

void releaseSparePictureBuffers() { sparePool().release(); }

} // namespace Codec
