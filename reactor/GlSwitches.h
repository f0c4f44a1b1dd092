#pragma once

// The small OpenGL state switches shared by the universe and the reactors.
//  blend on:  blending (src alpha, 1 - src alpha), depth test off, depth writes off
//  blend off: blending off, depth writes on (the depth test stays off)
//  depth:     depth test and depth writes on / off together
//  texGen:    texture coordinate generation for S and T
//  lighting:  lighting
void switchBlend(bool on);
void switchDepth(bool on);
void switchTexGen(bool on);
void switchLighting(bool on);

// The frame's two coloured lights (magenta on the left, cyan on the right),
// placed in the current model-view space; lighting and two-sided lighting on.
void placeTwoLights();
