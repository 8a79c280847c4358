#pragma once

#include "imaging/codecs/codec.h"

#include <tiffio.h>

// The TIFF pictures that libtiff's RGBA reader gets wrong or refuses, read sample by
// sample: grey and RGB of depths it does not know (12 and 32 bits come from scanners and
// cameras), signed samples, CIELab and ICCLab colour, 16-bit CMYK. How samples become
// 8-bit channels:
// - unsigned samples keep their place on the scale of their depth;
// - signed 8-bit samples are taken as their bytes read unsigned, as common readers do:
//   files of this kind hold the levels 0..127, which keep their grey;
// - signed samples of other depths run from the most negative value (black) through zero
//   (middle) to the most positive (white);
// - 32-bit samples are measurements rather than levels on a fixed scale (a file holding
//   0..65535 would be black on it): the picture's own range, from zero or its lowest
//   value if that is below zero up to its highest value, spans black to white;
// - Lab colour is relative to the file's white, which comes out white (255, 255, 255).
namespace TiffSampleReader {

// No single buffer of a TIFF read (a strip, a tile, a tag array) may exceed this: enough
// for an uncompressed single-strip picture of 100 megapixels at 16 bits per sample.
constexpr tmsize_t kMaxSingleAlloc = tmsize_t(640) << 20;

// True when the current image of tif is one this reader reads.
bool handles(TIFF *tif);

// The bytes of one row of samples (of one plane when they are separate); 0 when the
// header makes no sense or a row would exceed kMaxSingleAlloc.
uint64_t rowBytes(TIFF *tif);

// Reads the current image into image, an RGB32 picture of its width and height; false
// when the data is damaged.
bool read(TIFF *tif, QImage &image, Codec::ProgressReporter &reporter);

} // namespace TiffSampleReader
