// Heap buffers of exactly the size asked for (a unit past them is reported), freed with free().
#pragma once

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>

struct FreeDeleter {
  void operator()(void* p) const { free(p); }
};
template <typename T>
using Heap = std::unique_ptr<T, FreeDeleter>;

// count elements and nothing after them.
template <typename T>
Heap<T> Exact(size_t count) {
  return Heap<T>(static_cast<T*>(malloc(count == 0 ? 1 : count * sizeof(T))));
}
// A terminated copy of s that ends its block.
template <typename T>
Heap<T> ExactText(const std::basic_string<T>& s) {
  Heap<T> h = Exact<T>(s.size() + 1);
  std::copy(s.begin(), s.end(), h.get());
  h.get()[s.size()] = 0;
  return h;
}
// The characters of s with no terminator: reading past them is caught.
template <typename T>
Heap<T> ExactChars(const std::basic_string<T>& s) {
  Heap<T> h = Exact<T>(s.size());
  std::copy(s.begin(), s.end(), h.get());
  return h;
}
// Up to maxLen characters drawn from alphabet.
template <typename T>
std::basic_string<T> RandomText(std::mt19937& rng, const T* alphabet, size_t maxLen) {
  std::basic_string<T> s(rng() % (maxLen + 1), T(0));
  for (T& c : s) c = alphabet[rng() % std::char_traits<T>::length(alphabet)];
  return s;
}
