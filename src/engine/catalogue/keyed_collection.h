// A list addressed by 1-based position or by a key compared ignoring case:
// the catalogue's rows (keyed by LIBID) and each row's GUIDs (by name).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/text.h"

namespace vireo {

template <typename T, std::string T::*Key>
class KeyedCollection {
 public:
  // `what` names an item in the errors: "GUID", "grid type".
  explicit KeyedCollection(const char* what) : what_(what) {}

  // Appends `item`; a key already present throws std::invalid_argument.
  T& Add(T item) {
    if (Find(item.*Key))
      throw std::invalid_argument(std::string("duplicate ") + what_ + ": " + item.*Key);
    items_.push_back(std::move(item));
    return items_.back();
  }
  // By 1-based position or by key; a missing one throws std::out_of_range.
  const T& Item(int position) const {
    if (position < 1 || position > Count())
      throw std::out_of_range(std::string("no ") + what_ + " at position " +
                              std::to_string(position));
    return items_[static_cast<size_t>(position - 1)];
  }
  T& Item(int position) {
    return const_cast<T&>(static_cast<const KeyedCollection&>(*this).Item(position));
  }
  const T& Item(const std::string& key) const {
    const T* item = Find(key);
    if (!item) throw std::out_of_range(std::string("no ") + what_ + " " + key);
    return *item;
  }
  const T* Find(const std::string& key) const {
    size_t index = IndexOf(key);
    return index < items_.size() ? &items_[index] : nullptr;
  }
  const std::vector<T>& Items() const { return items_; }
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  void Remove(int position) {
    Item(position);
    items_.erase(items_.begin() + (position - 1));
  }
  void Remove(const std::string& key) {
    Item(key);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(IndexOf(key)));
  }

 private:
  size_t IndexOf(const std::string& key) const {
    for (size_t i = 0; i < items_.size(); ++i) {
      if (EqualsNoCase(items_[i].*Key, key)) return i;
    }
    return items_.size();
  }

  const char* what_;
  std::vector<T> items_;
};

}  // namespace vireo
