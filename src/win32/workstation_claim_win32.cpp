#include "win32/workstation_claim_win32.h"

#include <windows.h>

#include <utility>

namespace pellux::win32 {
namespace {

constexpr wchar_t kClaimName[] = L"Global\\PelluxMONITOR.Launch";

}  // namespace

bool Win32WorkstationClaim::Take() {
  if (held_) return true;
  UniqueHandle claim(::CreateMutexW(nullptr, FALSE, kClaimName));
  const DWORD error = ::GetLastError();
  // Made by a monitor of this user: it exists. Made by another user's: its
  // access list grants this user nothing, and the open is refused.
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED) return false;
  // Any other failure leaves no claim to respect: the monitor launches, as
  // it did before there was one.
  held_ = std::move(claim);
  return true;
}

bool Win32WorkstationClaim::TakenElsewhere() {
  if (held_) return false;
  const UniqueHandle claim(::OpenMutexW(SYNCHRONIZE, FALSE, kClaimName));
  const DWORD error = ::GetLastError();
  return claim || error == ERROR_ACCESS_DENIED;
}

void Win32WorkstationClaim::Release() { held_.reset(); }

}  // namespace pellux::win32
