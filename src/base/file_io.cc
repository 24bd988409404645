#include "base/file_io.h"

#include <algorithm>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "base/interrupt.h"

namespace vireo {
namespace {
constexpr size_t kBufferSize = 64 * 1024;
constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";
constexpr char kDurableTag[] = "next";

class ScopedHandle {
 public:
  ScopedHandle() = default;
  ~ScopedHandle() {
    if (handle >= 0) Files().Close(handle);
  }
  std::error_code Close() {
    std::error_code result = Files().Close(handle);
    handle = -1;
    return result;
  }
  FileHandle handle = -1;
};
}  // namespace

LineReader::~LineReader() { Close(); }

std::error_code LineReader::Open(const std::string& path) {
  Close();
  if (!buffer_) buffer_.reset(new char[buffer_size_]);
  pos_ = end_ = digest_from_ = 0;
  eof_ = false;
  lines_read_ = 0;
  has_bom_ = false;
  error_ = Files().Open(path, OpenFor::kRead, &file_);
  if (error_) {
    file_ = -1;
    return error_;
  }
  lines_are_bytes_ = byte_digest_ && line_digest_ && byte_digest_->kind() == line_digest_->kind() &&
                     byte_digest_->Digest() == line_digest_->Digest();
  if (lines_are_bytes_ && !bytes_before_buffer_)
    bytes_before_buffer_ = std::make_unique<Checksummer>(byte_digest_->kind());
  // A read error here is kept for the first ReadLine to report.
  if (Fill() && end_ >= 3 && std::memcmp(buffer_.get(), kUtf8Bom, 3) == 0) {
    has_bom_ = true;
    pos_ = 3;
    lines_are_bytes_ = false;  // the mark is no line: the line digest starts after it
  }
  digest_from_ = pos_;
  return {};
}

void LineReader::Close() {
  if (file_ >= 0) Files().Close(file_);
  file_ = -1;
}

bool LineReader::Fill() {
  if (pos_ < end_) return true;
  DigestLinesUpTo(end_);
  if (eof_ || error_ || file_ < 0) return false;
  size_t got = 0;
  error_ = stop_on_interrupt_ && InterruptRequested()
               ? std::make_error_code(std::errc::interrupted)
               : Files().Read(file_, buffer_.get(), buffer_size_, &got);
  pos_ = digest_from_ = 0;
  next_cr_ = kNotSearched;
  end_ = error_ ? 0 : got;
  buffer_holds_nul_ = std::memchr(buffer_.get(), '\0', end_) != nullptr;
  if (lines_are_bytes_) bytes_before_buffer_->CopyFrom(*byte_digest_);
  if (byte_digest_ && end_) byte_digest_->Update(buffer_.get(), end_);
  if (!error_ && got == 0) {
    eof_ = true;
    if (lines_are_bytes_) PartLinesFromBytes();  // every byte read, each line a line
  }
  return end_ > 0;
}

bool LineReader::AtEnd() { return !Fill(); }

bool LineReader::ReadLine(std::string* line) {
  line->clear();
  line_may_hold_nul_ = false;
  if (!Fill()) return false;
  while (true) {
    const char* start = buffer_.get() + pos_;
    size_t stop = LineEnd();
    line_may_hold_nul_ |= buffer_holds_nul_;
    if (stop == end_) {
      line->append(start, end_ - pos_);
      pos_ = end_;
      if (Fill()) continue;
      DigestLineEnd("\r\n");  // the last line, without an end of its own
      return LineDone();
    }
    line->append(start, stop - pos_);
    pos_ = stop + 1;
    if (buffer_[stop] == '\n') {
      DigestLinesUpTo(stop);
      DigestLineEnd("\r\n");
    } else if (Fill() && buffer_[pos_] == '\n') {
      ++pos_;  // CR LF: digested as it stands
    } else {
      DigestLinesUpTo(pos_);
      DigestLineEnd("\n");
    }
    return LineDone();
  }
}

size_t LineReader::LineEnd() {
  const char* data = buffer_.get();
  size_t at = pos_;
#ifdef __SSE2__
  // Sixteen bytes compared with CR and with LF at once: one pass over the
  // line instead of one search for each.
  const __m128i crs = _mm_set1_epi8('\r'), lfs = _mm_set1_epi8('\n');
  for (; at + 16 <= end_; at += 16) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    int ends =
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(block, crs), _mm_cmpeq_epi8(block, lfs)));
    if (ends) return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(ends)));
  }
#endif
  // The rest, or without SSE2 all of it: the first LF before the next CR,
  // whose place is kept for the lines before it (a file of LF ends is not
  // searched to the buffer's end for a CR at every line).
  if (next_cr_ == kNotSearched || next_cr_ < at) {
    const void* cr = std::memchr(data + at, '\r', end_ - at);
    next_cr_ = cr ? static_cast<size_t>(static_cast<const char*>(cr) - data) : end_;
  }
  const void* lf = std::memchr(data + at, '\n', next_cr_ - at);
  return lf ? static_cast<size_t>(static_cast<const char*>(lf) - data) : next_cr_;
}

bool LineReader::LineDone() {
  if (error_) return false;
  ++lines_read_;
  return true;
}

void LineReader::DigestLinesUpTo(size_t to) {
  if (line_digest_ && !lines_are_bytes_ && to > digest_from_)
    line_digest_->Update(buffer_.get() + digest_from_, to - digest_from_);
  digest_from_ = std::max(digest_from_, to);
}

void LineReader::PartLinesFromBytes() {
  line_digest_->CopyFrom(*bytes_before_buffer_);
  line_digest_->Update(buffer_.get(), digest_from_);
  lines_are_bytes_ = false;
}

void LineReader::DigestLineEnd(std::string_view rest) {
  if (lines_are_bytes_) PartLinesFromBytes();
  if (line_digest_) line_digest_->Update(rest.data(), rest.size());
  digest_from_ = pos_;
}

LineWriter::~LineWriter() { Close(); }

std::error_code LineWriter::Create(const std::string& path) {
  FileHandle file = -1;
  std::error_code error = Files().Open(path, OpenFor::kCreateExclusive, &file);
  Adopt(error ? -1 : file);
  error_ = error;
  return error;
}

void LineWriter::Adopt(FileHandle file) {
  Close();
  file_ = file;
  nowhere_ = false;
  error_.clear();
  buffer_.clear();
  buffer_.reserve(kBufferSize);
}

void LineWriter::WriteNowhere() {
  Adopt(-1);
  nowhere_ = true;
}

void LineWriter::WriteBom() {
  bom_in_buffer_ = buffer_.empty();
  // From here the lines are fed apart: what went before, the bytes' so far.
  if (bom_in_buffer_ && lines_are_bytes_) {
    line_digest_->CopyFrom(*byte_digest_);
    lines_are_bytes_ = false;
  }
  buffer_.append(kUtf8Bom, 3);
}

void LineWriter::WriteLine(std::string_view text) {
  buffer_.append(text);
  buffer_.append("\r\n");
  // Whole buffers only: a write that ends inside a page leaves that page to
  // be written again by the next, and the file's cache in small pieces.
  if (buffer_.size() >= kBufferSize) Flush(buffer_.size() - buffer_.size() % kBufferSize);
}

void LineWriter::Flush(size_t size) {
  if (!error_ && (file_ >= 0 || nowhere_) && size > 0) {
    if (byte_digest_) byte_digest_->Update(buffer_.data(), size);
    // What follows the mark is lines, each with its CR LF.
    size_t mark = bom_in_buffer_ ? 3 : 0;
    if (line_digest_ && !lines_are_bytes_) line_digest_->Update(buffer_.data() + mark, size - mark);
    bom_in_buffer_ = false;
    if (file_ >= 0) error_ = Files().Write(file_, buffer_.data(), size);
  }
  buffer_.erase(0, size);
}

std::error_code LineWriter::Close() {
  if (nowhere_ || file_ >= 0) Flush(buffer_.size());
  if (lines_are_bytes_) line_digest_->CopyFrom(*byte_digest_);
  lines_are_bytes_ = false;
  nowhere_ = false;
  if (file_ < 0) return error_;
  std::error_code closed = Files().Close(file_);
  file_ = -1;
  if (!error_) error_ = closed;
  return error_;
}

std::error_code ReadWholeFile(const std::string& path, std::string* content) {
  content->clear();
  ScopedHandle in;
  if (auto error = Files().Open(path, OpenFor::kRead, &in.handle)) {
    in.handle = -1;
    return error;
  }
  std::vector<char> buffer(kBufferSize);
  while (true) {
    size_t got = 0;
    if (auto error = Files().Read(in.handle, buffer.data(), buffer.size(), &got)) return error;
    if (got == 0) return {};
    content->append(buffer.data(), got);
  }
}

std::error_code WriteWholeFile(const std::string& path, const std::string& content) {
  ScopedHandle out;
  if (auto error = Files().Open(path, OpenFor::kCreateOrTruncate, &out.handle)) {
    out.handle = -1;
    return error;
  }
  if (auto error = Files().Write(out.handle, content.data(), content.size())) return error;
  return out.Close();
}

std::error_code CopyFileContent(const std::string& from, const std::string& to) {
  FileHandle out = -1;
  if (auto error = Files().Open(to, OpenFor::kCreateExclusive, &out)) return error;
  return CopyFileContent(from, out);
}

std::error_code CopyFileContent(const std::string& from, FileHandle to, Checksummer* digest) {
  ScopedHandle in, out;
  out.handle = to;
  if (auto error = Files().Open(from, OpenFor::kRead, &in.handle)) {
    in.handle = -1;
    return error;
  }
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  while (true) {
    size_t got = 0;
    if (auto error = Files().Read(in.handle, buffer.get(), kBufferSize, &got)) return error;
    if (got == 0) break;
    if (digest) digest->Update(buffer.get(), got);
    if (out.handle < 0) continue;
    if (auto error = Files().Write(out.handle, buffer.get(), got)) return error;
  }
  return out.handle < 0 ? std::error_code() : out.Close();
}

namespace {

// The writes that reach into [start, end), in the order they were made.
// `by_offset` holds the writes' indexes by where each begins; `longest` is
// the size of the longest write.
std::vector<size_t> WritesWithin(const ByteWrites& writes, const std::vector<size_t>& by_offset,
                                 size_t longest, int64_t start, int64_t end) {
  auto begins_before = [&](size_t i, int64_t at) { return writes[i].first < at; };
  auto first = std::lower_bound(by_offset.begin(), by_offset.end(),
                                start - static_cast<int64_t>(longest) + 1, begins_before);
  auto last = std::lower_bound(first, by_offset.end(), end, begins_before);
  std::vector<size_t> within;
  for (auto i = first; i != last; ++i) {
    const auto& [at, bytes] = writes[*i];
    if (at + static_cast<int64_t>(bytes.size()) > start) within.push_back(*i);
  }
  std::sort(within.begin(), within.end());
  return within;
}

}  // namespace

std::error_code CopyFileContentWith(const std::string& from, FileHandle to,
                                    const ByteWrites& writes, Checksummer* old_digest,
                                    Checksummer* new_digest) {
  ScopedHandle in, out;
  out.handle = to;
  if (auto error = Files().Open(from, OpenFor::kRead, &in.handle)) {
    in.handle = -1;
    return error;
  }
  std::vector<size_t> by_offset(writes.size());
  size_t longest = 1;
  for (size_t i = 0; i < writes.size(); ++i) {
    by_offset[i] = i;
    longest = std::max(longest, writes[i].second.size());
  }
  std::stable_sort(by_offset.begin(), by_offset.end(),
                   [&](size_t a, size_t b) { return writes[a].first < writes[b].first; });
  std::unique_ptr<char[]> buffer(new char[kBufferSize]);
  int64_t start = 0;
  while (true) {
    size_t got = 0;
    if (auto error = Files().Read(in.handle, buffer.get(), kBufferSize, &got)) return error;
    if (got == 0) break;
    if (old_digest) old_digest->Update(buffer.get(), got);
    const int64_t end = start + static_cast<int64_t>(got);
    for (size_t i : WritesWithin(writes, by_offset, longest, start, end)) {
      const auto& [at, bytes] = writes[i];
      int64_t first = std::max(at, start);
      int64_t last = std::min(at + static_cast<int64_t>(bytes.size()), end);
      std::memcpy(buffer.get() + (first - start), bytes.data() + (first - at),
                  static_cast<size_t>(last - first));
    }
    if (new_digest) new_digest->Update(buffer.get(), got);
    if (auto error = Files().Write(out.handle, buffer.get(), got)) return error;
    start = end;
  }
  for (const auto& [at, bytes] : writes) {
    if (at + static_cast<int64_t>(bytes.size()) > start)
      return std::make_error_code(std::errc::result_out_of_range);
  }
  return out.Close();
}

std::error_code WriteContentInto(const std::string& from, const std::string& existing) {
  ScopedHandle in, out;
  if (auto error = Files().Open(from, OpenFor::kRead, &in.handle)) {
    in.handle = -1;
    return error;
  }
  if (auto error = Files().Open(existing, OpenFor::kReadWrite, &out.handle)) {
    out.handle = -1;
    return error;
  }
  std::vector<char> buffer(kBufferSize);
  uint64_t written = 0;
  while (true) {
    size_t got = 0;
    if (auto error = Files().Read(in.handle, buffer.data(), buffer.size(), &got)) return error;
    if (got == 0) break;
    if (auto error = Files().Write(out.handle, buffer.data(), got)) return error;
    written += got;
  }
  if (auto error = Files().Resize(out.handle, written)) return error;
  if (auto error = Files().Sync(out.handle)) return error;
  return out.Close();
}

DurableWrite::~DurableWrite() {
  if (!staged_.empty()) Files().Remove(staged_);
}

std::error_code DurableWrite::Prepare(const std::string& path, const std::string& content,
                                      uint32_t permissions) {
  FileHandle file;
  if (auto error = Files().CreateSiblingFile(path, kDurableTag, &staged_, &file)) {
    staged_.clear();
    return error;
  }
  path_ = path;
  std::error_code error = Files().Write(file, content.data(), content.size());
  if (!error) error = Files().SetPermissions(file, permissions);
  if (!error) error = Files().Sync(file);
  std::error_code closed = Files().Close(file);
  return error ? error : closed;
}

std::error_code DurableWrite::Finish() {
  if (auto error = Files().Rename(staged_, path_)) return error;
  staged_.clear();
  return Files().SyncDirectory(ParentDirectory(path_));
}

std::error_code WriteDurably(const std::string& path, const std::string& content,
                             uint32_t permissions) {
  DurableWrite write;
  if (auto error = write.Prepare(path, content, permissions)) return error;
  return write.Finish();
}

std::string DurableWritePrefix(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  return "." + name + "." + kDurableTag;
}

std::error_code SameLines(const std::string& a, const std::string& b, bool* same) {
  *same = false;
  LineReader first, second;
  first.ReadThroughInterrupts();
  second.ReadThroughInterrupts();
  if (auto error = first.Open(a)) return error;
  if (auto error = second.Open(b)) return error;
  if (first.has_bom() != second.has_bom()) return {};
  std::string line_a, line_b;
  while (true) {
    bool more_a = first.ReadLine(&line_a), more_b = second.ReadLine(&line_b);
    if (first.error()) return first.error();
    if (second.error()) return second.error();
    if (more_a != more_b || line_a != line_b) return {};
    if (!more_a) break;
  }
  *same = true;
  return {};
}

std::error_code SameContent(const std::string& a, const std::string& b, bool* same) {
  *same = false;
  ScopedHandle fa, fb;
  if (auto error = Files().Open(a, OpenFor::kRead, &fa.handle)) {
    fa.handle = -1;
    return error;
  }
  if (auto error = Files().Open(b, OpenFor::kRead, &fb.handle)) {
    fb.handle = -1;
    return error;
  }
  uint64_t size_a = 0, size_b = 0;
  if (auto error = Files().SizeOf(fa.handle, &size_a)) return error;
  if (auto error = Files().SizeOf(fb.handle, &size_b)) return error;
  if (size_a != size_b) return {};
  std::vector<char> buffer_a(kBufferSize), buffer_b(kBufferSize);
  for (uint64_t offset = 0; offset < size_a;) {
    size_t got_a = 0, got_b = 0;
    if (auto error = Files().ReadAt(fa.handle, offset, buffer_a.data(), kBufferSize, &got_a))
      return error;
    if (auto error = Files().ReadAt(fb.handle, offset, buffer_b.data(), kBufferSize, &got_b))
      return error;
    if (got_a != got_b || got_a == 0) return {};
    if (std::memcmp(buffer_a.data(), buffer_b.data(), got_a) != 0) return {};
    offset += got_a;
  }
  *same = true;
  return {};
}

std::string ParentDirectory(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  if (slash == std::string::npos) return ".";
  return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

std::string Describe(const std::error_code& error) { return error.message(); }

}  // namespace vireo
