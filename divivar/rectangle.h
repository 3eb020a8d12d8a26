// Rectangles: left, top, right, bottom, shared by the layout code and the
// GIF decoder's drawing rule.
#pragma once

#include <stdint.h>

struct Rect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

// A rectangle from two corners given in any order. Cannot fail (1).
int Rect_Set(Rect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

// The intersection of a and b (larger left and top, smaller right and
// bottom). 0 when it is empty: no width or no height.
int Rect_Intersect(Rect* rect, const Rect* a, const Rect* b);
