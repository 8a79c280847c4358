#include "imaging/picturebuffer.h"

#include "imaging/codec.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace Codec {

namespace {

#if defined(__linux__)
constexpr size_t kHugePage = size_t(2) << 20;
// Below this size the ordinary allocation is as fast; huge pages would only waste memory.
constexpr size_t kHugeThreshold = size_t(8) << 20;

void freeBuffer(void *buffer)
{
    std::free(buffer);
}
#endif

} // namespace

QImage newPicture(int width, int height)
{
    if (!dimensionsAcceptable(width, height))
        return QImage();
#if defined(__linux__)
    const size_t bytesPerLine = size_t(width) * 4;
    const size_t size = bytesPerLine * size_t(height);
    if (size >= kHugeThreshold) {
        const size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
        void *buffer = nullptr;
        if (posix_memalign(&buffer, kHugePage, rounded) == 0) {
            madvise(buffer, rounded, MADV_HUGEPAGE);   // a hint; failure is harmless
            QImage image(static_cast<uchar *>(buffer), width, height, qsizetype(bytesPerLine),
                         QImage::Format_RGB32, freeBuffer, buffer);
            if (!image.isNull())
                return image;
            std::free(buffer);
        }
    }
#endif
    return QImage(width, height, QImage::Format_RGB32);
}

} // namespace Codec
