#pragma once

#include <QImage>

namespace Codec {

// A new RGB32 picture of the given size, or a null image when the size is not acceptable
// or the memory is not there. Its pixels are undefined: fresh memory reads as black on
// Linux, but callers must not rely on that. Large pictures get a buffer that the kernel
// may back with huge pages: decoding or turning a 24-megapixel picture then costs a few
// dozen page faults instead of tens of thousands.
QImage newPicture(int width, int height);

// As newPicture, for a caller that writes every pixel before anyone reads one: a large
// picture may get the buffer of a picture freed earlier. Handing such a buffer out again
// spares the kernel zeroing and mapping a hundred megabytes for every photo of a batch,
// which otherwise costs about a fifth of a whole decode + encode.
QImage newPictureForOverwrite(int width, int height);

// Gives the buffers kept for reuse back to the system. Called when a run ends, so that
// an idle program does not hold a photo's worth of memory it no longer needs.
void releaseSparePictureBuffers();

} // namespace Codec
