#include "platform/vcl/Jpeg.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace platform {

namespace {

// libjpeg reports a fatal error by calling error_exit, which must not return; we jump
// back to decodeInto. Only C objects live between the setjmp and the jump.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void onFatalError(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    std::longjmp(err->jump, 1);
}

// Warnings are still counted in num_warnings by the standard emit_message; nothing is
// printed.
void silentOutput(j_common_ptr) {}

// Decodes into image, which belongs to the caller so that no C++ object of this
// function is left half-changed by the jump. False on any error or warning: libjpeg
// papers over a truncated stream with a warning and a grey rest of the picture.
bool decodeInto(const QByteArray& bytes, QImage& image)
{
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = onFatalError;
    err.pub.output_message = silentOutput;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.constData()),
                 static_cast<unsigned long>(bytes.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }

    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool colour = cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB;
    const long long pixels = static_cast<long long>(cinfo.image_width) * cinfo.image_height;
    if ((!grey && !colour) || pixels <= 0 || pixels > maxJpegPixels) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    cinfo.out_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(&cinfo);

    image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                   grey ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (image.isNull() || cinfo.output_components != (grey ? 1 : 3)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) {
            jpeg_destroy_decompress(&cinfo);
            return false;
        }
    }
    jpeg_finish_decompress(&cinfo);
    const bool clean = err.pub.num_warnings == 0;
    jpeg_destroy_decompress(&cinfo);
    return clean;
}

} // namespace

QImage decodeJpeg(const QByteArray& bytes)
{
    if (bytes.size() < 4)
        return {};
    QImage image;
    if (!decodeInto(bytes, image))
        return {};
    return image;
}

} // namespace platform
