#pragma once

#include "imaging/lossless/jpeglossless.h"

// The fast way to stamp a sequential Huffman-coded JPEG losslessly: its entropy-coded
// data is copied bit for bit, except for the MCU rows under the stamp (and the row after
// them, whose first DC difference changes), which are decoded, restamped and coded again
// with the file's own tables. Rows before the stamp are only parsed, rows after it not
// even that. With restart markers nothing is parsed but the intervals that hold the
// stamp's MCUs: every other byte, markers included, is copied as it stands.
namespace JpegSplice {

// The stamped JPEG: SOI, the source's coding segments (JFIF, Adobe, tables, frame, scan
// header) and the spliced data, without the source's metadata segments. Empty bytes when
// the file is not of the kind this covers (progressive or arithmetic coding, restart
// markers out of order or count, several scans, tables without a code for every symbol,
// CMYK...) or is damaged: the caller then takes another way.
JpegLossless::Result stamp(const QByteArray &source, const JpegLossless::AreaFn &areaOf,
                           const JpegLossless::PaintFn &paint);

} // namespace JpegSplice
