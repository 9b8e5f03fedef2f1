// The vector types shared by the renderer, the mesh files and the scenes.
#pragma once

// Mesh vertices, points and camera vectors; 12 bytes, the layout of the files.
struct Vec3 {
  float x, y, z;
};

// A vertex in clip space; after division and mapping, x and y in pixels and
// z the divided depth.
struct Vec4 {
  float x, y, z, w;
};

static_assert(sizeof(Vec3) == 12, "Vec3 is read from files as 12 bytes");
static_assert(sizeof(Vec4) == 16, "Vec4 is four packed floats");
