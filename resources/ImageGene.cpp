#include "resources/ImageGene.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "resources/FilesInPath.h"
#include "resources/ImageMemoryBudget.h"
#include "resources/PictureFile.h"
#include "resources/SgiImage.h"

namespace {

constexpr int kPathSize = 1000;  // a full file path, terminator included

bool endsWith(const char* name, const char* ending) {
    const size_t n = strlen(name);
    const size_t e = strlen(ending);
    return n > e && strcmp(name + n - e, ending) == 0;
}

size_t pixelBytes(int width, int height) { return static_cast<size_t>(width) * static_cast<size_t>(height) * 4; }

// The names of the PNG, JPEG and clip files of directory (any order).
std::vector<std::string> listPictures(const char* directory) {
    std::vector<std::string> found;
    std::error_code error;
    std::filesystem::directory_iterator it(directory, error);
    for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
        const std::string name = it->path().filename().string();
        const SetFileKind kind = setFileKind(name.c_str());
        if (kind == SetFileKind::Png || kind == SetFileKind::Jpeg || kind == SetFileKind::Clip) found.push_back(name);
    }
    return found;
}

}  // namespace

// ---------------------------------------------------------------- ImageList

ImageList::ImageList() = default;

ImageList::~ImageList() {
    for (int k = 0; k < kSlots; ++k) {
        if (images[k]) ImageMemoryBudget::give(pixelBytes(slotWidth[k], slotHeight[k]));
        if (clips[k]) ImageMemoryBudget::give(ClipPlayer::bytesFor(slotWidth[k], slotHeight[k]));
    }
}

unsigned char* ImageList::get(int index) const {
    if (count <= 0) return images[0].get();  // empty list: slot 0 (null)
    if (index < 0) return images[count - 1].get();
    if (index > count - 1) return images[0].get();
    return images[index].get();
}

void ImageList::read(const char* directory) {
    count = 0;
    char pattern[kPathSize];
    if (snprintf(pattern, sizeof pattern, "%s/*.rgb", directory) >= static_cast<int>(sizeof pattern)) {
        printf("ImageList::directory name too long, no images %s\n", directory);
        return;
    }
    FilesInPath listing(pattern);
    // The pictures are listed apart (and silently), so that a set of ".rgb"
    // files prints and orders exactly what it always did.
    std::vector<std::string> pictures = listPictures(directory);
    std::vector<const char*> names;
    for (int i = 0; i < listing.count; ++i) names.push_back(listing.names[i].get());
    for (const std::string& name : pictures) names.push_back(name.c_str());
    std::sort(names.begin(), names.end(), listingOrder);
    if (names.size() > static_cast<size_t>(FilesInPath::kMaxNames)) names.resize(FilesInPath::kMaxNames);

    // Slot k holds the image of the k-th listed name.
    int examined = 0;
    SetFileKind kinds[kSlots] = {};
    for (size_t i = 0; i < names.size(); ++i) {
        const char* name = names[i];
        examined = static_cast<int>(i) + 1;
        kinds[count] = setFileKind(name);
        // Only a lower-case ".rgb" ending is read; other listed names (the
        // listing is case-blind) keep their slot, which stays null.
        if (kinds[count] == SetFileKind::Sgi && strlen(name) > 4 && endsWith(name, ".rgb")) {
            char path[kPathSize];
            if (snprintf(path, sizeof path, "%s/%s", directory, name) >= static_cast<int>(sizeof path)) {
                printf("ImageList::path too long, skipped %s\n", name);
            } else {
                printf("Reading Texture ...%s\n", path);
                int w = 0, h = 0, components = 0;
                std::unique_ptr<unsigned char[]> pixels =
                    readTexture(path, &w, &h, &components, ImageMemoryBudget::left());
                if (pixels) {
                    ImageMemoryBudget::take(pixelBytes(w, h));
                    slotWidth[count] = w;
                    slotHeight[count] = h;
                    // The image read last sets the size of the list.
                    width = w;
                    height = h;
                }
                images[count] = std::move(pixels);
            }
        }
        if (count > kSlots - 2) break;
        ++count;
    }

    // All images of a list share one texture of the list's size: an image of
    // another size would be sent with the wrong size (and read past its
    // buffer), so it is dropped and its slot stays null.
    for (int k = 0; k < examined && k < kSlots; ++k) {
        if (!images[k] || (slotWidth[k] == width && slotHeight[k] == height)) continue;
        char path[kPathSize];
        snprintf(path, sizeof path, "%s/%s", directory, names[k]);
        dropOddSize(k, path);
    }
    if (pictures.empty()) return;

    // Pictures and clips are scaled to the size of the ".rgb" images, or
    // to the default size when there are none.
    if (width == 0 || height == 0) width = height = kDefaultSetSide;
    for (int k = 0; k < examined && k < kSlots; ++k) {
        if (kinds[k] != SetFileKind::Png && kinds[k] != SetFileKind::Jpeg && kinds[k] != SetFileKind::Clip) continue;
        char path[kPathSize];
        if (snprintf(path, sizeof path, "%s/%s", directory, names[k]) >= static_cast<int>(sizeof path)) {
            fprintf(stderr, "ImageList::path too long, skipped %s\n", names[k]);
            continue;
        }
        if (kinds[k] == SetFileKind::Clip) {
            const size_t bytes = ClipPlayer::bytesFor(width, height);
            if (!ImageMemoryBudget::take(bytes)) {
                fprintf(stderr, "Clip refused (%zu bytes of frames, %zu left in the image memory budget) %s\n", bytes,
                        ImageMemoryBudget::left(), path);
                continue;
            }
            clips[k] = std::make_unique<ClipPlayer>(path, width, height);
            slotWidth[k] = width;
            slotHeight[k] = height;
            continue;
        }
        images[k] = readPictureFile(path, kinds[k], width, height, ImageMemoryBudget::left());
        if (!images[k]) continue;
        ImageMemoryBudget::take(pixelBytes(width, height));
        slotWidth[k] = width;
        slotHeight[k] = height;
    }
}

void ImageList::dropOddSize(int k, const char* path) {
    printf("ImageList::skipped %s: size %dx%d differs from the set's %dx%d\n", path, slotWidth[k], slotHeight[k], width,
           height);
    ImageMemoryBudget::give(pixelBytes(slotWidth[k], slotHeight[k]));
    images[k].reset();
    slotWidth[k] = 0;
    slotHeight[k] = 0;
}

// -------------------------------------------------------------- GeneTexture

void GeneTexture::create(unsigned char* newPixels, int newWidth, int newHeight) {
    if (!newPixels) printf("Tex will be NULL imaged\n");
    pixels = newPixels;
    width = newWidth;
    height = newHeight;
    glEnable(GL_TEXTURE_2D);
    glGenTextures(1, &textureName);
    glBindTexture(GL_TEXTURE_2D, textureName);
    printf("New Texture ID %u\n", textureName);
    printf("texid for this status %d\n", static_cast<int>(textureName));
    printf("texture size is %d,%d \n", width, height);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(internalFormat), width, height, 0, format, type, pixels);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
}

void GeneTexture::setImage(unsigned char* newPixels) {
    pixels = newPixels;
    dirty = true;
}

void GeneTexture::upload() {
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, textureName);
    if (dirty) {
        // A null image (a name that was listed but not read) or an empty
        // texture sends nothing: the texture keeps the pixels it had.
        if (pixels && width > 0 && height > 0) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, format, type, pixels);
            ++uploads;
        }
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
        dirty = false;
    }
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
}

// ---------------------------------------------------------------- ImageGene

ImageGene::ImageGene(const char* name) {
    printf("ImageGene ---%s\n", name ? name : "");
    // A refused name leaves the gene usable, with no images.
    copyDirectoryName(directory, kDirectorySize, name,
                      "ImageGene::directory name longer than %d characters, no images\n");
    current = 0;
    ImageGene::init();
}

ImageGene::~ImageGene() {
    // The texture name is freed here, while the context that made it lives.
    if (texture) glDeleteTextures(1, &texture->textureName);
}

void ImageGene::init() {
    if (images) return;  // built once, by the constructor
    printf("ImageGene::Loading Image List %s\n", directory);
    images = std::make_unique<ImageList>();
    // An empty directory name (refused or given) lists nothing, rather than
    // the file system's root.
    if (directory[0] != '\0') images->read(directory);
    printf("ImageList %d imgs\n", images->count);
    printf("ImageGene::Images loaded\n");

    texture = std::make_unique<GeneTexture>();
    texture->internalFormat = GL_RGBA;
    texture->format = GL_RGBA;
    texture->type = GL_UNSIGNED_BYTE;
    texture->dirty = true;
    texture->create(images->get(0), images->width, images->height);
    texture->setImage(images->get(0));
    printf("ImageGene::initialization complete\n");
}

int ImageGene::imageCount() const { return images ? images->count : 0; }

void ImageGene::selectIndex(int index) {
    const int count = imageCount();
    if (count > 0) {
        const int k = (index >= 0 ? index : 0) % count;
        show(k);
    }
    // An empty list keeps its (empty) texture and only binds it.
    texture->upload();
}

void ImageGene::selectFraction(float fraction) {
    const int count = imageCount();
    if (count > 0) {
        // count x f truncated toward zero; NaN, negative and very large
        // fractions are kept inside int before the conversion.
        const float p = static_cast<float>(count) * fraction;
        int k = 0;
        if (p >= 2147483520.0f)
            k = static_cast<int>(std::fmod(static_cast<double>(p), static_cast<double>(count)));
        else if (p > 0.0f)
            k = static_cast<int>(p) % count;
        show(k);
    }
    texture->upload();
}

void ImageGene::show(int k) {
    if (ClipPlayer* clip = images->clip(k)) {
        bool changed = false;
        unsigned char* pixels = const_cast<unsigned char*>(clip->frame(clipSpeed, clipPosition, &changed));
        if (changed || k != current) texture->setImage(pixels);
    } else if (k != current) {
        texture->setImage(images->get(k));
    }
    current = k;
}
