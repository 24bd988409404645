#include "engine/forms/guid_replacement.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace vireo {
namespace {

constexpr size_t kSize = 16;
constexpr size_t kHead = 4;  // a grid version's GUIDs differ only in these

std::string_view View(const GuidPattern& pattern) {
  return {reinterpret_cast<const char*>(pattern.data()), pattern.size()};
}

// Where each GUID begins in `payload`, overlapping places included: one pass
// for each distinct last twelve bytes.
std::vector<std::vector<size_t>> PlacesBefore(std::string_view payload,
                                              const std::vector<GuidToReplace>& guids) {
  std::vector<std::vector<size_t>> places(guids.size());
  std::vector<bool> searched(guids.size(), false);
  for (size_t first = 0; first < guids.size(); ++first) {
    if (searched[first]) continue;
    std::string_view tail = View(guids[first].from).substr(kHead);
    std::vector<size_t> sharing;
    for (size_t i = first; i < guids.size(); ++i) {
      if (!searched[i] && View(guids[i].from).substr(kHead) == tail) {
        sharing.push_back(i);
        searched[i] = true;
      }
    }
    for (size_t at = payload.find(tail, kHead); at != std::string_view::npos;
         at = payload.find(tail, at + 1)) {
      std::string_view head = payload.substr(at - kHead, kHead);
      for (size_t i : sharing) {
        if (View(guids[i].from).substr(0, kHead) == head) places[i].push_back(at - kHead);
      }
    }
  }
  return places;
}

// The places `pattern` begins in `payload` now, in order: those found before
// any replacement that no replaced window reaches into, and those reaching
// into a replaced window that match what the payload holds now.
std::vector<size_t> PlacesNow(std::string_view payload, std::string_view pattern,
                              const std::vector<size_t>& before, const std::set<size_t>& replaced) {
  auto reaches_replaced = [&](size_t at) {
    auto window = replaced.lower_bound(at >= kSize ? at - (kSize - 1) : 0);
    return window != replaced.end() && *window < at + kSize;
  };
  std::vector<size_t> places;
  for (size_t at : before) {
    if (!reaches_replaced(at)) places.push_back(at);
  }
  for (size_t window : replaced) {  // each lies inside the payload
    size_t from = window >= kSize ? window - (kSize - 1) : 0;
    size_t to = std::min(window + kSize - 1, payload.size() - kSize);
    for (size_t at = from; at <= to; ++at) {
      if (payload[at] == pattern[0] && payload.compare(at, kSize, pattern) == 0)
        places.push_back(at);
    }
  }
  std::sort(places.begin(), places.end());
  places.erase(std::unique(places.begin(), places.end()), places.end());
  return places;
}

}  // namespace

std::vector<GuidReplaced> ReplaceEachInTurn(std::string& payload,
                                            const std::vector<GuidToReplace>& guids,
                                            std::optional<size_t>* missing) {
  *missing = std::nullopt;
  std::vector<std::vector<size_t>> before = PlacesBefore(payload, guids);
  std::vector<GuidReplaced> made;
  std::set<size_t> replaced;
  for (size_t i = 0; i < guids.size(); ++i) {
    if (before[i].empty() && replaced.empty()) continue;
    size_t next = 0;
    for (size_t at : PlacesNow(payload, View(guids[i].from), before[i], replaced)) {
      if (at < next) continue;
      if (!guids[i].to) {
        *missing = i;
        return made;
      }
      payload.replace(at, kSize, View(*guids[i].to));
      replaced.insert(at);
      made.push_back({i, at});
      next = at + kSize;
    }
  }
  return made;
}

}  // namespace vireo
