#pragma once

class MetaballPolygoniser;

// How well a polygonised mesh fits the field of its balls, in double
// precision over every ball: the distance from each vertex to the surface
// F = 0, taken as |F| / |grad F| (the first-order distance, far more exact
// than the figures at these distances), in cubes; and the angle between each
// vertex normal and the field's gradient there, in degrees.
struct MetaballAccuracy {
    double meanDistance = 0.0;
    double maxDistance = 0.0;
    double maxNormalDegrees = 0.0;
};
MetaballAccuracy measureMetaballAccuracy(const MetaballPolygoniser& poly);

// Fifty balls of strength 16 at 0.2 x a random point of the cube of half size
// `scale`, drawn from the process generator started fresh (scale 3 spreads
// them into many blobs, 0.6 gathers them into a few).
void setFiftyBalls(MetaballPolygoniser& poly, double scale);
