#include "app/ModuleWarmup.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/ControlTable.h"
#include "app/FrameSteps.h"
#include "app/qelUnivCell.h"
#include "platform/QuietStdout.h"
#include "platform/VirtualScreen.h"
#include "reactor/GlSwitches.h"
#include "reactor/MatrixModeKeeper.h"
#include "reactor/Random.h"
#include "reactor/Reactor.h"
#include "reactor/ReactorLoader.h"
#include "resources/ImageGene.h"
#include "resources/ModelGene.h"

namespace {

// A 640x480 target with the virtual screen's formats (RGBA8 colour, 24-bit
// depth): the compiled drawing code depends on them. Released with the
// object; the caller binds the virtual screen again.
class WarmupTarget {
public:
    WarmupTarget() {
        glGenTextures(1, &colour_);
        glBindTexture(GL_TEXTURE_2D, colour_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, VirtualScreen::kWidth, VirtualScreen::kHeight, 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, nullptr);
        glBindTexture(GL_TEXTURE_2D, 0);
        glGenRenderbuffers(1, &depth_);
        glBindRenderbuffer(GL_RENDERBUFFER, depth_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, VirtualScreen::kWidth, VirtualScreen::kHeight);
        glBindRenderbuffer(GL_RENDERBUFFER, 0);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
        complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glViewport(0, 0, VirtualScreen::kWidth, VirtualScreen::kHeight);
    }
    ~WarmupTarget() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &depth_);
        glDeleteTextures(1, &colour_);
    }
    WarmupTarget(const WarmupTarget&) = delete;
    WarmupTarget& operator=(const WarmupTarget&) = delete;
    bool complete() const { return complete_; }

private:
    GLuint framebuffer_ = 0, colour_ = 0, depth_ = 0;
    bool complete_ = false;
};

// An image set of one grey image of the given size, made in memory, with
// its texture set up as every image set's is.
std::unique_ptr<ImageGene> blankImages(int width, int height) {
    auto gene = std::make_unique<ImageGene>("");
    if (width <= 0 || height <= 0) return gene;
    const size_t bytes = static_cast<size_t>(width) * height * 4;
    gene->images->images[0] = std::make_unique<unsigned char[]>(bytes);
    std::memset(gene->images->images[0].get(), 0x80, bytes);
    gene->images->width = width;
    gene->images->height = height;
    gene->images->count = 1;
    GeneTexture& texture = *gene->texture;
    glBindTexture(GL_TEXTURE_2D, texture.textureName);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(texture.internalFormat), width, height, 0, texture.format,
                 texture.type, gene->images->images[0].get());
    texture.width = width;
    texture.height = height;
    texture.setImage(gene->images->images[0].get());
    return gene;
}

// The three matrix stacks, each pushed for the warm-up and popped after it.
void pushAllMatrices() {
    for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glPushMatrix();
    }
}
void popAllMatrices() {
    for (GLenum mode : {GL_TEXTURE, GL_PROJECTION, GL_MODELVIEW}) {
        glMatrixMode(mode);
        glPopMatrix();
    }
}

// One frame of a raised cell at full opacity, as qelUnivCell::frame runs it.
void drawOneFrame(Reactor& reactor, MatrixModeKeeper& keeper, bool cleanLayers) {
    pushFrameView(keeper);
    clearOrFade(0.0f);
    setFrameLights();
    switchLighting(false);
    GLint frontFace = GL_CW;
    glGetIntegerv(GL_FRONT_FACE, &frontFace);
    switchTexGen(false);
    beginCellLayer(1.0f);
    if (cleanLayers) beginCleanLayer(frontFace, reactor.imageSet(0));
    reactor.update();
    reactor.draw();
    glEnable(GL_TEXTURE_2D);
    switchTexGen(false);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    popFrameView(keeper);
}

}  // namespace

WarmupResult warmUpModules(const WarmupSources& sources) {
    WarmupResult result;
    const auto start = std::chrono::steady_clock::now();
    QuietStdout quiet;
    const uint32_t randomState = qelRandState();
    const int modelSelection = sources.models ? sources.models->current : 0;
    auto controls = std::make_unique<ControlTable>();
    if (sources.controls) *controls = *sources.controls;

    GLint framebuffer = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
    GLint matrixMode = GL_MODELVIEW;
    glGetIntegerv(GL_MATRIX_MODE, &matrixMode);
    pushAllMatrices();
    {
        WarmupTarget target;
        if (target.complete()) {
            result.drawn = true;
            std::unique_ptr<ImageGene> images = blankImages(sources.imageWidth, sources.imageHeight);
            MatrixModeKeeper keeper;
            for (int index = 0; index < sources.modules; ++index) {
                // Each module starts from the state the warm-up began with
                // (a reactor sets some state when it is built).
                glPushAttrib(GL_ALL_ATTRIB_BITS);
                glPushClientAttrib(GL_CLIENT_ALL_ATTRIB_BITS);
                std::unique_ptr<Reactor> reactor = loadReactor(index);
                if (!reactor) {
                    glPopClientAttrib();
                    glPopAttrib();
                    continue;
                }
                reactor->setChannel(sources.channel);
                reactor->setMatrixKeeper(&keeper);
                reactor->setImageSet(0, images.get());
                reactor->setModelSet(sources.models);
                reactor->setControls(controls.get());
                reactor->setWave(sources.wave);
                reactor->setTimeFactor(0.5f);
                glBindTexture(GL_TEXTURE_2D, images->texture->textureName);
                drawOneFrame(*reactor, keeper, sources.cleanLayers);
                glFinish();
                reactor.reset();
                glPopClientAttrib();
                glPopAttrib();
                ++result.modules;
            }
        }
    }
    // The framebuffer first: the attributes hold its draw and read buffers.
    glBindFramebuffer(GL_FRAMEBUFFER, static_cast<GLuint>(framebuffer));
    popAllMatrices();
    glMatrixMode(static_cast<GLenum>(matrixMode));
    glPopClientAttrib();
    glPopAttrib();
    if (VirtualScreen* screen = activeVirtualScreen()) screen->bind();

    if (sources.models) sources.models->current = modelSelection;
    qelSetRandState(randomState);
    result.millis = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    return result;
}

void warmUpUniverse(qelUnivCell& universe) {
    WarmupSources sources;
    sources.modules = universe.moduleCount;
    sources.controls = universe.controls.get();
    sources.wave = universe.wave.get();
    sources.models = universe.modelSets[0].get();
    sources.cleanLayers = universe.cleanLayers;
    if (const ImageGene* first = universe.imageSets[0].get(); first && first->images && first->images->width > 0) {
        sources.imageWidth = first->images->width;
        sources.imageHeight = first->images->height;
    }
    const WarmupResult result = warmUpModules(sources);
    if (result.drawn)
        std::fprintf(stderr, "strata: warm-up: %d modules built and drawn off-screen in %.0f ms (STRATA_WARMUP=0 skips it)\n",
                     result.modules, result.millis);
    else
        std::fprintf(stderr, "strata: warm-up: no off-screen target; skipped\n");
}
