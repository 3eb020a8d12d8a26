// The detail crop: a detail map on a coarse grid, summed across the window,
// and the window's position with the largest sum. Edges count as the
// luminance steps to the next sample right and down; colour as saturation
// (the spread of the three channels), at half weight, so that a plain
// bright sky draws the window less than a textured subject does.
#include "focus.h"

#include <math.h>

#include "orv-core.h"

namespace {

const char kModule[] = "app/engine/focus";

// What a window must score above the centred one's, as a share of it,
// before the window moves: noise in a flat picture moves nothing.
const double kMustGain = 0.02;

int Luma(const unsigned char* p) {
    return (p[2] * 77 + p[1] * 150 + p[0] * 29) >> 8;
}

int Saturation(const unsigned char* p) {
    int high = p[0] > p[1] ? p[0] : p[1], low = p[0] < p[1] ? p[0] : p[1];
    if (p[2] > high) high = p[2];
    if (p[2] < low) low = p[2];
    return high - low;
}

}  // namespace

void Focus_Place(const BitmapStruct* picture, CopySize* copy) {
    if (!picture || !copy) Core_NullPointer(kModule, __LINE__);
    if (copy->fit != FIT_CROP || copy->focus != FOCUS_DETAIL || !picture->pixels) return;
    const int32_t w = picture->width, h = picture->height;
    if (w < 2 || h < 2 || copy->sourceWidth <= 0 || copy->sourceHeight <= 0) return;
    // The direction the window moves along: the one with the room.
    const int across = copy->sourceWidth - copy->cropWidth >= copy->sourceHeight - copy->cropHeight;
    const double room = across ? copy->sourceWidth - copy->cropWidth : copy->sourceHeight - copy->cropHeight;
    if (room < 1.0) return;
    // The grid: cells along the moving direction, samples across the other.
    const int32_t length = across ? w : h, breadth = across ? h : w;
    const int32_t cells = length < FOCUS_GRID ? length : FOCUS_GRID;
    const int32_t samples = breadth < FOCUS_GRID ? breadth : FOCUS_GRID;
    int64_t detail[FOCUS_GRID] = {};
    for (int32_t c = 0; c < cells; ++c) {
        const int32_t at = int32_t(int64_t(c) * length / cells);
        const int32_t next = at + 1 < length ? at + 1 : at - 1;
        for (int32_t k = 0; k < samples; ++k) {
            const int32_t along = int32_t(int64_t(k) * breadth / samples);
            const int32_t beside = along + 1 < breadth ? along + 1 : along - 1;
            // Columns and rows of the picture as shown; memory rows run bottom-up.
            const int32_t x = across ? at : along, y = across ? along : at;
            const int32_t x2 = across ? next : beside, y2 = across ? beside : next;
            auto pixel = [&](int32_t px, int32_t py) {
                return picture->pixels + int64_t(h - 1 - py) * picture->scanline + int64_t(px) * 4;
            };
            const unsigned char* p = pixel(x, y);
            const int luma = Luma(p);
            detail[c] += abs(luma - Luma(pixel(x2, y))) + abs(luma - Luma(pixel(x, y2))) + Saturation(p) / 2;
        }
    }
    // Cells the window spans, and the sums of every position by a running window.
    const double share = (across ? copy->cropWidth / copy->sourceWidth : copy->cropHeight / copy->sourceHeight);
    int32_t span = int32_t(lround(share * cells));
    if (span < 1) span = 1;
    if (span >= cells) return;
    const int32_t centre = (cells - span) / 2;
    int64_t sum = 0;
    for (int32_t c = 0; c < span; ++c) sum += detail[c];
    int64_t best = -1, atCentre = 0;
    int32_t bestAt = centre;
    for (int32_t start = 0;; ++start) {
        if (start == centre) atCentre = sum;
        // Ties go to the position nearer the centre.
        if (sum > best || (sum == best && abs(start - centre) < abs(bestAt - centre))) {
            best = sum;
            bestAt = start;
        }
        if (start + span >= cells) break;
        sum += detail[start + span] - detail[start];
    }
    if (double(best) <= double(atCentre) * (1.0 + kMustGain)) return;
    double offset = room * bestAt / double(cells - span);
    if (offset > room) offset = room;
    if (across)
        copy->cropLeft = offset;
    else
        copy->cropTop = offset;
    Log_Print(0, "Crop window moved to the detail: %.0f pixels from the %s\n", offset, across ? "left" : "top");
}
