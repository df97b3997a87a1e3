// The gamma 2.2 curve used for sRGB-flagged conversions: two 256-entry
// tables with linear interpolation, and the square / square-root pair used
// when both sides of a conversion are gamma-encoded.
//
// The tables cover [0, 1]. Outside it: NaN gives 0; a bounded codec clamps
// to [0, 1] first; an unbounded (float) codec gives 0 below 0 and the exact
// power above 1, which joins the table's end point, so the curve stays
// continuous and monotonic.
#pragma once

namespace quillmark {

// GammaEncodeTable[i] = (i/254)^(2/2.2), GammaDecodeTable[i] = (i/254)^1.1,
// both 1.0 at i = 255.
const float* GammaEncodeTable();
const float* GammaDecodeTable();

float GammaEncodeValue(float linear, bool unbounded);
float GammaDecodeValue(float encoded, bool unbounded);
float SquareRootEncodeValue(float linear, bool unbounded);
float SquareDecodeValue(float encoded, bool unbounded);

}  // namespace quillmark
