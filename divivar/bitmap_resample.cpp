// Resampler: draws a source bitmap into a destination under scale, rotation
// and placement. Per pixel everything is integer arithmetic on 16.16 fixed
// point positions; doubles only set up each call and each row. Positions
// are held in 64 bits so that sources wider or taller than 32767 pixels do
// not wrap; for all smaller ones the values are those of 32-bit 16.16.
#include <math.h>

#include "bitmap.h"
#include "orv-core.h"

namespace {

const int64_t kOne = 65536;

// Converts a double to int with truncation toward zero, held inside the int
// range so that no geometry can make the conversion undefined.
int32_t TruncateToInt(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return int32_t(v);
}

int64_t FloorFixed(double v) {
    double f = floor(v);
    if (!(f == f)) return 0;
    const double kLimit = 4.0e18;
    if (f > kLimit) return int64_t(kLimit);
    if (f < -kLimit) return -int64_t(kLimit);
    return int64_t(f);
}

struct Pass {
    const unsigned char* source;
    int64_t sourceScanline;
    int32_t sourceHeight;
    int64_t widthFixed;
    int64_t heightFixed;
    int rowOrder;
    unsigned op;
    int bytesPerPixel;
};

const unsigned char* SourcePixel(const Pass& p, int64_t px, int64_t py) {
    int64_t c = px >> 16;
    int64_t r = py >> 16;
    int64_t row = p.rowOrder == 1 ? r : p.sourceHeight - r - 1;
    return p.source + row * p.sourceScanline + c * 4;
}

void BlendColours(unsigned char* d, const unsigned char* v, unsigned a) {
    uint32_t w = a * 256;
    for (int k = 0; k < 3; ++k)
        d[k] = (unsigned char)(((w * v[k]) >> 16) + ((d[k] * (uint32_t(kOne) - w)) >> 16));
}

void NearestPixel(const Pass& p, int64_t px, int64_t py, unsigned char* d) {
    if (px < 0 || px >= p.widthFixed || py < 0 || py >= p.heightFixed) return;
    const unsigned char* s = SourcePixel(p, px, py);
    unsigned a = s[3];
    if (p.op != 255) a = (a * p.op) >> 8;
    if (a == 255) {
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
    } else if (a != 0) {
        BlendColours(d, s, a);
    }
}

// The four-neighbour interpolation of every channel, weights in 1/65536.
inline void Interpolate(const unsigned char* p00, const unsigned char* p10, const unsigned char* p01,
                        const unsigned char* p11, uint32_t fx, uint32_t fy, unsigned char v[4]) {
    for (int k = 0; k < 4; ++k) {
        uint32_t top = (p10[k] * fx + p00[k] * (uint32_t(kOne) - fx)) >> 16;
        uint32_t bottom = (p11[k] * fx + p01[k] * (uint32_t(kOne) - fx)) >> 16;
        v[k] = (unsigned char)((top * (uint32_t(kOne) - fy) + bottom * fy) >> 16);
    }
}

// Compositing of a bilinear sample, which also writes the alpha byte.
inline void CompositeBilinear(const Pass& p, const unsigned char* v, unsigned char* d) {
    unsigned a = v[3];
    if (p.op != 255) a = (a * p.op) >> 8;
    if (a == 255) {
        d[0] = v[0];
        d[1] = v[1];
        d[2] = v[2];
        if (p.bytesPerPixel == 4) d[3] = 255;
    } else if (a != 0) {
        if (p.bytesPerPixel == 4) d[3] = (unsigned char)a;
        BlendColours(d, v, a);
    }
}

void BilinearPixel(const Pass& p, int64_t px, int64_t py, unsigned char* d) {
    if (px < 0 || px >= p.widthFixed || py < 0 || py >= p.heightFixed) return;
    const unsigned char* p00 = SourcePixel(p, px, py);
    const unsigned char* p10 = px + kOne < p.widthFixed ? p00 + 4 : p00;
    const unsigned char* p01 = p00;
    const unsigned char* p11 = p10;
    if (py + kOne < p.heightFixed) {
        int64_t next = p.rowOrder == 1 ? p.sourceScanline : -p.sourceScanline;
        p01 = p00 + next;
        p11 = p10 + next;
    }
    unsigned char v[4];
    Interpolate(p00, p10, p01, p11, uint32_t(px & 0xFFFF), uint32_t(py & 0xFFFF), v);
    CompositeBilinear(p, v, d);
}

// Bilinear row without rotation (the batch job's case): the sample row, its
// neighbour row and the vertical weight are fixed for the whole row, so they
// are found once; the per-pixel arithmetic is shared with BilinearPixel.
void BilinearRow(const Pass& p, int64_t px, int64_t py, int64_t stepX, unsigned char* d, int32_t count) {
    if (py < 0 || py >= p.heightFixed) return;
    const unsigned char* row = SourcePixel(p, 0, py);
    const unsigned char* next = row;
    if (py + kOne < p.heightFixed) next = row + (p.rowOrder == 1 ? p.sourceScanline : -p.sourceScanline);
    uint32_t fy = uint32_t(py & 0xFFFF);
    for (int32_t x = 0; x < count; ++x, d += p.bytesPerPixel, px += stepX) {
        if (px < 0 || px >= p.widthFixed) continue;
        int64_t c = (px >> 16) * 4;
        int right = px + kOne < p.widthFixed ? 4 : 0;
        unsigned char v[4];
        Interpolate(row + c, row + c + right, next + c, next + c + right, uint32_t(px & 0xFFFF), fy, v);
        CompositeBilinear(p, v, d);
    }
}

// The set-up and row loop common to both passes.
int RunPass(BitmapStruct* source, int bilinear, double scale, double angle, double opacity, double scx, double scy,
            double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width, int32_t height,
            int32_t scanline, int32_t bytesPerPixel) {
    int32_t w = 0, h = 0, sourceScanline = 0;
    unsigned char* bits = nullptr;
    Bitmap_GetInfo(source, &w, &h, &sourceScanline, &bits);
    double opacityByte = floor(opacity * 255.0 + 0.5);
    Pass p;
    p.op = opacityByte >= 255 ? 255 : opacityByte > 0 ? unsigned(opacityByte) : 0;
    if (p.op == 0 || !bits || !destination) return 1;
    p.source = bits;
    p.sourceScanline = sourceScanline;
    p.sourceHeight = h;
    p.widthFixed = int64_t(w) << 16;
    p.heightFixed = int64_t(h) << 16;
    p.rowOrder = rowOrder;
    p.bytesPerPixel = bytesPerPixel;

    int32_t minX, minY, maxX, maxY;
    Resample_Bounds(w, h, width, height, angle, scale, scx, scy, dcx, dcy, &minX, &minY, &maxX, &maxY);
    double c = cos(angle) / scale;
    double dd = (-1.0 * sin(angle)) / scale;
    int64_t stepX = FloorFixed(c * 65536.0);
    int64_t stepY = FloorFixed(dd * 65536.0);
    for (int32_t y = minY; y < maxY; ++y) {
        double dy = y - dcy;
        int32_t x0 = bilinear ? minX : minX - 1;
        double dx = x0 - dcx;
        int64_t px = FloorFixed((dx * c - dy * dd + scx) * 65536.0);
        int64_t py = FloorFixed((dy * c + dx * dd + scy) * 65536.0);
        unsigned char* d = destination + int64_t(y) * scanline + int64_t(minX) * bytesPerPixel;
        if (bilinear && stepY == 0) {
            BilinearRow(p, px, py, stepX, d, maxX - minX);
        } else if (bilinear) {
            for (int32_t x = minX; x < maxX; ++x, d += bytesPerPixel) {
                BilinearPixel(p, px, py, d);
                px += stepX;
                py += stepY;
            }
        } else {
            for (int32_t x = minX; x < maxX; ++x, d += bytesPerPixel) {
                px += stepX;
                py += stepY;
                NearestPixel(p, px, py, d);
            }
        }
    }
    return 1;
}

}  // namespace

void Resample_Bounds(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height, double angle,
                     double scale, double scx, double scy, double dcx, double dcy, int32_t* minX, int32_t* minY,
                     int32_t* maxX, int32_t* maxY) {
    *minX = width;
    *minY = height;
    *maxX = 0;
    *maxY = 0;
    double a = cos(angle) * scale;
    double b = sin(angle) * scale;
    const double corners[4][2] = {
        {0, 0}, {double(sourceWidth), 0}, {double(sourceWidth), double(sourceHeight)}, {0, double(sourceHeight)}};
    for (const auto& corner : corners) {
        double u = corner[0] - scx;
        double v = corner[1] - scy;
        int32_t x = TruncateToInt(u * a - v * b + dcx);
        int32_t y = TruncateToInt(u * b + v * a + dcy);
        if (x < *minX) *minX = x;
        if (y < *minY) *minY = y;
        if (x > *maxX) *maxX = x;
        if (y > *maxY) *maxY = y;
    }
    if (*minX < 0) *minX = 0;
    if (*minY < 0) *minY = 0;
    if (*maxX > width) *maxX = width;
    if (*maxY > height) *maxY = height;
}

int Resample_Nearest(BitmapStruct* source, double scale, double angle, double opacity, double scx, double scy,
                     double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width,
                     int32_t height, int32_t scanline, int32_t bytesPerPixel) {
    return RunPass(source, 0, scale, angle, opacity, scx, scy, dcx, dcy, rowOrder, destination, width, height,
                   scanline, bytesPerPixel);
}

int Resample_Bilinear(BitmapStruct* source, double scale, double angle, double opacity, double scx, double scy,
                      double dcx, double dcy, int rowOrder, unsigned char* destination, int32_t width,
                      int32_t height, int32_t scanline, int32_t bytesPerPixel) {
    return RunPass(source, 1, scale, angle, opacity, scx, scy, dcx, dcy, rowOrder, destination, width, height,
                   scanline, bytesPerPixel);
}

int Bitmap_ResampleToBuffer(BitmapStruct* source, int mode, double scale, double angle, double opacity, double scx,
                            double scy, double dcx, double dcy, int rowOrder, unsigned char* destination,
                            int32_t width, int32_t height, int32_t scanline, int32_t bytesPerPixel) {
    unsigned char m = (unsigned char)mode;
    if (m == RESAMPLE_NEAREST)
        return Resample_Nearest(source, scale, angle, opacity, scx, scy, dcx, dcy, rowOrder, destination, width,
                                height, scanline, bytesPerPixel);
    if (m == RESAMPLE_BILINEAR || (m == RESAMPLE_BILINEAR_PRESCALE && scale >= 0.5 && scale <= 4.0))
        return Resample_Bilinear(source, scale, angle, opacity, scx, scy, dcx, dcy, rowOrder, destination, width,
                                 height, scanline, bytesPerPixel);
    if (m != RESAMPLE_BILINEAR_PRESCALE) return 0;

    // One pre-scaling pass towards the target keeps the bilinear pass's
    // steps small, whatever the scale.
    int32_t w = 0, h = 0;
    Bitmap_GetSize(source, &w, &h);
    if (w <= 0 || h <= 0) return 1;
    double factor = scale < 1.0 ? 0.75 : 1.25;
    int32_t tw = int32_t(floor(w * factor));
    int32_t th = int32_t(floor(h * factor));
    double rw = double(tw) / w;
    double rh = double(th) / h;
    double ratio = rw > rh ? rw : rh;
    BitmapStruct* intermediate = nullptr;
    Bitmap_Create(&intermediate);
    int result = 0;
    if (Bitmap_SetSize(intermediate, tw, th)) {
        Bitmap_SetAlpha(intermediate, 255);
        Resample_Bilinear(source, ratio, 0.0, 1.0, w * 0.5, h * 0.5, tw * 0.5, th * 0.5, 1, intermediate->pixels,
                          intermediate->width, intermediate->height, intermediate->scanline, 4);
        result = Resample_Bilinear(intermediate, scale / ratio, angle, opacity, scx * ratio, scy * ratio, dcx, dcy,
                                   rowOrder, destination, width, height, scanline, bytesPerPixel);
    }
    Bitmap_Destroy(&intermediate);
    return result;
}

int Bitmap_Resample(BitmapStruct* source, int mode, double scale, double angle, double opacity, double scx,
                    double scy, double dcx, double dcy, BitmapStruct* destination) {
    int32_t width = 0, height = 0, scanline = 0;
    unsigned char* pixels = nullptr;
    Bitmap_GetInfo(destination, &width, &height, &scanline, &pixels);
    return Bitmap_ResampleToBuffer(source, mode, scale, angle, opacity, scx, scy, dcx, dcy, 1, pixels, width,
                                   height, scanline, 4);
}
