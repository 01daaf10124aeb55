// Result codes of script calls and handlers (values of the script
// constants of the same names).
#pragma once
#include <cstdint>

constexpr uint32_t ZEQERROR_NOERROR = 0;
constexpr uint32_t ZEQERROR_GENERALFAILURE = 2;
constexpr uint32_t ZEQERROR_FORBIDDEN = 102;
constexpr uint32_t ZEQERROR_NOTFOUND = 104;
constexpr uint32_t ZEQERROR_NOTPREPARED = 309;
constexpr uint32_t ZEQERROR_UNEXPECTED = 311;
constexpr uint32_t ZEQERROR_NOTACCEPTABLE = 501;
constexpr uint32_t ZEQERROR_NOTALLOWED = 504;
constexpr uint32_t ZEQACTION_CONTINUE = 0x2001;
constexpr uint32_t ZEQACTION_CANCEL = 0x2002;
constexpr uint32_t ZEQACTION_IGNORE = 0x2003;
constexpr uint32_t ZEQERROR_ALREADYEXISTS = 105;
constexpr uint32_t ZEQERROR_OUTOFRANGE = 107;
constexpr uint32_t ZEQERROR_NOTAPPLICABLE = 502;
constexpr uint32_t ZEQERROR_NOTSUPPORTED = 503;
