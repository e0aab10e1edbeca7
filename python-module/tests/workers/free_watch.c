/* Preloaded into a child process by the memory test: before every free() and every
 * realloc() of a heap block, looks for known secrets in the block and reports each hit.
 * A block freed without being wiped keeps its content until the allocator hands the
 * memory out again, so this sees copies that a later snapshot of the heap may miss.
 *
 * The secrets themselves never enter this process: the pattern file holds a 64-bit
 * hash of every 16-byte window of each secret, and each window of a freed block is
 * hashed the same way.
 *
 * Environment: VEK_FREE_WATCH_PATTERNS names the pattern file (records of a 64-bit hash
 * and a 32-bit label, both little-endian); VEK_FREE_WATCH_REPORT names the file that
 * receives one line "label {label} size {bytes}" per hit, followed by a backtrace.
 * glibc only (it reads the chunk header to skip blocks that go back to the kernel).
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <malloc.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#define WINDOW 16
#define MAX_PATTERNS 65536
#define MAX_SCANNED (4u << 20)

static void (*real_free)(void *);
static void *(*real_realloc)(void *, size_t);
struct pattern {
  uint64_t hash;
  uint32_t label;
};
static struct pattern patterns[MAX_PATTERNS];
static size_t count;
static int report_fd = -1;
static int loaded;
static __thread int busy;

static uint64_t mix(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdULL;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ULL;
  x ^= x >> 33;
  return x;
}

/* The same function as window_hash() in the test. */
static uint64_t window_hash(const unsigned char *w) {
  uint64_t a, b;
  memcpy(&a, w, 8);
  memcpy(&b, w + 8, 8);
  return mix(mix(a) ^ (b * 0x9e3779b97f4a7c15ULL));
}

static int by_hash(const void *a, const void *b) {
  const uint64_t x = ((const struct pattern *)a)->hash, y = ((const struct pattern *)b)->hash;
  return x < y ? -1 : x > y;
}

static void load(void) {
  loaded = 1;
  const char *path = getenv("VEK_FREE_WATCH_PATTERNS");
  const char *report = getenv("VEK_FREE_WATCH_REPORT");
  if (path == NULL || report == NULL) return;
  report_fd = open(report, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  unsigned char rec[12];
  while (count < MAX_PATTERNS && read(fd, rec, sizeof rec) == (ssize_t)sizeof rec) {
    memcpy(&patterns[count].hash, rec, 8);
    memcpy(&patterns[count].label, rec + 8, 4);
    ++count;
  }
  close(fd);
  qsort(patterns, count, sizeof patterns[0], by_hash);
}

static const struct pattern *find(uint64_t h) {
  size_t lo = 0, hi = count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (patterns[mid].hash < h) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < count && patterns[lo].hash == h ? &patterns[lo] : NULL;
}

static void check(void *p) {
  if (p == NULL || busy) return;
  busy = 1;
  if (!loaded) load();
  /* A block served by mmap is unmapped by free: nothing of it stays in the process. */
  const size_t header = ((const size_t *)p)[-1];
  const size_t n = malloc_usable_size(p);
  if (count != 0 && report_fd >= 0 && (header & 2) == 0 && n >= WINDOW && n <= MAX_SCANNED) {
    const unsigned char *b = p;
    for (size_t i = 0; i + WINDOW <= n; ++i) {
      const struct pattern *hit = find(window_hash(b + i));
      if (hit == NULL) continue;
      char line[96];
      const int len = snprintf(line, sizeof line, "label %u size %zu\n", hit->label, n);
      if (write(report_fd, line, (size_t)len) < 0) break;
      void *frames[32];
      backtrace_symbols_fd(frames, backtrace(frames, 32), report_fd);
      break;
    }
  }
  busy = 0;
}

void free(void *p) {
  if (real_free == NULL) real_free = (void (*)(void *))dlsym(RTLD_NEXT, "free");
  check(p);
  real_free(p);
}

void *realloc(void *p, size_t n) {
  if (real_realloc == NULL) real_realloc = (void *(*)(void *, size_t))dlsym(RTLD_NEXT, "realloc");
  check(p);
  return real_realloc(p, n);
}
