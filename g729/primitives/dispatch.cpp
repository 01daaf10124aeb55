// Processor detection, the process-wide code path and the codec's aligned
// allocator.
#include "dispatch.h"
#include "g729/g729.h"

#include <cstdlib>
#include <cstring>
#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#define G729_X86 1
#endif

volatile int32_t G729CPUPath = 0;

namespace {
uint64_t g_feature_bits = 0;
volatile int g_feature_bits_known = 0;
bool g_have_avx2 = false;
}  // namespace

int G729CPUIDAvailable(void) {
#ifdef G729_X86
  return __get_cpuid_max(0, nullptr) != 0;
#else
  return 0;
#endif
}

int G729CPUID(uint32_t leaf, uint32_t subleaf, uint32_t out[4]) {
  if (!out) return -8;
#ifdef G729_X86
  if (!G729CPUIDAvailable()) return 36;
  unsigned a, b, c, d;
  __cpuid_count(leaf, subleaf, a, b, c, d);
  out[0] = a; out[1] = b; out[2] = c; out[3] = d;
  return 0;
#else
  (void)leaf; (void)subleaf;
  return 36;
#endif
}

int G729OSSavesYMM(void) {
#ifdef G729_X86
  uint32_t r[4];
  if (G729CPUID(1, 0, r) != 0) return 0;
  if ((r[2] & (1u << 27)) == 0) return 0;  // no XGETBV without OSXSAVE
  uint32_t lo, hi;
  __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
  return (lo & 6) == 6;
#else
  return 0;
#endif
}

int G729IsGenuineIntel(void) {
  uint32_t r[4];
  if (G729CPUID(0, 0, r) != 0) return 0;
  char vendor[13];
  memcpy(vendor, &r[1], 4);
  memcpy(vendor + 4, &r[3], 4);
  memcpy(vendor + 8, &r[2], 4);
  vendor[12] = 0;
  return strcmp(vendor, "GenuineIntel") == 0;
}

uint64_t G729FeatureBitsFromCPUID(uint32_t ecx, uint32_t edx, int os_saves_ymm) {
  uint64_t bits = 0;
  if (edx & (1u << 23)) bits |= 1u << 0;
  if (edx & (1u << 25)) bits |= 1u << 1;
  if (edx & (1u << 26)) bits |= 1u << 2;
  if (ecx & (1u << 0)) bits |= 1u << 3;
  if (ecx & (1u << 9)) bits |= 1u << 4;
  if (ecx & (1u << 22)) bits |= 1u << 5;
  if (ecx & (1u << 19)) bits |= 1u << 6;
  if (ecx & (1u << 20)) bits |= 1u << 7;
  if (ecx & (1u << 28)) bits |= 1u << 8;
  if ((ecx & (1u << 27)) && (ecx & (1u << 28)) && os_saves_ymm) bits |= 1u << 9;
  if (ecx & (1u << 25)) bits |= 1u << 10;
  if (ecx & (1u << 1)) bits |= 1u << 11;
  return bits;
}

int G729CPUFeatureBits(uint64_t* bits) {
  if (g_feature_bits_known) {
    *bits = g_feature_bits;
    return 0;
  }
  uint32_t r[4];
  if (G729CPUID(1, 0, r) != 0) return 36;
  int ymm = ((r[2] >> 27) & 1) && ((r[2] >> 28) & 1) ? G729OSSavesYMM() : 0;
  g_feature_bits = G729FeatureBitsFromCPUID(r[2], r[3], ymm);
  uint32_t r7[4];
  g_have_avx2 = G729CPUID(0, 0, r7) == 0 && r7[0] >= 7 && G729CPUID(7, 0, r7) == 0 &&
                (r7[1] & (1u << 5)) && ymm;
  g_feature_bits_known = 1;
  *bits = g_feature_bits;
  return 0;
}

int G729CPUFeatureMask(uint64_t* out) {
  if (!out) return -8;
  return G729CPUFeatureBits(out);
}

int32_t G729ChoosePath(int have_cpuid, uint64_t bits) {
  if (!have_cpuid) return 0;
  if ((bits & (1u << 8)) && (bits & (1u << 9))) return 5;
  if (bits & (1u << 6)) return 4;
  if (bits & (1u << 4)) return 3;
  if (bits & (1u << 3)) return 2;
  if (bits & (1u << 2)) return 1;
  return 0;
}

int G729CPUDispatchInit(void) {
  uint64_t bits = 0;
  int have = G729CPUFeatureBits(&bits) == 0;
  G729CPUPath = G729ChoosePath(have, bits);
  return have && G729IsGenuineIntel() ? 0 : 20;
}

int G729SetCPUPath(int32_t path) {
  if (path < 0 || path > 5) return -7;
  uint64_t bits;
  G729CPUFeatureBits(&bits);
  G729CPUPath = path;
  return 0;
}

void* G729AlignedMalloc(int32_t size) {
  if (size <= 0) return nullptr;
  unsigned char* block = static_cast<unsigned char*>(malloc((size_t)size + 32 + sizeof(void*)));
  if (!block) return nullptr;
  uintptr_t p = (reinterpret_cast<uintptr_t>(block) + sizeof(void*) + 31) & ~(uintptr_t)31;
  unsigned char* aligned = reinterpret_cast<unsigned char*>(p);
  memcpy(aligned - sizeof(void*), &block, sizeof(void*));
  return aligned;
}

void G729AlignedFree(void* p) {
  if (!p) return;
  void* block;
  memcpy(&block, static_cast<unsigned char*>(p) - sizeof(void*), sizeof(void*));
  free(block);
}

namespace g729 {

const Kernels& GetKernels() {
  switch (G729CPUPath) {
    case 0:
      return kGenericKernels;
    case 5:
      // Path 5 needs AVX; the AVX2 build needs AVX2 as well.
      return g_have_avx2 ? kAvx2Kernels : kSse2Kernels;
    default:
      return kSse2Kernels;
  }
}

}  // namespace g729
