// Recovery over a scratch project from arbitrary journal bytes: it must never
// crash, and must never change a file the project does not list. With the
// first byte odd, the journal gets a valid checksum line, so that the bytes
// reach the parser and the checks behind it.
#include <cinttypes>
#include <cstdio>

#include "base/file_io.h"
#include "engine/project/journal.h"
#include "engine/project/recovery.h"
#include "fuzz_support.h"
#include "host/posix/path_resolver_posix.h"

namespace {

using namespace vireo;

constexpr char kOutside[] = "not the project's";

void Put(const std::string& path, const std::string& bytes) {
  fuzz::WriteScratch(path, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string Get(const std::string& path) {
  std::string bytes;
  ReadWholeFile(fuzz::ScratchFolder() + "/" + path, &bytes);
  return bytes;
}

void Abort(const char* why) {
  std::fprintf(stderr, "journal_fuzz: %s\n", why);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string& folder = fuzz::ScratchFolder();
  static bool made = [&] {
    std::string mkdirs = "mkdir -p '" + folder + "/p' '" + folder + "/outside'";
    return std::system(mkdirs.c_str()) == 0;
  }();
  if (!made) Abort("no scratch folders");
  Put("p/P.vbp", "Module=A; a.bas\r\nModule=B; b.bas\r\n");
  Put("p/a.bas", "old a");
  Put("p/b.bas", "new b");
  Put("p/.a.bas.vr5new.0123456789abcdef", "new a");
  Put("p/.b.bas.vr5old.0123456789abcdef", "old b");
  Put("outside/x.bas", kOutside);
  Put("outside/.x.bas.vr5new.0123456789abcdef", "forged");
  std::string journal(reinterpret_cast<const char*>(data + 1), size - 1);
  if (data[0] & 1) {
    char sum[32];
    std::snprintf(sum, sizeof sum, "end %016" PRIx64 "\n",
                  ChecksumOf(data[0] & 2 ? ChecksumKind::kXxh3 : ChecksumKind::kFnv1a64,
                             journal.data(), journal.size()));
    journal += sum;
  }
  Put("p/P.vbp.vr5journal", journal);
  RecoveryOutcome outcome =
      RecoverInterruptedCommit(folder + "/p/P.vbp", PosixPathResolver());
  if (outcome.result == RecoveryResult::kFailed && outcome.message.empty())
    Abort("a failure without a message");
  if (Get("outside/x.bas") != kOutside) Abort("a file outside the project changed");
  std::string a = Get("p/a.bas"), b = Get("p/b.bas");
  if ((a != "old a" && a != "new a") || (b != "old b" && b != "new b"))
    Abort("a listed file holds bytes of neither side");
  std::string problem;
  DiscardJournals(folder + "/p/P.vbp", &problem);
  return 0;
}
