// The one scale rule shared by the list, the batch engine and the preview:
// the active profile, the scale, the target size and the size estimate.
#pragma once

#include <stdint.h>

#include "config.h"

// The first list profile whose Name equals ActiveProfile, ASCII case
// ignored; null when none does (the Custom values then apply).
const ResizeProfile* FindActiveProfile(const AppConfig* config);

// Applies the active profile to a source of width x height: *scale is the
// factor that fits both bounds with proportions kept, never above 1.0;
// *quality the profile's JPEG quality fraction. Null outputs are a fatal
// stop. Returns 1.
int GetResizeScale(const AppConfig* config, int32_t width, int32_t height, double* scale, double* quality);

// The one target-size rule: floor of each double product.
void TargetSize(int32_t width, int32_t height, double scale, int32_t* newWidth, int32_t* newHeight);

// Estimated JPEG size in bytes of a newWidth x newHeight picture at quality;
// exact for every size (no 32-bit overflow), 0 for a quality so high that the
// estimate has no meaning.
int64_t EstimateBytes(int32_t newWidth, int32_t newHeight, double quality);

// Reads a "Dimensions" text ("WxH") into pixels. 0, with both 0, when the
// text holds no "x" (estimates were switched off).
int ParseDimensions(const char* dimensions, int32_t* width, int32_t* height);

// One file-list row: from its "Dimensions" text ("WxH") writes the "New
// Dimensions" text ("W'xH'") and the "Est Size" text ("~Nk"). Returns 0 and
// writes nothing when the text holds no "x" (estimates were switched off).
int EstimateRow(const AppConfig* config, const char* dimensions, char* newDimensions, int newDimensionsSize,
                char* estimate, int estimateSize);
