#include <gtest/gtest.h>
#include <math.h>
#include <string.h>

#include <string>
#include <vector>

#include "bitmap.h"
#include "orv-core.h"
#include "reducer.h"
#include "test_support.h"

namespace {

const double kQuarterTurn = 1.5707963267948966;  // radians

struct Bitmap {
    BitmapStruct* b = nullptr;
    Bitmap() { Bitmap_Create(&b); }
    Bitmap(int w, int h) {
        Bitmap_Create(&b);
        Bitmap_SetSize(b, w, h);
    }
    ~Bitmap() { Bitmap_Destroy(&b); }
    unsigned char* At(int x, int y) {
        unsigned char* p = nullptr;
        Bitmap_PixelAddress(b, x, y, &p);
        return p;
    }
    void Set(int x, int y, int blue, int green, int red, int alpha) {
        unsigned char* p = At(x, y);
        p[0] = (unsigned char)blue;
        p[1] = (unsigned char)green;
        p[2] = (unsigned char)red;
        p[3] = (unsigned char)alpha;
    }
    std::vector<unsigned char> Bytes() const {
        return std::vector<unsigned char>(b->pixels, b->pixels + b->scanline * b->height);
    }
};

// A source whose every pixel differs, opaque.
void Pattern(Bitmap& bm) {
    for (int y = 0; y < bm.b->height; ++y)
        for (int x = 0; x < bm.b->width; ++x) bm.Set(x, y, (x * 7 + y) & 255, (y * 5 + x * 3) & 255, (x ^ y) & 255, 255);
}

TEST(Bitmap, NewSizedAndResized) {
    Bitmap bm;
    EXPECT_EQ(Bitmap_IsEmpty(bm.b), 1);
    unsigned char* bits = reinterpret_cast<unsigned char*>(1);
    EXPECT_EQ(Bitmap_GetBits(bm.b, &bits), 0);
    EXPECT_EQ(bm.b->xResolution, 2880u);
    EXPECT_EQ(bm.b->yResolution, 2880u);

    ASSERT_EQ(Bitmap_SetSize(bm.b, 10, 4), 1);
    EXPECT_EQ(bm.b->scanline, 40);
    EXPECT_EQ(bm.b->capacity, 160);
    Bitmap_Fill(bm.b, 1, 2, 3, 4);
    EXPECT_EQ(Bitmap_SetSize(bm.b, 10, 4), 1);
    EXPECT_EQ(bm.b->pixels[0], 3) << "the same size keeps the pixels";
    unsigned char* buffer = bm.b->pixels;
    ASSERT_EQ(Bitmap_SetSize(bm.b, 5, 2), 1);
    EXPECT_EQ(bm.b->pixels, buffer);
    EXPECT_EQ(bm.b->capacity, 160);
    for (int i = 0; i < 40; ++i) ASSERT_EQ(bm.b->pixels[i], 0);
    ASSERT_EQ(Bitmap_SetSize(bm.b, 10, 4), 1);
    EXPECT_EQ(bm.b->pixels, buffer) << "growing back within the capacity reuses the buffer";

    ASSERT_EQ(Bitmap_SetSize(bm.b, 0, 7), 1);
    EXPECT_EQ(bm.b->width, 0);
    EXPECT_EQ(bm.b->scanline, 0);
    EXPECT_EQ(bm.b->height, 7);
    EXPECT_EQ(bm.b->capacity, 160);
    EXPECT_EQ(Bitmap_IsEmpty(bm.b), 0);
}

TEST(Bitmap, PicturesTooLargeFailInsteadOfStopping) {
    Bitmap bm(2, 2);
    EXPECT_EQ(Bitmap_SetSize(bm.b, 40000, 40000), 0);
    EXPECT_EQ(Bitmap_SetSize(bm.b, 2147483647, 2), 0);
    EXPECT_EQ(bm.b->width, 2);
    EXPECT_EQ(bm.b->height, 2);
}

TEST(Bitmap, RowsAreStoredBottomUp) {
    Bitmap bm(3, 2);
    unsigned char* p = nullptr;
    ASSERT_EQ(Bitmap_PixelAddress(bm.b, 2, 0, &p), 1);
    EXPECT_EQ(p, bm.b->pixels + 1 * 12 + 8) << "top row, last column: last pixel of the last memory row";
    ASSERT_EQ(Bitmap_PixelAddress(bm.b, 0, 1, &p), 1);
    EXPECT_EQ(p, bm.b->pixels);
    unsigned char* unchanged = p;
    EXPECT_EQ(Bitmap_PixelAddress(bm.b, 3, 0, &p), 0);
    EXPECT_EQ(Bitmap_PixelAddress(bm.b, 0, 2, &p), 0);
    EXPECT_EQ(Bitmap_PixelAddress(bm.b, -1, 0, &p), 0);
    EXPECT_EQ(p, unchanged);
    Bitmap_Fill(bm.b, 0, 0, 0, 255);
    for (int i = 0; i < 24; i += 4) {
        EXPECT_EQ(bm.b->pixels[i], 0);
        EXPECT_EQ(bm.b->pixels[i + 3], 255);
    }
    Bitmap_SetAlpha(bm.b, 9);
    EXPECT_EQ(bm.b->pixels[7], 9);
    Bitmap_Clear(bm.b);
    EXPECT_EQ(bm.b->pixels[7], 0);
}

TEST(Bitmap, CopyAndPaste) {
    Bitmap src(4, 3);
    Pattern(src);
    src.b->xResolution = 100;
    Bitmap dst;
    ASSERT_EQ(Bitmap_Copy(src.b, dst.b), 1);
    EXPECT_EQ(dst.Bytes(), src.Bytes());
    EXPECT_EQ(dst.b->xResolution, 100u);

    Bitmap empty;
    ASSERT_EQ(Bitmap_Copy(empty.b, dst.b), 1);
    EXPECT_EQ(dst.b->width, 0);
    EXPECT_EQ(dst.b->capacity, 48) << "a 0 x 0 copy keeps the old buffer";

    ScopedLog log("bitmap-paste.log", LOG_FILE);
    Bitmap white(2, 2);
    Bitmap_Fill(white.b, 255, 255, 255, 200);
    Bitmap clear(3, 3);
    Bitmap_Paste(white.b, 0, 0, clear.b, 0, 0);
    EXPECT_EQ(white.At(0, 0)[0], 255);
    Bitmap half(1, 1);
    half.Set(0, 0, 0, 0, 0, 128);
    Bitmap_Paste(white.b, 1, 1, half.b, 0, 0);
    EXPECT_EQ(white.At(1, 1)[0], 126);
    EXPECT_EQ(white.At(1, 1)[2], 126);
    EXPECT_EQ(white.At(1, 1)[3], 200) << "the destination alpha is kept";
    Bitmap opaque(1, 1);
    opaque.Set(0, 0, 1, 2, 3, 255);
    Bitmap_Paste(white.b, 0, 1, opaque.b, 0, 0);
    EXPECT_EQ(white.At(0, 1)[2], 3);
    Bitmap_Paste(white.b, 5, 5, opaque.b, 0, 0);
    EXPECT_EQ(log.Contents(), "Paste [2 x 2]\r\nPaste [1 x 1]\r\nPaste [1 x 1]\r\nPaste [-3 x -3]\r\n");
}

TEST(Resample, IdentityCopiesEveryOpaquePixelExactly) {
    Bitmap src(37, 23);
    Pattern(src);
    Bitmap dst(37, 23);
    ASSERT_EQ(Bitmap_Resample(src.b, 2, 1.0, 0.0, 1.0, 18.5, 11.5, 18.5, 11.5, dst.b), 1);
    EXPECT_EQ(dst.Bytes(), src.Bytes());
    Bitmap nearest(37, 23);
    Bitmap_Fill(nearest.b, 0, 0, 0, 255);
    ASSERT_EQ(Bitmap_Resample(src.b, 1, 1.0, 0.0, 1.0, 18.5, 11.5, 18.5, 11.5, nearest.b), 1);
    EXPECT_EQ(nearest.Bytes(), src.Bytes());
}

TEST(Resample, HalvingSamplesEvenPixelsExactly) {
    Bitmap src(40, 20);
    Pattern(src);
    Bitmap dst(20, 10);
    ASSERT_EQ(Bitmap_Resample(src.b, 2, 0.5, 0.0, 1.0, 20, 10, 10, 5, dst.b), 1);
    for (int r = 0; r < 10; ++r)
        for (int c = 0; c < 20; ++c)
            ASSERT_EQ(memcmp(dst.b->pixels + r * 80 + c * 4, src.b->pixels + (2 * r) * 160 + (2 * c) * 4, 4), 0)
                << r << "," << c;
}

TEST(Resample, ModeThreePrescalesOnlyOutsideHalfToFour) {
    Bitmap src(100, 80);
    Pattern(src);
    for (double scale : {0.5, 4.0}) {
        Bitmap a(int(100 * scale), int(80 * scale));
        Bitmap b(int(100 * scale), int(80 * scale));
        Bitmap_Resample(src.b, 3, scale, 0, 1, 50, 40, a.b->width * 0.5, a.b->height * 0.5, a.b);
        Bitmap_Resample(src.b, 2, scale, 0, 1, 50, 40, a.b->width * 0.5, a.b->height * 0.5, b.b);
        EXPECT_EQ(a.Bytes(), b.Bytes()) << scale;
    }
    // 0.4: a 75 x 60 intermediate at ratio 0.75, then 0.4 / 0.75.
    Bitmap viaMode3(40, 32);
    ASSERT_EQ(Bitmap_Resample(src.b, 3, 0.4, 0, 1, 50, 40, 20, 16, viaMode3.b), 1);
    Bitmap intermediate(75, 60);
    Bitmap_SetAlpha(intermediate.b, 255);
    Bitmap_Resample(src.b, 2, 0.75, 0, 1, 50, 40, 37.5, 30, intermediate.b);
    Bitmap byHand(40, 32);
    Bitmap_Resample(intermediate.b, 2, 0.4 / 0.75, 0, 1, 37.5, 30, 20, 16, byHand.b);
    EXPECT_EQ(viaMode3.Bytes(), byHand.Bytes());
    Bitmap plain(40, 32);
    Bitmap_Resample(src.b, 2, 0.4, 0, 1, 50, 40, 20, 16, plain.b);
    EXPECT_NE(plain.Bytes(), viaMode3.Bytes());
}

TEST(Resample, TheBatchCallAtPointThree) {
    Bitmap src(1000, 800);
    Pattern(src);
    Bitmap dst(300, 240);
    ASSERT_EQ(Bitmap_Resample(src.b, 3, 0.3, 0, 1, 500, 400, 150, 120, dst.b), 1);
    // The main pass samples position 0 exactly in its first row and column,
    // and the intermediate's first pixel is the source's.
    EXPECT_EQ(memcmp(dst.b->pixels, src.b->pixels, 4), 0);
    EXPECT_EQ(dst.b->pixels[3], 255);
    // Its second column lies at intermediate x = 2.5: half way between two
    // intermediate pixels, which themselves sit at source x = 2.5 * 4 / 3.
    Bitmap intermediate(750, 600);
    Bitmap_SetAlpha(intermediate.b, 255);
    Bitmap_Resample(src.b, 2, 0.75, 0, 1, 500, 400, 375, 300, intermediate.b);
    const unsigned char* i2 = intermediate.b->pixels + 2 * 4;
    const unsigned char* i3 = intermediate.b->pixels + 3 * 4;
    for (int k = 0; k < 3; ++k) {
        int expected = ((i3[k] * 32768 + i2[k] * 32768) >> 16);
        EXPECT_EQ(dst.b->pixels[4 + k], expected) << k;
    }
}

TEST(Resample, OnePixelWideSourceDrawsNothing) {
    Bitmap src(1, 50);
    Pattern(src);
    Bitmap dst(1, 15);
    ASSERT_EQ(Bitmap_Resample(src.b, 3, 0.3, 0, 1, 0.5, 25, 0.5, 7.5, dst.b), 1);
    for (unsigned char byte : dst.Bytes()) ASSERT_EQ(byte, 0);
}

TEST(Resample, OpacityAndAlphaRulesOfEachPass) {
    Bitmap src(1, 1);
    src.Set(0, 0, 255, 255, 255, 255);
    Bitmap dst(1, 1);
    Bitmap_Resample(src.b, 2, 1, 0, 0.5, 0, 0, 0, 0, dst.b);
    EXPECT_EQ(dst.b->pixels[0], 126) << "op 128 makes a = 127";
    EXPECT_EQ(dst.b->pixels[3], 127);
    Bitmap nearest(1, 1);
    Bitmap_Resample(src.b, 1, 1, 0, 0.5, 0, 0, 0, 0, nearest.b);
    EXPECT_EQ(nearest.b->pixels[0], 126);
    EXPECT_EQ(nearest.b->pixels[3], 0) << "the nearest pass never writes alpha";

    Bitmap none(1, 1);
    Bitmap_Resample(src.b, 2, 1, 0, 0.0, 0, 0, 0, 0, none.b);
    EXPECT_EQ(none.b->pixels[0], 0);
    Bitmap opaque(1, 1);
    Bitmap_Resample(src.b, 2, 1, 0, 1.0, 0, 0, 0, 0, opaque.b);
    EXPECT_EQ(opaque.b->pixels[3], 255);

    Bitmap clear(4, 4);
    Bitmap zero(4, 4);
    Bitmap_Resample(clear.b, 2, 1, 0, 1, 2, 2, 2, 2, zero.b);
    for (unsigned char byte : zero.Bytes()) ASSERT_EQ(byte, 0);
}

TEST(Resample, PointsJustOutsideTheSourceAreLeftAlone) {
    Bitmap src(4, 1);
    Pattern(src);
    Bitmap dst(4, 1);
    Bitmap_Fill(dst.b, 9, 9, 9, 9);
    // Destination x maps to source x - 0.5: column 0 reads -0.5.
    ASSERT_EQ(Bitmap_Resample(src.b, 2, 1, 0, 1, 0, 0, 0.5, 0, dst.b), 1);
    EXPECT_EQ(dst.At(0, 0)[0], 9);
    EXPECT_NE(dst.At(1, 0)[0], 9);
}

TEST(Resample, UnknownModesFail) {
    Bitmap src(2, 2);
    Bitmap dst(2, 2);
    Bitmap_Fill(dst.b, 1, 1, 1, 1);
    EXPECT_EQ(Bitmap_Resample(src.b, 0, 1, 0, 1, 1, 1, 1, 1, dst.b), 0);
    EXPECT_EQ(Bitmap_Resample(src.b, 4, 1, 0, 1, 1, 1, 1, 1, dst.b), 0);
    EXPECT_EQ(Bitmap_Resample(src.b, 256 + 2, 1, 0, 1, 1, 1, 1, 1, dst.b), 1) << "the mode is compared as a byte";
}

TEST(Resample, BoundsCoverTheTransformedSource) {
    int32_t minX, minY, maxX, maxY;
    Resample_Bounds(100, 80, 300, 240, 0, 0.5, 50, 40, 150, 120, &minX, &minY, &maxX, &maxY);
    EXPECT_EQ(minX, 125);
    EXPECT_EQ(minY, 100);
    EXPECT_EQ(maxX, 175);
    EXPECT_EQ(maxY, 140);
    Resample_Bounds(100, 80, 30, 20, 0, 2.0, 50, 40, 15, 10, &minX, &minY, &maxX, &maxY);
    EXPECT_EQ(minX, 0);
    EXPECT_EQ(maxX, 30);
    Resample_Bounds(10, 10, 100, 100, kQuarterTurn, 1.0, 0, 0, 50, 50, &minX, &minY, &maxX, &maxY);
    EXPECT_EQ(minX, 40);
    EXPECT_EQ(maxX, 50);
    EXPECT_EQ(minY, 50);
    EXPECT_EQ(maxY, 60);
}

TEST(Resample, RotationByAQuarterTurn) {
    Bitmap src(3, 2);
    Pattern(src);
    Bitmap dst(2, 3);
    // Rotating about the origin and moving the result back into view: the
    // corners land where the mapping says, nothing is read outside.
    ASSERT_EQ(Bitmap_Resample(src.b, 1, 1.0, kQuarterTurn, 1.0, 0, 0, 2, 0, dst.b), 1);
    int drawn = 0;
    for (int i = 0; i < 6; ++i) drawn += dst.b->pixels[i * 4 + 0] || dst.b->pixels[i * 4 + 1] || dst.b->pixels[i * 4 + 2];
    EXPECT_GT(drawn, 0);
}

}  // namespace

// ---------------------------------------------------------- reduction filter

// Reduces a source into a new w x h bitmap.
void Reduce(Bitmap& source, Bitmap& out, int w, int h) {
    ASSERT_EQ(Bitmap_SetSize(out.b, w, h), 1);
    ASSERT_EQ(Bitmap_Reduce(source.b, out.b), 1);
}

TEST(Reduce, FlatPicturesStayFlatAndTheSameSizeIsACopy) {
    Bitmap flat(97, 61);
    Bitmap_Fill(flat.b, 200, 31, 7, 255);
    for (auto size : {std::make_pair(13, 9), std::make_pair(96, 60), std::make_pair(1, 1), std::make_pair(97, 1)}) {
        Bitmap out;
        Reduce(flat, out, size.first, size.second);
        for (int y = 0; y < size.second; ++y)
            for (int x = 0; x < size.first; ++x) {
                const unsigned char* p = out.At(x, y);
                ASSERT_TRUE(p[0] == 7 && p[1] == 31 && p[2] == 200 && p[3] == 255)
                    << size.first << "x" << size.second << " at " << x << "," << y;
            }
    }
    Bitmap pattern(40, 30), same;
    Pattern(pattern);
    Reduce(pattern, same, 40, 30);
    EXPECT_EQ(same.Bytes(), pattern.Bytes());
}

// A bright one-pixel column on grey (so that the filter's ringing is not
// cut at black), reduced by 4: the light it adds is kept, and it lands where
// the centre of its source pixel maps, not shifted toward a corner.
TEST(Reduce, AThinLineKeepsItsLightAndItsPlace) {
    Bitmap line(64, 16), out;
    Bitmap_Fill(line.b, 20, 20, 20, 255);
    for (int y = 0; y < 16; ++y) line.Set(21, y, 250, 250, 250, 255);
    Reduce(line, out, 16, 4);
    for (int y = 0; y < 4; ++y) {
        double light = 0, moment = 0;
        for (int x = 0; x < 16; ++x) {
            double v = out.At(x, y)[1] - 20.0;
            light += v;
            moment += v * x;
        }
        EXPECT_NEAR(light * 4, 230, 4) << "row " << y;
        EXPECT_NEAR(moment / light, (21 + 0.5) / 4 - 0.5, 0.05) << "row " << y;
    }
}

// The finest pattern a picture holds must not survive a reduction by half
// as moire: away from the edges it becomes even grey.
TEST(Reduce, ACheckerboardHalvedBecomesGrey) {
    Bitmap board(64, 48), out;
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            int v = (x + y) % 2 ? 255 : 0;
            board.Set(x, y, v, v, v, 255);
        }
    Reduce(board, out, 32, 24);
    for (int y = 3; y < 21; ++y)
        for (int x = 3; x < 29; ++x)
            for (int c = 0; c < 3; ++c) ASSERT_NEAR(out.At(x, y)[c], 127.5, 1.0) << x << "," << y;
}

// Colours under transparent pixels are not shown and must not bleed into
// the copy: a red picture with a transparent white half reduces to red
// fading into black, with no white or pink fringe; translucent areas come
// out over black as the bilinear way draws them.
TEST(Reduce, TransparentAreasAddNoHalo) {
    Bitmap half(40, 20), out;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) {
            if (x < 20)
                half.Set(x, y, 0, 0, 255, 255);
            else
                half.Set(x, y, 255, 255, 255, 0);
        }
    Reduce(half, out, 10, 5);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x) {
            const unsigned char* p = out.At(x, y);
            EXPECT_EQ(p[0], 0) << x;
            EXPECT_EQ(p[1], 0) << x;
            EXPECT_LE(p[2], p[3] + 1) << x;
        }
    EXPECT_EQ(out.At(0, 2)[2], 255);
    EXPECT_EQ(out.At(9, 2)[2], 0);
    EXPECT_EQ(out.At(9, 2)[3], 0);

    Bitmap glass(30, 30), small;
    Bitmap_Fill(glass.b, 200, 100, 50, 128);
    Reduce(glass, small, 7, 7);
    const unsigned char* p = small.At(3, 3);
    EXPECT_EQ(p[2], (200 * 128 + 127) / 255);
    EXPECT_EQ(p[1], (100 * 128 + 127) / 255);
    EXPECT_EQ(p[0], (50 * 128 + 127) / 255);
    EXPECT_EQ(p[3], 128);
}

// The picture says whether its colours are weighted by alpha, so a second
// reduction (the measure halves its own halves) weights them no further,
// and the colours come back plain within one level however often it ran;
// laid on a background, plain and weighted colours give the same pixel.
TEST(Reduce, ColoursAreWeightedByAlphaOnce) {
    for (int reductions : {1, 2, 3}) {
        Bitmap glass(64, 64), flat(64, 64);
        Bitmap_Fill(glass.b, 200, 100, 50, 128);
        Bitmap_Fill(flat.b, 200, 100, 50, 128);
        for (int i = 0; i < reductions; ++i) {
            Bitmap smaller;
            Reduce(glass, smaller, glass.b->width / 2, glass.b->height / 2);
            std::swap(glass.b, smaller.b);
        }
        ASSERT_EQ(glass.b->weighted, 1u);
        Bitmap laid;
        Bitmap_Copy(glass.b, laid.b);
        Bitmap_Unpremultiply(glass.b);
        EXPECT_EQ(glass.b->weighted, 0u);
        const unsigned char* p = glass.At(3, 3);
        EXPECT_NEAR(p[2], 200, 1) << reductions;
        EXPECT_NEAR(p[1], 100, 1) << reductions;
        EXPECT_NEAR(p[0], 50, 1) << reductions;
        EXPECT_EQ(p[3], 128) << reductions;
        Bitmap_FlattenOnto(laid.b, 255, 255, 255);
        Bitmap_FlattenOnto(flat.b, 255, 255, 255);
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(laid.At(3, 3)[c], flat.At(3, 3)[c], 1) << reductions << " " << c;
    }
}

TEST(Reduce, MemoryRefusedFailsWithTheCopyUntouched) {
    Bitmap big(4000, 10), out(3000, 5);
    Bitmap_Fill(big.b, 9, 9, 9, 255);
    std::vector<unsigned char> before = out.Bytes();
    {
        MemoryRoom room(1000);
        EXPECT_EQ(Bitmap_Reduce(big.b, out.b), 0);
    }
    EXPECT_EQ(out.Bytes(), before);
}

// A decoder's rows, top first, handed over in bands of any size (smaller
// and larger than the filter's reach, one row, all at once) give the bytes
// the whole bitmap gives, for the whole picture and a window of it, in
// both directions' reductions, while the rows kept get moved many times.
TEST(Reduce, RowsInBandsGiveTheWholePicturesBytes) {
    Bitmap source(301, 997);
    uint32_t state = 12345;
    for (int64_t i = 0; i < int64_t(source.b->scanline) * source.b->height; ++i) {
        state = state * 1103515245u + 12345u;
        source.b->pixels[i] = (unsigned char)(i % 4 == 3 ? 255 : state >> 24);
    }
    struct Case {
        int w, h;
        double left, top, width, height;
    } cases[] = {
        {97, 61, 0, 0, 301, 997}, {150, 800, 0, 0, 301, 997}, {7, 5, 0, 0, 301, 997}, {40, 90, 20.5, 301.25, 200, 400}};
    for (const Case& c : cases) {
        Bitmap whole(c.w, c.h);
        ASSERT_EQ(Bitmap_ReduceWindow(source.b, c.left, c.top, c.width, c.height, whole.b), 1);
        for (int band : {1, 3, 16, 17, 64, 997}) {
            Bitmap out(c.w, c.h);
            ReducerStruct* reducer = nullptr;
            ASSERT_EQ(Reducer_Create(&reducer, 301, 997, c.left, c.top, c.width, c.height, out.b), 1);
            const int64_t scanline = source.b->scanline;
            for (int top = 0; top < 997; top += band) {
                const unsigned char* first = source.b->pixels + (996 - top) * scanline;
                ASSERT_EQ(Reducer_AddRows(reducer, first, -scanline, band), 1);
            }
            EXPECT_EQ(Reducer_Done(reducer), 1);
            Reducer_Destroy(&reducer);
            EXPECT_EQ(out.b->weighted, 1u);
            EXPECT_TRUE(out.Bytes() == whole.Bytes()) << c.w << "x" << c.h << " in bands of " << band;
        }
    }
}
