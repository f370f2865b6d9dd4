#pragma once
#include <utility>

namespace pellux {

// Owns one resource of the kind named by Traits:
//   using pointer = ...;                       the raw value type
//   static pointer Invalid() noexcept;         the "no resource" value
//   static void Close(pointer) noexcept;       releases a valid value
// Copy is deleted; move hands ownership over. Needs no platform header, so
// the same template serves kernel handles, GDI objects, icons and fakes.
template <typename Traits>
class UniqueResource {
 public:
  using pointer = typename Traits::pointer;

  UniqueResource() noexcept : value_(Traits::Invalid()) {}
  explicit UniqueResource(pointer value) noexcept : value_(value) {}
  ~UniqueResource() { reset(); }

  UniqueResource(const UniqueResource&) = delete;
  UniqueResource& operator=(const UniqueResource&) = delete;

  UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
  UniqueResource& operator=(UniqueResource&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  [[nodiscard]] pointer get() const noexcept { return value_; }
  [[nodiscard]] bool valid() const noexcept { return value_ != Traits::Invalid(); }
  explicit operator bool() const noexcept { return valid(); }

  // Closes the current value (if any) and takes the new one.
  void reset(pointer value = Traits::Invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (old != Traits::Invalid()) Traits::Close(old);
  }

  // Gives the value up without closing it.
  [[nodiscard]] pointer release() noexcept { return std::exchange(value_, Traits::Invalid()); }

  // Closes the current value and returns the slot for an out-parameter.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_;
};

}  // namespace pellux
