// Voice activity detection (see voice_activity.h).
#include "voice_activity.h"

#include "g729_tables.h"

namespace g729 {
namespace {

const int kInitFrames = 32, kInitCount = 20, kZcStart = 120, kZcEnd = 200;
const Word16 kMax16 = 32767;

// Energy in dB-like units (Q11) of a double-precision value.
Word16 LogEnergy(Word32 x, Word16 exp_r0) {
  Word16 exp, frac;
  Log2(x, exp, frac);
  Word32 acc = Mpy32by16(exp, frac, 9864);
  acc = LMac(acc, 9864, Sub(exp_r0, 2));
  acc = LShl(acc, 11);
  return Sub(ExtractH(acc), 4875);
}

// The multi-boundary decision on the differences from the background.
bool Decide(Word16 dSLE, Word16 dSE, Word16 SD, Word16 dSZC) {
  Word32 a;
  a = LAdd(LShr(LMac(LMult(dSZC, -14680), 8192, -28521), 8), DepositH(SD));
  if (a > 0) return true;
  a = LAdd(LShr(LMac(LMult(dSZC, 19065), 8192, -19446), 7), DepositH(SD));
  if (a > 0) return true;
  a = LAdd(LShr(LMac(LMult(dSZC, 20480), 8192, 16384), 2), DepositH(dSE));
  if (a < 0) return true;
  a = LAdd(LShr(LMac(LMult(dSZC, -16384), 8192, 19660), 2), DepositH(dSE));
  if (a < 0) return true;
  a = LMac(LMult(dSE, 32767), 1024, 30802);
  if (a < 0) return true;
  a = LMac(LMac(LMult(SD, -28160), 64, 19988), dSE, 512);
  if (a < 0) return true;
  a = LMac(LMult(SD, 32767), 32, -30199);
  if (a > 0) return true;
  a = LAdd(LShr(LMac(LMult(dSZC, -20480), 8192, 22938), 2), DepositH(dSE));
  if (a < 0) return true;
  a = LAdd(LShr(LMac(LMult(dSZC, 23831), 4096, 31576), 2), DepositH(dSE));
  if (a < 0) return true;
  a = LMac(LMult(dSE, 32767), 2048, 17367);
  if (a < 0) return true;
  a = LMac(LMac(LMult(SD, -22400), 32, 25395), dSLE, 256);
  if (a < 0) return true;
  a = LAdd(LMac(LMult(dSE, -30427), 256, -29959), DepositH(dSLE));
  if (a > 0) return true;
  a = LAdd(LMac(LMult(dSE, -23406), 512, 28087), DepositH(dSLE));
  if (a < 0) return true;
  a = LMac(LMac(LMult(dSE, 24576), 1024, 29491), dSLE, 16384);
  if (a < 0) return true;
  return false;
}

// Weights of the background averages' update, by how many updates ran.
struct Smoothing {
  Word16 count, coef, c_coef, coef_zc, c_coef_zc, coef_sd, c_coef_sd;
};
const Smoothing kSmoothing[] = {
    {kInitCount, 24576, 8192, 26214, 6554, 19661, 13017},
    {kInitCount + 10, 31130, 1638, 30147, 2621, 21299, 11469},
    {kInitCount + 20, 31785, 983, 30802, 1966, 22938, 9830},
    {kInitCount + 30, 32440, 328, 31457, 1311, 24576, 8192},
    {kInitCount + 40, 32604, 164, 32440, 328, 24576, 8192},
    {kMax16, 32604, 164, 32702, 66, 24576, 8192},
};

Word16 Blend(Word16 coef, Word16 mean, Word16 c_coef, Word16 value) {
  return ExtractH(LMac(LMult(coef, mean), c_coef, value));
}

}  // namespace

void VoiceActivityInit(VoiceActivityState* s) {
  for (Word16& v : s->mean_lsf) v = 0;
  for (Word16& v : s->min_buffer) v = 0;
  s->prev_min = s->next_min = 0;
  s->mean_se = s->mean_sle = s->mean_e = s->mean_szc = 0;
  s->prev_energy = 0;
  s->count_sil = s->count_update = s->count_ext = 0;
  s->less_count = 0;
  s->flag = 1;
  s->v_flag = 0;
  s->min = kMax16;
}

bool VoiceActivity(VoiceActivityState* s, const VoiceActivityInput& in) {
  const Word16 frame = in.frame;
  const Word16 energy = LogEnergy(LComp(in.r_h[0], in.r_l[0]), in.exp_r0);
  Word32 acc = 0;
  for (int i = 1; i <= 12; i++) acc = LMac(acc, in.r_h[i], tab::lbf_corr[i]);
  acc = LShl(acc, 1);
  acc = LMac(acc, in.r_h[0], tab::lbf_corr[0]);
  const Word16 energy_low = LogEnergy(acc, in.exp_r0);

  acc = 0;
  for (int i = 0; i < 10; i++) {
    Word16 d = Sub(in.lsf[i], s->mean_lsf[i]);
    acc = LMac(acc, d, d);
  }
  const Word16 SD = ExtractH(acc);

  Word16 ZC = 0;
  for (int i = kZcStart + 1; i <= kZcEnd; i++)
    if (Mult(in.signal[i - 1], in.signal[i]) < 0) ZC = Add(ZC, 410);

  // Minimum energy over the last 128 frames, kept in 16 blocks of 8.
  if (frame < 129) {
    if (energy < s->min) {
      s->min = energy;
      s->prev_min = energy;
    }
    if ((frame & 7) == 0) {
      s->min_buffer[(frame >> 3) - 1] = s->min;
      s->min = kMax16;
    }
  }
  if ((frame & 7) == 0) {
    s->prev_min = s->min_buffer[0];
    for (int i = 1; i < 16; i++)
      if (s->min_buffer[i] < s->prev_min) s->prev_min = s->min_buffer[i];
  }
  if (frame >= 129) {
    if ((frame & 7) == 1) {
      s->min = s->prev_min;
      s->next_min = kMax16;
    }
    if (energy < s->min) s->min = energy;
    if (energy < s->next_min) s->next_min = energy;
    if ((frame & 7) == 0) {
      for (int i = 0; i < 15; i++) s->min_buffer[i] = s->min_buffer[i + 1];
      s->min_buffer[15] = s->next_min;
      s->prev_min = s->min_buffer[0];
      for (int i = 1; i < 16; i++)
        if (s->min_buffer[i] < s->prev_min) s->prev_min = s->min_buffer[i];
    }
  }

  bool voice = true;
  if (frame <= kInitFrames) {
    if (energy < 3072) {
      voice = false;
      s->less_count++;
    } else {
      s->mean_e = ExtractH(LMac(DepositH(s->mean_e), energy, 1024));
      s->mean_szc = ExtractH(LMac(DepositH(s->mean_szc), ZC, 1024));
      for (int i = 0; i < 10; i++) s->mean_lsf[i] = ExtractH(LMac(DepositH(s->mean_lsf[i]), in.lsf[i], 1024));
    }
  }
  if (frame >= kInitFrames) {
    if (frame == kInitFrames) {
      const Word16 f = tab::factor_fx[s->less_count], sh = tab::shift_fx[s->less_count];
      s->mean_e = ExtractH(LShl(LMult(s->mean_e, f), sh));
      s->mean_szc = ExtractH(LShl(LMult(s->mean_szc, f), sh));
      for (int i = 0; i < 10; i++) s->mean_lsf[i] = ExtractH(LShl(LMult(s->mean_lsf[i], f), sh));
      s->mean_se = Sub(s->mean_e, 2048);
      s->mean_sle = Sub(s->mean_e, 2458);
    }
    const Word16 dSE = Sub(s->mean_se, energy);
    const Word16 dSLE = Sub(s->mean_sle, energy_low);
    const Word16 dSZC = Sub(s->mean_szc, ZC);
    voice = energy < 3072 ? false : Decide(dSLE, dSE, SD, dSZC);

    // Smoothing: hold speech through short dips.
    s->v_flag = 0;
    if (in.prev_voice && !voice && Add(dSE, 410) < 0 && energy > 3072) {
      voice = true;
      s->v_flag = 1;
    }
    if (s->flag == 1) {
      if (in.pprev_voice && in.prev_voice && !voice && Abs16(Sub(s->prev_energy, energy)) <= 614) {
        s->count_ext++;
        voice = true;
        s->v_flag = 1;
        if (s->count_ext > 4) {
          s->count_ext = 0;
          s->flag = 0;
        }
      }
    } else {
      s->flag = 1;
    }
    if (!voice && s->count_sil < kMax16) s->count_sil++;
    if (voice && s->count_sil > 10 && Sub(energy, s->prev_energy) <= 614) {
      voice = false;
      s->count_sil = 0;
    }
    if (voice) s->count_sil = 0;
    if (Sub(Sub(energy, 614), s->mean_se) < 0 && frame > 128 && !s->v_flag && in.rc < 19661) voice = false;

    // Background update on frames quiet and stationary enough.
    if (Sub(Sub(energy, 614), s->mean_se) < 0 && in.rc < 24576 && SD < 83) {
      if (s->count_update < kMax16 - 1) s->count_update++;
      const Smoothing* c = kSmoothing;
      while (s->count_update >= c->count) c++;
      s->mean_se = Blend(c->coef, s->mean_se, c->c_coef, energy);
      s->mean_sle = Blend(c->coef, s->mean_sle, c->c_coef, energy_low);
      s->mean_szc = Blend(c->coef_zc, s->mean_szc, c->c_coef_zc, ZC);
      for (int i = 0; i < 10; i++) s->mean_lsf[i] = Blend(c->coef_sd, s->mean_lsf[i], c->c_coef_sd, in.lsf[i]);
    }
    if (frame > 128 && ((Sub(s->mean_se, s->min) < 0 && SD < 83) || Sub(s->mean_se, s->min) > 2048)) {
      s->mean_se = s->min;
      s->count_update = 0;
    }
  }
  s->prev_energy = energy;
  return voice;
}

}  // namespace g729
