#pragma once
#include <GL/gl.h>

#include <memory>

#include "reactor/Gene.h"
#include "resources/ClipPlayer.h"

// The pixel buffers of the images found in one directory: SGI ".rgb" files,
// PNG and JPEG pictures and video clips, one slot each in name order.
class ImageList {
public:
    static constexpr int kSlots = 128;
    ImageList();
    ~ImageList();
    ImageList(const ImageList&) = delete;
    ImageList& operator=(const ImageList&) = delete;

    // Slot contents (may be null). A negative index gives slot count - 1, an
    // index above count - 1 gives slot 0.
    unsigned char* get(int index) const;

    // Reads the images of directory into the slots (the image list's part of
    // an image gene's init). The ".rgb" image read last sets the list's size;
    // ".rgb" images of another size are dropped (their slots stay null), each
    // with one line. Without a readable ".rgb" image the size is
    // kDefaultSetSide a side. PNG and JPEG pictures are scaled to the size
    // (aspect kept, black bars); a clip gets a player with its frame buffers
    // at that size (its file is opened when it is first shown). Every image
    // and clip held counts against the stage's ImageMemoryBudget until the
    // list is destroyed.
    void read(const char* directory);

    // The clip in slot index, or null (an image or an empty slot).
    ClipPlayer* clip(int index) const { return index >= 0 && index < kSlots ? clips[index].get() : nullptr; }

    std::unique_ptr<unsigned char[]> images[kSlots];
    std::unique_ptr<ClipPlayer> clips[kSlots];
    int width = 0;   // size of the image read last (the texture size)
    int height = 0;
    int count = 0;   // slots in use, at most 127

private:
    // Empties slot k, whose image differs from the list's size, with its line.
    void dropOddSize(int k, const char* path);
    // Width and height of the image in each slot (0 for an empty slot).
    int slotWidth[kSlots] = {};
    int slotHeight[kSlots] = {};
};

// The one OpenGL texture of an image gene; all its images share it.
class GeneTexture {
public:
    void create(unsigned char* pixels, int width, int height);
    void setImage(unsigned char* pixels);
    void upload();

    GLuint textureName = 0;
    GLenum internalFormat = GL_RGBA;
    unsigned char* pixels = nullptr;  // not owned: points into the ImageList
    bool dirty = true;
    GLenum format = GL_RGBA;
    GLenum type = GL_UNSIGNED_BYTE;
    int width = 0;
    int height = 0;
    int uploads = 0;  // pixel sends by upload (glTexSubImage2D calls)
};

// A gene that owns the images of one directory and the texture showing one of
// them. Reactors select an image by index or by fraction of the list; the
// selection binds the texture (sending pixels only when the image changed).
// Needs a current OpenGL context when built.
class ImageGene : public SelectableGene {
public:
    static constexpr int kDirectorySize = 100;

    explicit ImageGene(const char* directory);
    ~ImageGene() override;

    void init() override;
    void update() override {}
    void selectIndex(int index) override;
    void selectFraction(float fraction) override;

    // Number of images in the list (0 when the directory held none).
    int imageCount() const;
    // The controllers a clip shown by the next selection follows (the
    // selecting layer's ClipPlayer entries, -1..1).
    void setClipControls(float speed, float position) {
        clipSpeed = speed;
        clipPosition = position;
    }

    std::unique_ptr<GeneTexture> texture;
    char directory[kDirectorySize] = {};
    std::unique_ptr<ImageList> images;
    int current = 0;
    float clipSpeed = 0.0f;
    float clipPosition = 0.0f;

private:
    // Makes slot k the image to send at the next upload when it differs
    // from the one shown (for a clip: when its frame changed).
    void show(int k);
};
