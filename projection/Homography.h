#pragma once

// The projective map of the unit square onto a quadrilateral, which is what
// the corner pin draws: the picture's texture square (u, v in 0..1) goes to
// four points on the output, straight lines staying straight.
struct PinPoint {
    double x = 0.0, y = 0.0;
};

// A 3x3 matrix in rows: (x, y, w) = H * (u, v, 1), the point being (x/w, y/w).
struct Homography {
    double m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};

    // The map with (0,0) -> to[0], (1,0) -> to[1], (1,1) -> to[2], (0,1) ->
    // to[3]. False (and the identity kept) when the four points are not a
    // convex quadrilateral: a crossed or folded one has no such map that
    // keeps the picture in one piece.
    bool fromSquare(const PinPoint to[4]);
    PinPoint apply(double u, double v) const;
    // The 4x4 column-major OpenGL matrix of the same map, with z carried
    // through as 0, so a quad drawn at (u, v, 0, 1) lands projectively (and
    // its texture is interpolated with perspective).
    void glMatrix(double out[16]) const;
};

// Whether the four points, in order, make a strictly convex quadrilateral.
bool convexQuad(const PinPoint p[4]);
