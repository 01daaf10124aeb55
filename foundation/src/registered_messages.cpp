#include "foundation/registered_messages.h"

const UINT CMSG_KESTOASYNCHLOG = RegisterWindowMessageA("CMSG_KESTOASYNCHLOG");
const UINT CMSG_ZEQTIMER = RegisterWindowMessageA("CMSG_ZEQTIMER");
const UINT CMSG_ZEQBLINK = RegisterWindowMessageA("CMSG_ZEQBLINK");
const UINT CMSG_ZEQTIMERTHREADMSG = RegisterWindowMessageA("CMSG_ZEQTIMERTHREADMSG");
const UINT CMSG_ZEQDESTROYTIMER = RegisterWindowMessageA("CMSG_ZEQDESTROYTIMER");
const UINT CMSG_ZEQINVOKEINTERFACE = RegisterWindowMessageA("CMSG_ZEQINVOKEINTERFACE");
