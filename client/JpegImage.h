// Reads a JPEG file with libjpeg into an image; a null image on any failure.
#pragma once

#include <QImage>
#include <string>

namespace client {

QImage LoadJpegFile(const std::string& path);

}  // namespace client
