#include <cstdio>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "cli/app.h"
#include "host/open_file_limit.h"

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // Each file converted allocates and frees buffers of tens to hundreds of
  // kilobytes. By default glibc maps the larger ones afresh and hands freed
  // memory back to the system, so every file faulted its pages in again
  // (thousands of page faults, about a tenth of a dry run's time). Kept, the
  // memory is reused by the next file; the peak stays what one file needs.
  mallopt(M_MMAP_THRESHOLD, 4 << 20);
  mallopt(M_TRIM_THRESHOLD, 64 << 20);
#endif
  // With the default limit, a batch of four projects of 500 files each
  // failed two of them: "cannot be opened (Too many open files)". A limit
  // that cannot be raised leaves each such project failing as before.
  vireo::RaiseOpenFileLimit();
  return vireo::RunCommandLine(argc, argv, stdout, stderr);
}
