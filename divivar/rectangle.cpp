// Rectangle helpers.
#include "rectangle.h"

#include "orv-core.h"

namespace {

const char kModule[] = "divivar/rectangle";

}  // namespace

int Rect_Set(Rect* rect, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    if (!rect) Core_NullPointer(kModule, __LINE__);
    rect->left = x1 < x2 ? x1 : x2;
    rect->right = x1 < x2 ? x2 : x1;
    rect->top = y1 < y2 ? y1 : y2;
    rect->bottom = y1 < y2 ? y2 : y1;
    return 1;
}

// Disjoint rectangles give an inverted intersection; it counts as empty
// just like one of no width or no height.
int Rect_Intersect(Rect* rect, const Rect* a, const Rect* b) {
    if (!rect || !a || !b) Core_NullPointer(kModule, __LINE__);
    Rect r;
    r.left = a->left > b->left ? a->left : b->left;
    r.top = a->top > b->top ? a->top : b->top;
    r.right = a->right < b->right ? a->right : b->right;
    r.bottom = a->bottom < b->bottom ? a->bottom : b->bottom;
    *rect = r;
    return r.left < r.right && r.top < r.bottom;
}
