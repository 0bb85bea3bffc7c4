#include "JpegImage.h"

#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

namespace client {

namespace {

struct ErrorMgr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorMgr*>(info->err)->jump, 1); }

}  // namespace

QImage LoadJpegFile(const std::string& path) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return QImage();
  jpeg_decompress_struct info{};
  ErrorMgr err{};
  info.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = OnError;
  QImage img;  // constructed before the jump point; nothing with a destructor starts after it
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&info);
    return QImage();
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, f.get());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = JCS_RGB;
  jpeg_start_decompress(&info);
  if (info.output_width > 4096 || info.output_height > 4096) {
    jpeg_destroy_decompress(&info);
    return QImage();
  }
  img = QImage(int(info.output_width), int(info.output_height), QImage::Format_RGB888);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = img.scanLine(int(info.output_scanline));
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return img;
}

}  // namespace client
