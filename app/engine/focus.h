// Where a crop's window sits when its profile asks for the detail: along
// the one direction the window can move, the stretch of the picture with the
// most edges and saturated colour, as a photo editor's smart crop finds it.
#pragma once

#include "bitmap.h"
#include "plan.h"

// Moves copy's crop window (planned centred by Plan_Copy) to the detail of
// picture, the source as decoded (at any reduction of copy's source size,
// upright, rows bottom-up). Only a crop whose focus is FOCUS_DETAIL moves,
// along the direction where the window is shorter than the source; where
// the picture is alike throughout it stays centred. Reads a grid of at most
// FOCUS_GRID samples along each side, so it costs little whatever the
// picture's size. Cannot fail.
void Focus_Place(const BitmapStruct* picture, CopySize* copy);

enum { FOCUS_GRID = 256 };
