#pragma once
#include <windows.h>
#include <ocidl.h>
#include <olectl.h>

#include "win32/win32_handles.h"

namespace pellux::win32 {

// An icon resource at size x size pixels (the nearest image, scaled), or none.
[[nodiscard]] UniqueIcon LoadIconResource(HINSTANCE instance, int id, int size);

// The window's photograph: a JPEG kept as raw data in the resources and
// decoded at run time by the system's picture component.
class JpegPicture {
 public:
  // False when the resource is missing or cannot be decoded; Draw then draws nothing.
  bool Load(HINSTANCE instance, int id);
  // Draws the whole picture stretched to target.
  void Draw(HDC dc, const RECT& target) const;

 private:
  UniqueCom<IPicture> picture_;
};

}  // namespace pellux::win32
