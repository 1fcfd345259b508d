// The JPEG decoder: sound pictures decode to their size and colours; anything broken,
// cut short or absurd gives a null image and never ends the program.

#include "platform/vcl/Jpeg.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include <jpeglib.h>

namespace {

struct Rgb {
    int r, g, b;
};

// A picture of four flat quadrants, so the colours survive compression.
Rgb quadrantColour(int x, int y, int w, int h)
{
    static const Rgb colours[4] = {{220, 30, 30}, {30, 200, 40}, {40, 50, 210}, {250, 250, 250}};
    return colours[(x < w / 2 ? 0 : 1) + (y < h / 2 ? 0 : 2)];
}

QByteArray encode(int w, int h, bool grey, bool progressive = false)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 95, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<unsigned char> row(static_cast<std::size_t>(w * cinfo.input_components));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < w; ++x) {
            if (grey) {
                row[std::size_t(x)] = static_cast<unsigned char>(y < h / 2 ? 40 : 200);
            } else {
                const Rgb c = quadrantColour(x, y, w, h);
                row[std::size_t(3 * x)] = static_cast<unsigned char>(c.r);
                row[std::size_t(3 * x + 1)] = static_cast<unsigned char>(c.g);
                row[std::size_t(3 * x + 2)] = static_cast<unsigned char>(c.b);
            }
        }
        JSAMPROW p = row.data();
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(outSize));
    std::free(out);
    return bytes;
}

void expectNear(QRgb pixel, Rgb want)
{
    EXPECT_NEAR(qRed(pixel), want.r, 16);
    EXPECT_NEAR(qGreen(pixel), want.g, 16);
    EXPECT_NEAR(qBlue(pixel), want.b, 16);
}

TEST(Jpeg, ColourPictureKeepsSizeAndColours)
{
    for (const bool progressive : {false, true}) {
        SCOPED_TRACE(progressive ? "progressive" : "baseline");
        const QImage image = platform::decodeJpeg(encode(48, 32, false, progressive));
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(48, 32));
        EXPECT_EQ(image.format(), QImage::Format_RGB888);
        for (const QPoint p : {QPoint(8, 6), QPoint(40, 6), QPoint(8, 26), QPoint(40, 26)})
            expectNear(image.pixel(p), quadrantColour(p.x(), p.y(), 48, 32));
    }
}

TEST(Jpeg, GreyPictureStaysGrey)
{
    const QImage image = platform::decodeJpeg(encode(16, 16, true));
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.format(), QImage::Format_Grayscale8);
    EXPECT_NEAR(qGray(image.pixel(8, 3)), 40, 8);
    EXPECT_NEAR(qGray(image.pixel(8, 12)), 200, 8);
}

// Sets the picture size in the frame header (SOF0) to w x h.
QByteArray withFrameSize(QByteArray bytes, int w, int h)
{
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    if (sof < 0)
        return {};
    bytes[sof + 5] = char(h >> 8);
    bytes[sof + 6] = char(h & 0xFF);
    bytes[sof + 7] = char(w >> 8);
    bytes[sof + 8] = char(w & 0xFF);
    return bytes;
}

QByteArray randomBytes(int n, unsigned seed, bool jpegStart)
{
    std::mt19937 gen(seed);
    QByteArray bytes(n, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(gen() & 0xFF);
    if (jpegStart && n >= 3) {
        bytes[0] = char(0xFF);
        bytes[1] = char(0xD8);
        bytes[2] = char(0xFF);
    }
    return bytes;
}

TEST(Jpeg, BrokenPicturesGiveNullImage)
{
    const QByteArray good = encode(64, 48, false);
    ASSERT_FALSE(platform::decodeJpeg(good).isNull());
    const qsizetype n = good.size();
    struct Case {
        const char* name;
        QByteArray bytes;
    };
    const Case cases[] = {
        {"empty", QByteArray()},
        {"one byte", QByteArray(1, char(0xFF))},
        {"start marker only", QByteArray("\xFF\xD8", 2)},
        {"cut in the header", good.left(20)},
        {"cut at half", good.left(n / 2)},
        {"cut before the end marker", good.left(n - 2)},
        {"last byte missing", good.left(n - 1)},
        {"random bytes", randomBytes(1000, 7, false)},
        {"random bytes after a start marker", randomBytes(4000, 11, true)},
        {"zero width", withFrameSize(good, 0, 48)},
        {"absurd size", withFrameSize(good, 0xFFFF, 0xFFFF)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_TRUE(platform::decodeJpeg(c.bytes).isNull());
    }
}

TEST(Jpeg, EveryCutOfAPictureIsRefused)
{
    const QByteArray good = encode(24, 16, false);
    for (qsizetype cut = 0; cut < good.size(); ++cut)
        ASSERT_TRUE(platform::decodeJpeg(good.left(cut)).isNull()) << "cut at " << cut;
}

} // namespace
