// G.729 Annex A speech codec: 8 kbit/s, 8000 Hz 16-bit mono PCM, one 10-byte
// frame per 80 samples (10 ms). Pure fixed-point code with no platform calls.
#pragma once
#include <cstdint>

extern "C" {

// ---- Codec interface (the voice engine's entry points) ----
struct G729Instance;

// 0, or -1 when the record cannot be allocated (*out is then null).
int G729EncoderCreate(G729Instance** out);
int G729DecoderCreate(G729Instance** out);
// (Re)initialises; 0, or -1 when a step fails. The DTX request is accepted
// and not used: the encoder always emits speech frames.
int G729EncoderInit(G729Instance* inst, int16_t dtx);
int G729DecoderInit(G729Instance* inst);
// Encodes whole frames of 80 samples (a shorter tail is not read); returns
// the bytes written (10 per frame), or -1 on an error.
int16_t G729Encode(G729Instance* inst, const int16_t* input, int16_t samples, uint8_t* output);
// Decodes the payload frame by frame (10 bytes each) into output, which
// holds capacity samples; never writes past it. Returns the samples written
// (80 per frame), or -1 on an error. Bytes after the last whole frame that
// fits are not decoded: *undecoded (when not null) receives their count.
int16_t G729Decode(G729Instance* inst, const uint8_t* payload, int16_t bytes, int16_t* output,
                   int32_t capacity, int32_t* undecoded);
int G729Free(G729Instance* inst);

// ---- Processor dispatch ----
extern volatile int32_t G729CPUPath;  // 0 generic .. 5 AVX
int G729CPUDispatchInit(void);         // 0, or 20 without CPUID or for another vendor
int G729SetCPUPath(int32_t path);      // 0, or -7 outside 0..5
int32_t G729ChoosePath(int have_cpuid, uint64_t bits);
uint64_t G729FeatureBitsFromCPUID(uint32_t ecx, uint32_t edx, int os_saves_ymm);
int G729CPUFeatureMask(uint64_t* out);
int G729CPUFeatureBits(uint64_t* bits);
int G729CPUID(uint32_t leaf, uint32_t subleaf, uint32_t out[4]);
int G729CPUIDAvailable(void);
int G729OSSavesYMM(void);
int G729IsGenuineIntel(void);
void* G729AlignedMalloc(int32_t size);
void G729AlignedFree(void* p);

}  // extern "C"
