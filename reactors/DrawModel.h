#pragma once

class ObjModel;

// Draws an ObjModel as one list of triangles with the current GL state: for
// every corner its texture coordinate (when it has one), its normal (when it
// has one) and its position. A corner without a texture coordinate or normal
// keeps the one sent before it, as immediate mode does. No colour, material
// or texture is set here. A null model draws nothing.
void drawModel(const ObjModel* model);
