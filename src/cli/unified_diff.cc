#include "cli/unified_diff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>

namespace vireo {
namespace {

// Marks which lines of two number sequences are removed from the first and
// added to the second by a shortest edit script. The search for each middle
// snake runs forward and backward at once and keeps two arrays as long as the
// diagonals of the whole problem, so memory stays linear.
class EditSearch {
 public:
  EditSearch(const std::vector<int32_t>& a, const std::vector<int32_t>& b)
      : a_(a), b_(b), removed_(a.size()), added_(b.size()) {
    int64_t total = static_cast<int64_t>(a.size() + b.size());
    size_t diagonals = static_cast<size_t>(2 * ((total + 1) / 2) + 3);
    forward_.resize(diagonals);
    backward_.resize(diagonals);
    // Beyond this many edits in one search, settle for a good split instead
    // of the best one; a shortest script is still found below it.
    cost_limit_ = std::max<int64_t>(1024, static_cast<int64_t>(std::sqrt(double(total))));
  }

  void Run() {
    std::vector<Area> pending{{0, Size(a_), 0, Size(b_)}};
    while (!pending.empty()) {
      Area area = pending.back();
      pending.pop_back();
      while (area.x0 < area.x1 && area.y0 < area.y1 && a_[area.x0] == b_[area.y0]) {
        ++area.x0;
        ++area.y0;
      }
      while (area.x0 < area.x1 && area.y0 < area.y1 && a_[area.x1 - 1] == b_[area.y1 - 1]) {
        --area.x1;
        --area.y1;
      }
      int64_t x = 0, y = 0;
      if (area.x0 == area.x1 || area.y0 == area.y1 || !FindSplit(area, &x, &y)) {
        for (int64_t i = area.x0; i < area.x1; ++i) removed_[i] = 1;
        for (int64_t j = area.y0; j < area.y1; ++j) added_[j] = 1;
        continue;
      }
      pending.push_back({area.x0 + x, area.x1, area.y0 + y, area.y1});
      pending.push_back({area.x0, area.x0 + x, area.y0, area.y0 + y});
    }
  }

  const std::vector<char>& removed() const { return removed_; }
  const std::vector<char>& added() const { return added_; }

 private:
  struct Area {
    int64_t x0, x1, y0, y1;
  };
  static constexpr int64_t kNone = -1;

  template <typename T>
  static int64_t Size(const std::vector<T>& v) {
    return static_cast<int64_t>(v.size());
  }

  // The furthest x reachable on diagonal k with one more edit than the paths
  // in `v`, before following the snake; kNone when the grid allows none.
  static int64_t Step(const std::vector<int64_t>& v, int64_t center, int64_t d, int64_t k,
                      int64_t n, int64_t m) {
    if (k < -m || k > n) return kNone;
    if (d == 0) return 0;
    int64_t x = kNone;
    int64_t left = v[center + k - 1], right = v[center + k + 1];
    if (k > -d && left != kNone && left + 1 <= n) x = left + 1;
    if (k < d && right != kNone && right - k <= m) x = std::max(x, right);
    return x;
  }

  // A point of the area, relative to its corner, that a shortest path passes
  // through and that is neither corner. The area's first lines differ and so
  // do its last lines.
  bool FindSplit(const Area& area, int64_t* split_x, int64_t* split_y) {
    const int64_t n = area.x1 - area.x0, m = area.y1 - area.y0;
    const int64_t delta = n - m;
    const bool odd = (delta & 1) != 0;
    // Both searches meet after at most half the edits of the area.
    const int64_t last_d = std::min((n + m + 1) / 2, cost_limit_);
    const int64_t center = last_d + 1;
    std::fill(forward_.begin(), forward_.begin() + 2 * last_d + 3, kNone);
    std::fill(backward_.begin(), backward_.begin() + 2 * last_d + 3, kNone);
    const int32_t* a = a_.data() + area.x0;
    const int32_t* b = b_.data() + area.y0;

    // The points furthest along each search, should the cost limit be hit.
    int64_t forward_x = 0, forward_y = 0, backward_x = n, backward_y = m;
    for (int64_t d = 0; d <= last_d; ++d) {
      int64_t forward_best = -1, backward_best = -1;
      for (int64_t k = -d; k <= d; k += 2) {
        int64_t x = Step(forward_, center, d, k, n, m);
        forward_[center + k] = x;
        if (x == kNone) continue;
        int64_t y = x - k;
        while (x < n && y < m && a[x] == b[y]) ++x, ++y;
        forward_[center + k] = x;
        if (x + y > forward_best) {
          forward_best = x + y;
          forward_x = x;
          forward_y = y;
        }
        int64_t kr = delta - k;
        if (odd && d > 0 && kr >= -(d - 1) && kr <= d - 1) {
          int64_t xr = backward_[center + kr];
          if (xr != kNone && x >= n - xr) {
            *split_x = x;
            *split_y = y;
            return true;
          }
        }
      }
      for (int64_t kr = -d; kr <= d; kr += 2) {
        int64_t xr = Step(backward_, center, d, kr, n, m);
        backward_[center + kr] = xr;
        if (xr == kNone) continue;
        int64_t yr = xr - kr;
        while (xr < n && yr < m && a[n - 1 - xr] == b[m - 1 - yr]) ++xr, ++yr;
        backward_[center + kr] = xr;
        if (xr + yr > backward_best) {
          backward_best = xr + yr;
          backward_x = n - xr;
          backward_y = m - yr;
        }
        int64_t k = delta - kr;
        if (!odd && k >= -d && k <= d) {
          int64_t x = forward_[center + k];
          if (x != kNone && x >= n - xr) {
            *split_x = x;
            *split_y = x - k;
            return true;
          }
        }
      }
    }
    // Too costly: split where one of the searches got furthest.
    if (forward_x + forward_y >= (n - backward_x) + (m - backward_y)) {
      *split_x = forward_x;
      *split_y = forward_y;
    } else {
      *split_x = backward_x;
      *split_y = backward_y;
    }
    bool corner = (*split_x == 0 && *split_y == 0) || (*split_x == n && *split_y == m);
    return !corner;
  }

  const std::vector<int32_t>& a_;
  const std::vector<int32_t>& b_;
  std::vector<char> removed_, added_;
  std::vector<int64_t> forward_, backward_;
  int64_t cost_limit_ = 0;
};

// Lines become numbers, equal lines the same number.
void NumberLines(const std::vector<std::string_view>& old_lines,
                 const std::vector<std::string_view>& new_lines, std::vector<int32_t>* old_ids,
                 std::vector<int32_t>* new_ids, int32_t* distinct) {
  std::unordered_map<std::string_view, int32_t> ids;
  ids.reserve(old_lines.size() + new_lines.size());
  auto number = [&](const std::vector<std::string_view>& lines, std::vector<int32_t>* out) {
    out->reserve(lines.size());
    for (std::string_view line : lines) {
      auto [it, added] = ids.try_emplace(line, static_cast<int32_t>(ids.size()));
      out->push_back(it->second);
    }
  };
  number(old_lines, old_ids);
  number(new_lines, new_ids);
  *distinct = static_cast<int32_t>(ids.size());
}

// Turns per-line flags into blocks, walking both versions side by side.
std::vector<DiffBlock> CollectBlocks(const std::vector<char>& removed,
                                     const std::vector<char>& added) {
  std::vector<DiffBlock> blocks;
  size_t i = 0, j = 0;
  while (i < removed.size() || j < added.size()) {
    if (i < removed.size() && j < added.size() && !removed[i] && !added[j]) {
      ++i;
      ++j;
      continue;
    }
    DiffBlock block{i, 0, j, 0};
    while (i < removed.size() && removed[i]) ++i;
    while (j < added.size() && added[j]) ++j;
    // A kept line facing the end of the other version cannot occur; treat it
    // as changed rather than loop.
    if (i == block.old_start && j == block.new_start) {
      if (i < removed.size()) ++i;
      if (j < added.size()) ++j;
    }
    block.old_count = i - block.old_start;
    block.new_count = j - block.new_start;
    blocks.push_back(block);
  }
  return blocks;
}

std::string HunkRange(size_t begin, size_t count) {
  if (count == 1) return std::to_string(begin + 1);
  if (count == 0) return std::to_string(begin) + ",0";
  return std::to_string(begin + 1) + "," + std::to_string(count);
}

void AppendLine(std::string& out, char mark, std::string_view line) {
  out += mark;
  out.append(line);
  out += '\n';
}

}  // namespace

std::vector<std::string_view> SplitLines(std::string_view content) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  for (size_t i = 0; i < content.size(); ++i) {
    char c = content[i];
    if (c != '\r' && c != '\n') continue;
    lines.push_back(content.substr(start, i - start));
    if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < content.size()) lines.push_back(content.substr(start));
  return lines;
}

std::vector<DiffBlock> DiffLines(const std::vector<std::string_view>& old_lines,
                                 const std::vector<std::string_view>& new_lines) {
  std::vector<int32_t> old_ids, new_ids;
  int32_t distinct = 0;
  NumberLines(old_lines, new_lines, &old_ids, &new_ids, &distinct);

  // A line found in only one version is changed whatever the script; leaving
  // such lines out of the search keeps wholly rewritten files cheap.
  std::vector<char> in_old(distinct), in_new(distinct);
  for (int32_t id : old_ids) in_old[id] = 1;
  for (int32_t id : new_ids) in_new[id] = 1;
  std::vector<int32_t> old_kept, new_kept;
  std::vector<size_t> old_index, new_index;
  for (size_t i = 0; i < old_ids.size(); ++i) {
    if (!in_new[old_ids[i]]) continue;
    old_kept.push_back(old_ids[i]);
    old_index.push_back(i);
  }
  for (size_t j = 0; j < new_ids.size(); ++j) {
    if (!in_old[new_ids[j]]) continue;
    new_kept.push_back(new_ids[j]);
    new_index.push_back(j);
  }

  EditSearch search(old_kept, new_kept);
  search.Run();
  std::vector<char> removed(old_ids.size(), 1), added(new_ids.size(), 1);
  for (size_t i = 0; i < old_kept.size(); ++i) removed[old_index[i]] = search.removed()[i];
  for (size_t j = 0; j < new_kept.size(); ++j) added[new_index[j]] = search.added()[j];
  return CollectBlocks(removed, added);
}

std::string UnifiedDiff(std::string_view path, std::string_view old_content,
                        std::string_view new_content, int context) {
  std::vector<std::string_view> a = SplitLines(old_content), b = SplitLines(new_content);
  std::vector<DiffBlock> blocks = DiffLines(a, b);
  if (blocks.empty()) return {};
  const size_t around = context > 0 ? static_cast<size_t>(context) : 0;

  std::string out;
  out.append("--- a/").append(path).append("\n");
  out.append("+++ b/").append(path).append("\n");
  for (size_t first = 0; first < blocks.size();) {
    // Blocks whose contexts touch or overlap share a hunk.
    size_t last = first;
    while (last + 1 < blocks.size() &&
           blocks[last + 1].old_start - (blocks[last].old_start + blocks[last].old_count) <=
               2 * around) {
      ++last;
    }
    const DiffBlock& head = blocks[first];
    const DiffBlock& tail = blocks[last];
    size_t lead = std::min(around, head.old_start);
    size_t tail_end = tail.old_start + tail.old_count;
    size_t trail = std::min(around, a.size() - tail_end);
    size_t old_begin = head.old_start - lead, new_begin = head.new_start - lead;
    size_t old_end = tail_end + trail, new_end = tail.new_start + tail.new_count + trail;
    out.append("@@ -")
        .append(HunkRange(old_begin, old_end - old_begin))
        .append(" +")
        .append(HunkRange(new_begin, new_end - new_begin))
        .append(" @@\n");

    size_t at = old_begin;
    for (size_t i = first; i <= last; ++i) {
      const DiffBlock& block = blocks[i];
      for (; at < block.old_start; ++at) AppendLine(out, ' ', a[at]);
      for (size_t k = 0; k < block.old_count; ++k) AppendLine(out, '-', a[block.old_start + k]);
      for (size_t k = 0; k < block.new_count; ++k) AppendLine(out, '+', b[block.new_start + k]);
      at = block.old_start + block.old_count;
    }
    for (; at < old_end; ++at) AppendLine(out, ' ', a[at]);
    first = last + 1;
  }
  return out;
}

}  // namespace vireo
