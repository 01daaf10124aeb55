// The cipher moved to the foundation; kept so that package code may still
// name it here.
#pragma once
#include "foundation/blowfish.h"
