// Array<T>: a fixed-length array whose storage is one collected object.
//
// The handle is one pointer; copying it shares the storage (no copy on write).
// Every empty array of one element type points at that type's static nullRep,
// which carries the collector flags value 3 and so is never marked, moved or
// freed. Elements start as zero, false, null or the empty string.
#pragma once

#include <cstring>
#include <type_traits>

#include "runtime/gc.h"

// Elements live behind the Rep header in the same block. For the static empty
// Rep the compiler sees a lone object and, after inlining, warns about indexing
// that can never run (its length is 0); those warnings are switched off here.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Warray-bounds"

template <class T>
class Array {
 public:
  class Rep : public gc_object {
   public:
    int length;

    // The one static empty Rep of this element type.
    Rep() : gc_object(gc_static_flags), length(0) {}

    explicit Rep(int n) : length(n) {
      if constexpr (std::is_same_v<T, String>) {
        for (int i = 0; i < n; ++i) new (&data()[i]) String();
      } else {
        std::memset(static_cast<void*>(data()), 0, sizeof(T) * static_cast<size_t>(n));
      }
    }

    ~Rep() override {
      if constexpr (std::is_same_v<T, String>) {
        for (int i = 0; i < length; ++i) data()[i].~String();
      }
    }

    // Object elements are marked at once; other element types hold no references.
    void mark() override {
      if constexpr (std::is_pointer_v<T>) {
        gc_mark_elements(length, data());
      }
    }

    T* data() { return reinterpret_cast<T*>(this + 1); }

    // A new Rep of n elements in one collected block (header, then elements).
    static Rep* make(int n) {
      void* block = gc_object_alloc(static_cast<int>(sizeof(Rep) + sizeof(T) * static_cast<size_t>(n)));
      return new (block) Rep(n);
    }

    static Rep nullRep;
  };

  Array() : rep_(&Rep::nullRep) {}
  explicit Array(int n) : rep_(n > 0 ? Rep::make(n) : &Rep::nullRep) {}
  Array(const T* p, int n) : Array(n) {
    for (int i = 0; i < n; ++i) rep_->data()[i] = p[i];
  }

  int Length() const { return rep_->length; }
  T& operator[](int i) const { return rep_->data()[i]; }
  T* Data() const { return rep_->data(); }
  Rep* GetRep() const { return rep_; }

  // A new array of n elements: the first min(n, Length()) copied, the rest zero.
  Array Resize(int n) const {
    if (n < 1) return Array();
    Array out(n);
    int keep = n < Length() ? n : Length();
    for (int i = 0; i < keep; ++i) out[i] = (*this)[i];
    return out;
  }

 private:
  Rep* rep_;
};

template <class T>
typename Array<T>::Rep Array<T>::Rep::nullRep;

template <class T>
void gc_mark_q(const Array<T>& a) {
  gc_mark_q(a.GetRep());
}

template <class T>
void gc_mark(const Array<T>& a) {
  gc_mark(a.GetRep());
}

// Storing an array marks its storage at once (and with it its elements), so a
// newly made array can never be missed by a cycle that already traced the owner.
template <class T>
void gc_assign(Array<T>& lhs, const Array<T>& rhs) {
  gc_mark(rhs.GetRep());
  lhs = rhs;
}

#pragma GCC diagnostic pop
