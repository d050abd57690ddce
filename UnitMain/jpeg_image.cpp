#include "UnitMain/jpeg_image.h"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>

namespace tivaro {

namespace {

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

extern "C" void onJpegError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->jump, 1);
}

extern "C" void onJpegMessage(j_common_ptr) {}  // warnings stay quiet

// Everything libjpeg touches lives here, with no C++ object of non-trivial
// lifetime between setjmp and a possible longjmp.
bool decode(const unsigned char* bytes, unsigned long size, QImage* out) {
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = onJpegError;
    errors.pub.output_message = onJpegMessage;
    if (setjmp(errors.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, size);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3 || info.output_width == 0 || info.output_height == 0 ||
        info.output_width > 16384 || info.output_height > 16384) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    // The image is made before any row is read; a longjmp from here on leaves
    // it allocated but whole, and the caller's QImage owns it.
    *out = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                  QImage::Format_RGB888);
    if (out->isNull()) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out->scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) return {};
    QImage image;
    if (!decode(reinterpret_cast<const unsigned char*>(data.constData()),
                static_cast<unsigned long>(data.size()), &image))
        return {};
    return image;
}

}  // namespace tivaro
