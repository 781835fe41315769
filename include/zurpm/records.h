/*
 * zurpm: the records a SCADA/HMI host hands to ZurMain.
 *
 * These are the host's own layouts. On the plant's 32-bit Windows hosts every field sits at a
 * fixed offset (asserted below); on 64-bit builds the same fields take the platform's natural C
 * layout, with pointers at their full width. Fields marked hostReserved belong to the host: the
 * driver neither reads nor writes them.
 */
#ifndef ZURPM_RECORDS_H
#define ZURPM_RECORDS_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The driver's record of one card. Its contents are the driver's; the host only holds pointers. */
struct CardConfig;

/* Where a gate lives: written by a gate definition, handed back with every access. */
typedef struct HardwareAddress {
    int32_t station;    /* Genius station 0-95: card station/32 + 1, device station mod 32 */
    int32_t memoryType; /* memory-type code */
    int32_t offset;     /* 0-based, in the memory's own elements */
    int32_t bit;        /* -1 whole elements, 0 a digital point, 0-15 one bit of a word */
    int32_t width;      /* bits per element: 1, 16 or 32 */
} HardwareAddress;

/* The host's context block, one per driver instance. */
typedef struct DriverContext {
    int32_t hostReserved0;
    int32_t numberBase;         /* radix of the offset digits of gate addresses: 10 or 16 */
    struct CardConfig* cards[4]; /* card 1 (stations 0-31) .. card 4 (96-127); null: not configured */
} DriverContext;

/* One call of ZurMain. */
typedef struct ZurRequest {
    DriverContext* context;
    int32_t command;   /* command code 1-15 */
    int32_t hostReserved8;
    int32_t hostReserved12;
    void* gate;        /* GateDefinition (3, 4), GateAccess (5, 6, 7, 10), DriverInfo (14) */
} ZurRequest;

/* Commands 3 and 4. */
typedef struct GateDefinition {
    const char* addressString;
    int32_t hostReserved4;
    int32_t valueType;  /* 0 Signed16, 1 Unsigned16, 3 float, 6 digital */
    int32_t blockSize;  /* elements of a block gate (command 4) */
    HardwareAddress hardwareAddress;
} GateDefinition;

/* Commands 5, 6, 7 and 10.
 *
 * The value buffer (data) must hold, from byte 0:
 *
 *   access                                             bytes    values at
 *   one value (count 1, also commands 5 and 7)          4       16-bit and digital: bytes 2-3
 *                                                                32-bit float: bytes 0-3
 *   block of N words (16-bit, PLC or Genius block)      2 N      from byte 0
 *   block of N floats                                   4 N      from byte 0
 *   block of N points (PLC bit memory, Genius block)    (N + 7) / 8, eight points a byte from bit 0
 *                                                                of byte 0; the partial last byte
 *                                                                is moved too, its bits past the
 *                                                                block read as 0
 *
 * So a block of 100 points needs 13 bytes, not 100 / 8 = 12. A read that fails leaves the
 * buffer as it was; a write never changes it.
 *
 * A gate that is one bit of a word has one value, 0 or 1, at bytes 2-3 as above, whatever its
 * count: command 6 reads that one value and command 10 writes it, as commands 5 and 7 do, so its
 * buffer holds 4 bytes. A write reads the word, changes the bit and writes the word back. Commands
 * 6 and 10 first refuse, as for any gate and without touching the buffer, a count that no request
 * for that many words can carry (below 1, or above 64); otherwise they do not use the count. */
typedef struct GateAccess {
    int32_t hostReserved0;
    int32_t hostReserved4;
    HardwareAddress hardwareAddress;
    int32_t hostReserved28;
    int32_t count;      /* elements to move; commands 5 and 7 set it to 1 */
    int32_t hostReserved36;
    void* data;         /* the host's value buffer, sized as above */
    int32_t hostReserved44;
} GateAccess;

/* Command 14. */
typedef struct DriverInfo {
    int32_t infoValue0;
    const char* driverName;
    const char* bannerText;
    int32_t infoValue3;
    int32_t infoValue4;
    int32_t infoValue5; /* the host's: not written */
    int32_t infoValue6; /* the host's: not written */
    int32_t infoValue7;
} DriverInfo;

/* Value types of GateDefinition.valueType. */
enum {
    ZUR_VALUE_SIGNED16 = 0,
    ZUR_VALUE_UNSIGNED16 = 1,
    ZUR_VALUE_FLOAT = 3,
    ZUR_VALUE_DIGITAL = 6
};

/* Command codes of ZurRequest.command. */
enum {
    ZUR_CMD_START = 1,
    ZUR_CMD_RESTART = 2,
    ZUR_CMD_DEFINE_GATE = 3,
    ZUR_CMD_DEFINE_BLOCK_GATE = 4,
    ZUR_CMD_READ_SINGLE = 5,
    ZUR_CMD_READ = 6,
    ZUR_CMD_WRITE_SINGLE = 7,
    ZUR_CMD_WRITE = 10,
    ZUR_CMD_STOP = 11,
    ZUR_CMD_DESCRIBE = 14,
    ZUR_CMD_NOTHING = 15
};

/* Results of ZurMain. */
enum {
    ZUR_RESULT_OK = 0,
    ZUR_RESULT_REFUSED = 1,
    ZUR_RESULT_FAILED = 2
};

#if defined(_WIN32)
#define ZURPM_STDCALL __stdcall
#else
#define ZURPM_STDCALL
#endif

/* The driver's one export. */
typedef int32_t(ZURPM_STDCALL* ZurMainFunction)(ZurRequest* request);

#ifdef __cplusplus
} /* extern "C" */
#endif

/* The host interface is fixed on the plant's 32-bit hosts. */
#if defined(__cplusplus)
#define ZURPM_RECORD_ASSERT(cond, what) static_assert(cond, what)
#else
#define ZURPM_RECORD_ASSERT(cond, what) _Static_assert(cond, what)
#endif

#if UINTPTR_MAX == 0xFFFFFFFFu
ZURPM_RECORD_ASSERT(sizeof(ZurRequest) == 20, "ZurRequest is 20 bytes");
ZURPM_RECORD_ASSERT(offsetof(ZurRequest, command) == 4, "ZurRequest.command at 4");
ZURPM_RECORD_ASSERT(offsetof(ZurRequest, gate) == 16, "ZurRequest.gate at 16");
ZURPM_RECORD_ASSERT(sizeof(DriverContext) == 24, "DriverContext is 24 bytes");
ZURPM_RECORD_ASSERT(offsetof(DriverContext, numberBase) == 4, "numberBase at 4");
ZURPM_RECORD_ASSERT(offsetof(DriverContext, cards) == 8, "cards at 8");
ZURPM_RECORD_ASSERT(sizeof(HardwareAddress) == 20, "HardwareAddress is 20 bytes");
ZURPM_RECORD_ASSERT(sizeof(GateDefinition) == 36, "GateDefinition is 36 bytes");
ZURPM_RECORD_ASSERT(offsetof(GateDefinition, valueType) == 8, "valueType at 8");
ZURPM_RECORD_ASSERT(offsetof(GateDefinition, blockSize) == 12, "blockSize at 12");
ZURPM_RECORD_ASSERT(offsetof(GateDefinition, hardwareAddress) == 16, "hardwareAddress at 16");
ZURPM_RECORD_ASSERT(sizeof(GateAccess) == 48, "GateAccess is 48 bytes");
ZURPM_RECORD_ASSERT(offsetof(GateAccess, hardwareAddress) == 8, "hardwareAddress at 8");
ZURPM_RECORD_ASSERT(offsetof(GateAccess, count) == 32, "count at 32");
ZURPM_RECORD_ASSERT(offsetof(GateAccess, data) == 40, "data at 40");
ZURPM_RECORD_ASSERT(sizeof(DriverInfo) == 32, "DriverInfo is 32 bytes");
ZURPM_RECORD_ASSERT(offsetof(DriverInfo, driverName) == 4, "driverName at 4");
ZURPM_RECORD_ASSERT(offsetof(DriverInfo, bannerText) == 8, "bannerText at 8");
ZURPM_RECORD_ASSERT(offsetof(DriverInfo, infoValue7) == 28, "infoValue7 at 28");
#endif

#endif /* ZURPM_RECORDS_H */
