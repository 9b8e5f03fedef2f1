// The per-draw helpers the Rasterizer's triangle and line draws share: the
// viewport mapping with its constants worked out once, and a cache of the
// vertices a draw has already transformed, divided and mapped.
#pragma once

#include <cstdint>

#include "render3d/render3d.h"

// toScreen for one viewport, with the half extents computed once per draw
// instead of once per vertex. The same expressions in the same order, so
// the same bits as toScreen.
struct ScreenMapping {
  double halfWidth, halfHeight, left, top;

  explicit ScreenMapping(ViewportRect rect)
      : halfWidth((double(rect.right) - rect.left - 1) * 0.5),
        halfHeight((double(rect.bottom) - rect.top - 1) * 0.5),
        left(rect.left),
        top(rect.top) {}

  Vec4 operator()(Vec4 v) const {
    v.x = float((double(v.x) + 1) * halfWidth + left);
    v.y = float((1 - double(v.y)) * halfHeight + top);
    return v;
  }
};

// The transformed positions of the vertices used last, by index: a mesh's
// triangles share most corners with their neighbours in the index list, and
// a vertex transforms (and, inside the view volume, divides and maps) to the
// same position every time. `first` is the transform of the mesh's
// vertices, `second` (optional) one applied after it; clip() is the position
// after both, the one that is clipped and drawn.
class TransformedVertices {
 public:
  TransformedVertices(const Vec3* vertices, const Matrix4& first, const Matrix4* second, ScreenMapping mapping)
      : vertices_(vertices), first_(first), second_(second), mapping_(mapping) {}

  // The vertex through the first transform.
  Vec4 first(int32_t index) { return slot(index).once; }

  // The vertex in clip space.
  const Vec4& clip(int32_t index) { return clipped(index).clip; }

  // Whether the vertex lies strictly inside the view volume.
  bool inside(int32_t index) { return clipped(index).inside; }

  // The clip-space vertex divided and mapped onto the viewport.
  const Vec4& screen(int32_t index) {
    Slot& s = clipped(index);
    if (!s.screenDone) {
      s.screen = mapping_(perspectiveDivide(s.clip));
      s.screenDone = true;
    }
    return s.screen;
  }

 private:
  static constexpr uint32_t kSlots = 32;
  struct Slot {
    Vec4 once, clip, screen;
    int32_t index;
    bool filled = false;
    bool clipDone = false;
    bool inside = false;
    bool screenDone = false;
  };

  Slot& slot(int32_t index) {
    Slot& s = slots_[uint32_t(index) % kSlots];
    if (!s.filled || s.index != index) {
      s.once = transformPoint(first_, vertices_[index]);
      s.index = index;
      s.filled = true;
      s.clipDone = false;
      s.screenDone = false;
    }
    return s;
  }

  Slot& clipped(int32_t index) {
    Slot& s = slot(index);
    if (!s.clipDone) {
      s.clip = second_ ? transformPoint(*second_, s.once) : s.once;
      s.inside = insideClipVolume(s.clip);
      s.clipDone = true;
    }
    return s;
  }

  const Vec3* vertices_;
  const Matrix4& first_;
  const Matrix4* second_;
  ScreenMapping mapping_;
  Slot slots_[kSlots];
};
