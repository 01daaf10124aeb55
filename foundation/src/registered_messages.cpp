#include "foundation/registered_messages.h"

const UINT CMSG_KESTOASYNCHLOG = RegisterWindowMessageA("CMSG_KESTOASYNCHLOG");
