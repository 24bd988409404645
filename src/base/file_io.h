// Buffered reading of physical lines and writing of CR LF lines, plus whole-file
// helpers, all through the file seam. A physical line ends at CR LF, a CR alone
// or an LF alone; a last line without a terminator is still a line. A UTF-8
// byte order mark at the start of a file is not part of its first line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "base/checksum.h"
#include "base/file_system.h"

namespace vireo {

class LineReader {
 public:
  // Reads `buffer_size` bytes at a time: a reader that stops early reads
  // only what it needs with a small one.
  explicit LineReader(size_t buffer_size = kDefaultBufferSize) : buffer_size_(buffer_size) {}
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // Feeds every byte read into `bytes`, and every line returned (with a
  // "\r\n" of its own) into `lines`, at the latest when AtEnd is true;
  // either may be null. Set before Open.
  void DigestInto(Checksummer* bytes, Checksummer* lines) {
    byte_digest_ = bytes;
    line_digest_ = lines;
  }
  std::error_code Open(const std::string& path);
  // Whether the file began with a UTF-8 byte order mark (known after Open).
  bool has_bom() const { return has_bom_; }
  // True when no further line can be read (at the end, or after an error).
  bool AtEnd();
  // The next physical line without its terminator; false at the end or on error.
  bool ReadLine(std::string* line);
  std::error_code error() const { return error_; }
  // How many lines ReadLine has returned so far.
  size_t lines_read() const { return lines_read_; }
  // False when the line ReadLine returned last holds no NUL byte, known
  // from one search of each buffer rather than one of each line.
  bool line_may_hold_nul() const { return line_may_hold_nul_; }
  // Reads on when an interrupt is requested: for the commit, which is
  // never stopped half-way.
  void ReadThroughInterrupts() { stop_on_interrupt_ = false; }
  void Close();

 private:
  bool Fill();
  bool LineDone();
  // The line digest is fed straight from the buffer: a line ended by CR LF
  // stands there as the digest takes it. Only the other ends are told.
  // Where the bytes are digested too, the lines are the bytes until a mark,
  // a lone CR or LF, or a last line without an end: until then the line
  // digest is fed nothing, and takes on the bytes' (as they stood before the
  // buffer, then the buffer's bytes up to there) where they part.
  void DigestLinesUpTo(size_t to);
  void PartLinesFromBytes();
  // Completes a line whose bytes up to pos_ are digested with the rest of
  // its CR LF.
  void DigestLineEnd(std::string_view rest);
  // The position of the first CR or LF at or after pos_ in the buffer
  // (end_ when none).
  size_t LineEnd();

  static constexpr size_t kDefaultBufferSize = 64 * 1024;

  const size_t buffer_size_;
  FileHandle file_ = -1;
  std::unique_ptr<char[]> buffer_;  // buffer_size_ bytes, left uninitialised
  size_t pos_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
  size_t lines_read_ = 0;
  bool has_bom_ = false;
  bool buffer_holds_nul_ = false;
  bool line_may_hold_nul_ = false;
  bool stop_on_interrupt_ = true;
  std::error_code error_;
  Checksummer* byte_digest_ = nullptr;
  Checksummer* line_digest_ = nullptr;
  size_t digest_from_ = 0;  // where the buffer's lines not yet digested begin
  bool lines_are_bytes_ = false;
  std::unique_ptr<Checksummer> bytes_before_buffer_;  // while the lines are the bytes
  static constexpr size_t kNotSearched = SIZE_MAX;
  size_t next_cr_ = kNotSearched;  // the buffer's next CR, once searched
};

class LineWriter {
 public:
  LineWriter() = default;
  ~LineWriter();
  LineWriter(const LineWriter&) = delete;
  LineWriter& operator=(const LineWriter&) = delete;

  // Creates the file, which must not exist yet.
  std::error_code Create(const std::string& path);
  // Writes into a file just created and open for writing; takes the handle.
  void Adopt(FileHandle file);
  // Writes nothing: the lines only feed the digests.
  void WriteNowhere();
  // Feeds every byte written into `bytes`, and every line (with its "\r\n")
  // into `lines`, at the latest on Close; either may be null.
  void DigestInto(Checksummer* bytes, Checksummer* lines) {
    byte_digest_ = bytes;
    line_digest_ = lines;
    lines_are_bytes_ =
        bytes && lines && bytes->kind() == lines->kind() && bytes->Digest() == lines->Digest();
  }
  // Writes the UTF-8 byte order mark.
  void WriteBom();
  // Writes `text` followed by CR LF.
  void WriteLine(std::string_view text);
  // Flushes and closes; the first error of any write, flush or close.
  std::error_code Close();

 private:
  // Writes the buffer's first `size` bytes and keeps the rest.
  void Flush(size_t size);

  FileHandle file_ = -1;
  std::string buffer_;
  std::error_code error_;
  Checksummer* byte_digest_ = nullptr;
  Checksummer* line_digest_ = nullptr;
  // Without a mark the lines are the bytes: the line digest takes on the
  // bytes' on Close instead of being fed them twice.
  bool lines_are_bytes_ = false;
  bool bom_in_buffer_ = false;  // the mark is not a line
  bool nowhere_ = false;
};

std::error_code ReadWholeFile(const std::string& path, std::string* content);
// Creates or empties `path`: for files the user named, such as a report.
std::error_code WriteWholeFile(const std::string& path, const std::string& content);
// Copies into a new file `to`, which must not exist yet.
std::error_code CopyFileContent(const std::string& from, const std::string& to);
// Copies into the open file `to`, which is closed afterwards; with `to` -1
// the bytes only feed `digest`.
std::error_code CopyFileContent(const std::string& from, FileHandle to,
                                Checksummer* digest = nullptr);
// Bytes to be written at an offset of a file: in order, a later one over
// any earlier one it overlaps.
using ByteWrites = std::vector<std::pair<int64_t, std::string>>;
// Copies into the open file `to`, which is closed afterwards, with `writes`
// made over the bytes as they pass: one read and one write of each byte.
// `old_digest` is fed the bytes as read, `new_digest` as written. A write
// that reaches past the end of `from` fails the copy with
// std::errc::result_out_of_range: the file is shorter than when the writes
// were made.
std::error_code CopyFileContentWith(const std::string& from, FileHandle to,
                                    const ByteWrites& writes, Checksummer* old_digest,
                                    Checksummer* new_digest);
// Writes `from`'s bytes into the existing file `existing` itself, from its
// first byte, cuts it to their length and syncs it: the file keeps its
// identity (its other names, owner and attributes).
std::error_code WriteContentInto(const std::string& from, const std::string& existing);
// Replaces `path` by `content` in one step: written to a new file beside it,
// given `permissions`, synced, renamed over `path`, and the folder synced.
// The new file is removed again when any step fails.
std::error_code WriteDurably(const std::string& path, const std::string& content,
                             uint32_t permissions);
// WriteDurably in two halves, so that the new content's sync can be made at
// once with others: Prepare writes the new file beside `path` and syncs it,
// Finish renames it over `path` and syncs the folder. A new file not put in
// place is removed when the write ends.
class DurableWrite {
 public:
  DurableWrite() = default;
  ~DurableWrite();
  DurableWrite(const DurableWrite&) = delete;
  DurableWrite& operator=(const DurableWrite&) = delete;

  std::error_code Prepare(const std::string& path, const std::string& content,
                          uint32_t permissions);
  std::error_code Finish();

 private:
  std::string path_;
  std::string staged_;  // the new file, until it is renamed
};
// The prefix of the names WriteDurably gives its new files beside `path`.
std::string DurableWritePrefix(const std::string& path);
// Whether two text files hold the same lines, whatever ends them (and the
// same byte order mark, or none).
std::error_code SameLines(const std::string& a, const std::string& b, bool* same);
// Whether two files hold the same bytes (streamed, not loaded whole).
std::error_code SameContent(const std::string& a, const std::string& b, bool* same);

// The folder part of a path ("." when there is none).
std::string ParentDirectory(const std::string& path);

// "what failed (error text)" for the one-line failure reasons.
std::string Describe(const std::error_code& error);

}  // namespace vireo
