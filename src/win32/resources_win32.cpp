#include "win32/resources_win32.h"

#include <cstring>

namespace pellux::win32 {

UniqueIcon LoadIconResource(HINSTANCE instance, int id, int size) {
  return UniqueIcon(
      static_cast<HICON>(::LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

bool JpegPicture::Load(HINSTANCE instance, int id) {
  HRSRC found = ::FindResourceA(instance, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (found == nullptr) return false;
  const DWORD size = ::SizeofResource(instance, found);
  HGLOBAL loaded = ::LoadResource(instance, found);  // resource memory needs no freeing
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr || size == 0) return false;

  // The picture component reads from a stream; resource memory cannot back
  // one, so the bytes are copied into movable global memory.
  UniqueGlobal memory(::GlobalAlloc(GMEM_MOVEABLE, size));
  if (!memory) return false;
  void* target = ::GlobalLock(memory.get());
  if (target == nullptr) return false;
  std::memcpy(target, bytes, size);
  (void)::GlobalUnlock(memory.get());  // FALSE here only says the lock count reached 0

  IStream* rawStream = nullptr;
  // FALSE: the stream does not free the memory; UniqueGlobal does, after the stream.
  if (FAILED(::CreateStreamOnHGlobal(memory.get(), FALSE, &rawStream))) return false;
  UniqueCom<IStream> stream(rawStream);
  void* rawPicture = nullptr;
  if (FAILED(::OleLoadPicture(stream.get(), static_cast<LONG>(size), FALSE, IID_IPicture, &rawPicture))) {
    return false;
  }
  picture_.reset(static_cast<IPicture*>(rawPicture));
  return true;
}

void JpegPicture::Draw(HDC dc, const RECT& target) const {
  if (!picture_) return;
  OLE_XSIZE_HIMETRIC width = 0;
  OLE_YSIZE_HIMETRIC height = 0;
  if (FAILED(picture_.get()->get_Width(&width)) || FAILED(picture_.get()->get_Height(&height))) return;
  // The photograph is drawn smaller than it is: averaging keeps it a
  // photograph, where the default stretch mode drops rows and columns.
  const int previousMode = ::SetStretchBltMode(dc, HALFTONE);
  POINT previousOrigin{};
  (void)::SetBrushOrgEx(dc, 0, 0, &previousOrigin);  // HALFTONE needs the origin reset
  // HIMETRIC runs upwards: start at the source's bottom with a negative height.
  (void)picture_.get()->Render(dc, target.left, target.top, target.right - target.left, target.bottom - target.top, 0,
                               height, width, -height, nullptr);
  if (previousMode != 0) (void)::SetStretchBltMode(dc, previousMode);
  (void)::SetBrushOrgEx(dc, previousOrigin.x, previousOrigin.y, nullptr);
}

}  // namespace pellux::win32
