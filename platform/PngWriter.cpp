#include "platform/PngWriter.h"

#include <png.h>

#include <cstdio>
#include <cstring>

bool writePng(const char* path, const uint8_t* rgba, int width, int height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    // A negative row stride writes the bottom-up buffer top row first.
    const png_int_32 stride = -static_cast<png_int_32>(width * 4);
    if (!png_image_write_to_file(&image, path, 0, rgba, stride, nullptr)) {
        fprintf(stderr, "PNG write failed: %s: %s\n", path, image.message);
        return false;
    }
    return true;
}

bool readPng(const char* path, std::vector<uint8_t>& rgba, int* width, int* height) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path)) return false;
    image.format = PNG_FORMAT_RGBA;
    rgba.resize(PNG_IMAGE_SIZE(image));
    const png_int_32 stride = -static_cast<png_int_32>(image.width * 4);
    if (!png_image_finish_read(&image, nullptr, rgba.data(), stride, nullptr)) {
        rgba.clear();
        return false;
    }
    *width = static_cast<int>(image.width);
    *height = static_cast<int>(image.height);
    return true;
}
