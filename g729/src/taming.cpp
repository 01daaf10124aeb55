// Taming of the pitch gain (see taming.h).
#include "taming.h"
#include "g729_tables.h"

namespace g729 {

void TamingInit(Word32* exc_err) {
  for (int i = 0; i < 4; i++) exc_err[i] = 0x4000;
}

Word16 TamingTest(const Word32* exc_err, Word16 t0, Word16 t0_frac) {
  int t1 = t0_frac > 0 ? t0 + 1 : t0;
  int i = t1 - (40 + 10);
  if (i < 0) i = 0;
  int zone1 = tab::tab_zone[i];
  int zone2 = tab::tab_zone[t1 + 10 - 2];
  Word32 maxloc = -1;
  for (i = zone2; i >= zone1; i--)
    if (LSub(exc_err[i], maxloc) > 0) maxloc = exc_err[i];
  return LSub(maxloc, 983040000) > 0 ? 1 : 0;
}

void TamingUpdate(Word32* exc_err, Word16 gain_pit, Word16 t0) {
  Word32 worst = -1;
  auto step = [&](Word32 e) {
    Word16 hi, lo;
    LExtract(e, hi, lo);
    Word32 t = Mpy32by16(hi, lo, gain_pit);
    t = LShl(t, 1);
    t = LAdd(0x4000, t);
    if (LSub(t, worst) > 0) worst = t;
    return t;
  };
  int n = t0 - 40;
  if (n < 0) {
    Word32 t = step(exc_err[0]);
    step(t);
  } else {
    int zone1 = tab::tab_zone[n];
    int zone2 = tab::tab_zone[t0 - 1];
    for (int i = zone1; i <= zone2; i++) step(exc_err[i]);
  }
  for (int i = 3; i >= 1; i--) exc_err[i] = exc_err[i - 1];
  exc_err[0] = worst;
}

}  // namespace g729
