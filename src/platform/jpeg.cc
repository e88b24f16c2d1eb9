#include "platform/jpeg.h"

#include "platform/error.h"

#include <cstdio>
// The library's header needs FILE and size_t declared first.
#include <jpeglib.h>

#include <csetjmp>

namespace skarvel {
namespace {

// The library reports a fatal error by calling error_exit, which must not
// return: jump back to the decoder with the message kept.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ExitWithMessage(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, manager->message);
  std::longjmp(manager->jump, 1);
}

// Warnings (a corrupt but decodable stream) are not the user's business.
void IgnoreMessage(j_common_ptr, int) {}

}  // namespace

QImage DecodeJpeg(const QByteArray& data, JpegInfo* info) {
  jpeg_decompress_struct cinfo;
  ErrorManager errors;
  cinfo.err = jpeg_std_error(&errors.base);
  errors.base.error_exit = ExitWithMessage;
  errors.base.emit_message = IgnoreMessage;
  errors.message[0] = '\0';
  // Everything the jump can skip lives outside this frame or before it.
  QImage image;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    throw Error(QStringLiteral("JPEG: %1").arg(QString::fromLocal8Bit(errors.message)));
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&cinfo, TRUE);
  if (info != nullptr) {
    info->width = static_cast<int>(cinfo.image_width);
    info->height = static_cast<int>(cinfo.image_height);
    info->components = cinfo.num_components;
    info->progressive = cinfo.progressive_mode != 0;
  }
  cinfo.out_color_space = JCS_EXT_BGRX;  // QImage::Format_RGB32 in memory on this platform
  jpeg_start_decompress(&cinfo);
  image = QImage(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                 QImage::Format_RGB32);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = image.scanLine(static_cast<int>(cinfo.output_scanline));
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return image;
}

}  // namespace skarvel
