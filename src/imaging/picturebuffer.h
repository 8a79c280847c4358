#pragma once

#include <QImage>

namespace Codec {

// A new, uninitialised RGB32 picture of the given size, or a null image when the size is
// not acceptable or the memory is not there. Large pictures get a buffer that the kernel
// may back with huge pages: decoding or turning a 24-megapixel picture then costs a few
// dozen page faults instead of tens of thousands.
QImage newPicture(int width, int height);

} // namespace Codec
