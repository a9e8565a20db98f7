#pragma once
// An array that grows by remapping its pages (mremap moves them, it copies
// nothing), handed to NumPy without a copy: reading a file into arrays takes
// the arrays' memory and little more, however many values the file holds.
#include <sys/mman.h>

#include <cstddef>
#include <new>

#include "binding.h"

template <class T>
class GrowBuffer {
 public:
  GrowBuffer() = default;
  GrowBuffer(const GrowBuffer&) = delete;
  GrowBuffer& operator=(const GrowBuffer&) = delete;
  ~GrowBuffer() {
    if (data_) munmap(data_, cap_ * sizeof(T));
  }

  void push_back(const T& v) {
    if (n_ == cap_) grow();
    data_[n_++] = v;
  }
  // k more values, to be written by the caller.
  T* extend(size_t k) {
    while (cap_ - n_ < k) grow();
    n_ += k;
    return data_ + n_ - k;
  }
  size_t size() const { return n_; }
  T* data() { return data_; }

  // The values as a 1-D array of `dtype`, which now owns the pages.
  py::array release(const py::dtype& dtype) {
    if (!data_) grow();  // an empty array still needs a valid pointer
    struct Pages {
      void* p;
      size_t bytes;
    };
    auto* pages = new Pages{data_, cap_ * sizeof(T)};
    py::capsule owner(pages, [](void* q) {
      auto* m = static_cast<Pages*>(q);
      munmap(m->p, m->bytes);
      delete m;
    });
    py::array a(dtype, {static_cast<py::ssize_t>(n_)}, {static_cast<py::ssize_t>(sizeof(T))}, data_, owner);
    data_ = nullptr;
    n_ = cap_ = 0;
    return a;
  }

 private:
  void grow() {
    size_t cap = cap_ ? cap_ * 2 : (size_t(1) << 16) / sizeof(T);
    void* p = data_ ? mremap(data_, cap_ * sizeof(T), cap * sizeof(T), MREMAP_MAYMOVE)
                    : mmap(nullptr, cap * sizeof(T), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<T*>(p);
    cap_ = cap;
  }

  T* data_ = nullptr;
  size_t n_ = 0, cap_ = 0;
};
