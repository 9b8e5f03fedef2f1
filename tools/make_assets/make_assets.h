// The demo's own visual data: the meshes, the point cloud, the mask and the
// particle sprite, made from code and written in the formats the loaders read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/make_assets/geometry.h"

struct AssetFile {
  std::string name;  // file name in the demo's working directory
  std::vector<uint8_t> bytes;
};

// The eight files, in the order the demo reads them.
std::vector<AssetFile> makeAssetFiles();

// The designs, one function each (art.cpp).
MeshBuilder makeCompassEmblem();    // "lu09.df": scenes 1-5, a gear train sliding at depth 9
MeshBuilder makeSpaceFrame();       // "fernoth.df": scenes 6-13, around the camera
MeshBuilder makeTopLettering();     // "bolinde.df": grey, last scene, upper line
MeshBuilder makeBottomLettering();  // "wex.df": grey, last scene, lower line
MeshBuilder makeFlatEmblem();       // "talmek.df": grey, last scene, emblem on top
std::vector<P3> makePointCloud();   // "model.hax"

struct RgbImage {
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;  // width x height x 3, rows top to bottom
};
RgbImage makeMask();    // "mask.raw", 640 x 480; black is transparent
RgbImage makeSprite();  // "part.raw", 8 x 8

// The file formats. Mesh and point files are little-endian with signed 16-bit
// counts; vertex numbers are stored counted from 1. Throws std::length_error
// when a count does not fit.
std::vector<uint8_t> encodeMeshFile(const std::vector<MeshBuilder>& meshes);
std::vector<uint8_t> encodePointFile(const std::vector<P3>& points);
