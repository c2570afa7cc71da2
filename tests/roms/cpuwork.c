/* See cpuwork.h. */
#include "cpuwork.h"

typedef unsigned int w32;
typedef signed int i32;
typedef unsigned long long w64;
typedef signed long long i64;

const unsigned int CpuWorkValues[CPUWORK_VALUES] = {
    0x00000000u, 0x00000001u, 0x00000002u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xFFFFFFFFu, 0xFFFFFFFEu,
    0x12345678u, 0xEDCBA987u, 0x0000001Fu, 0x00000020u, 0x00000021u, 0x55555555u, 0x0000FFFFu, 0x00010000u,
};

static w32 Mix(w32 h, w32 v) {
    h ^= v;
    h *= 0x01000193u;
    return h ^ (h >> 15);
}

static w32 Bits(int a, int b, int c, int d) {
    return (w32)((a ? 1 : 0) | (b ? 2 : 0) | (c ? 4 : 0) | (d ? 8 : 0));
}

static w32 Compare32(w32 a, w32 b) {
    const i32 sa = (i32)a, sb = (i32)b;
    w32 h = Bits(sa < sb, sa <= sb, sa > sb, sa >= sb);
    h = (h << 4) | Bits(a < b, a <= b, a > b, a >= b);
    h = (h << 4) | Bits(sa == sb, sa != sb, sa < 0, sb >= 0);
    return h;
}

static w32 Compare64(w32 a, w32 b) {
    const w64 ua = ((w64)a << 32) | b, ub = ((w64)b << 32) | a;
    const w64 uc = (w64)a, ud = (w64)b;
    const i64 sa = (i64)ua, sb = (i64)ub, sc = (i64)(i32)a, sd = (i64)(i32)b;
    w32 h = Bits(sa < sb, sa <= sb, sa > sb, sa >= sb);
    h = (h << 4) | Bits(ua < ub, ua <= ub, ua > ub, ua >= ub);
    h = (h << 4) | Bits(sc < sd, sc <= sd, sc > sd, sc >= sd);
    h = (h << 4) | Bits(uc < ud, (i64)uc < (i64)ud, sc < (i64)ud, (i64)uc > sd);
    return h;
}

static w32 Overflow(w32 a, w32 b) {
    i32 r1 = 0, r2 = 0, r3 = 0;
    w32 u1 = 0, u2 = 0;
    const int o1 = __builtin_add_overflow((i32)a, (i32)b, &r1);
    const int o2 = __builtin_sub_overflow((i32)a, (i32)b, &r2);
    const int o3 = __builtin_sub_overflow((i32)0, (i32)b, &r3);
    const int o4 = __builtin_add_overflow(a, b, &u1);
    const int o5 = __builtin_sub_overflow(a, b, &u2);
    w32 h = Bits(o1, o2, o3, o4) | (o5 ? 16u : 0u);
    h = Mix(h, (w32)r1);
    h = Mix(h, (w32)r2);
    h = Mix(h, (w32)r3);
    return Mix(Mix(h, u1), u2);
}

static w32 Carry(w32 a, w32 b) {
    /* 64-bit sums and differences are computed with carry and borrow. */
    const w64 x = ((w64)a << 32) | b, y = ((w64)b << 32) | (a ^ 0x80000000u);
    const w64 s = x + y, d = x - y, n = (w64)0 - x;
    w32 h = Mix((w32)s, (w32)(s >> 32));
    h = Mix(h, (w32)d);
    h = Mix(h, (w32)(d >> 32));
    return Mix(Mix(h, (w32)n), (w32)(n >> 32));
}

static w32 Multiply(w32 a, w32 b) {
    const w64 u = (w64)a * b;
    const i64 s = (i64)(i32)a * (i32)b;
    const w64 acc = ((w64)b << 32 | a) + (w64)a * b;
    /* Signed accumulation, wrapping like the processor's. */
    const w64 sacc = (((w64)a << 32) | b) + (w64)((i64)(i32)a * (i32)b);
    w32 h = Mix(a * b, (w32)u);
    h = Mix(h, (w32)(u >> 32));
    h = Mix(h, (w32)s);
    h = Mix(h, (w32)((w64)s >> 32));
    h = Mix(h, (w32)acc);
    h = Mix(h, (w32)(acc >> 32));
    h = Mix(h, (w32)sacc);
    return Mix(h, (w32)(sacc >> 32));
}

static w32 Divide(w32 a, w32 b) {
    w32 h = 0;
    if (b != 0) {
        h = Mix(Mix(h, a / b), a % b);
        const w64 x = ((w64)a << 32) | b;
        h = Mix(Mix(h, (w32)(x / b)), (w32)(x % b));
        if (!((i32)a == (i32)0x80000000 && (i32)b == -1)) {
            h = Mix(Mix(h, (w32)((i32)a / (i32)b)), (w32)((i32)a % (i32)b));
        }
        const i64 sx = (i64)x;
        const i64 sy = (i64)(i32)b;
        if (!(sx == (i64)0x8000000000000000ull && sy == -1)) h = Mix(Mix(h, (w32)(w64)(sx / sy)), (w32)(w64)(sx % sy));
    }
    return h;
}

static w32 Shift(w32 a, w32 b) {
    const w32 n = b & 31, m = b & 63;
    const w64 x = ((w64)a << 32) | (a ^ b);
    w32 h = Mix(a << n, a >> n);
    h = Mix(h, (w32)((i32)a >> n));
    h = Mix(h, n ? (a >> n) | (a << (32 - n)) : a);
    h = Mix(h, (w32)(x << m));
    h = Mix(h, (w32)((x << m) >> 32));
    h = Mix(h, (w32)(x >> m));
    h = Mix(h, (w32)((w64)((i64)x >> m) >> 32));
    h = Mix(h, (w32)__builtin_popcount(a));
    h = Mix(h, a ? (w32)__builtin_clz(a) : 32u);
    return h;
}

static w32 Narrow(w32 a, w32 b) {
    /* Bytes and halfwords through memory, signed and unsigned. */
    volatile unsigned char bytes[8];
    volatile unsigned short halves[4];
    volatile signed char sbytes[4];
    volatile signed short shalves[2];
    for (int i = 0; i < 4; ++i) {
        bytes[i] = (unsigned char)(a >> (8 * i));
        bytes[i + 4] = (unsigned char)(b >> (8 * i));
        sbytes[i] = (signed char)(unsigned char)(b >> (8 * i));
    }
    halves[0] = (unsigned short)a;
    halves[1] = (unsigned short)(a >> 16);
    halves[2] = (unsigned short)b;
    halves[3] = (unsigned short)(b >> 16);
    shalves[0] = (signed short)(unsigned short)a;
    shalves[1] = (signed short)(unsigned short)(b >> 16);
    w32 h = 0;
    for (int i = 0; i < 8; ++i) h = Mix(h, bytes[i]);
    for (int i = 0; i < 4; ++i) h = Mix(h, halves[i]);
    for (int i = 0; i < 4; ++i) h = Mix(h, (w32)(i32)sbytes[i]);
    h = Mix(h, (w32)(i32)shalves[0]);
    return Mix(h, (w32)(i32)shalves[1]);
}

typedef w32 (*Operation)(w32, w32);

void CpuWork(const volatile unsigned int* values, unsigned int* results) {
    /* Called through a table, so interworking calls and returns are used too. */
    static const Operation operations[CPUWORK_CLASSES] = {Compare32, Compare64, Overflow, Carry,
                                                          Multiply,  Divide,    Shift,    Narrow};
    for (int i = 0; i < CPUWORK_VALUES; ++i) {
        for (int j = 0; j < CPUWORK_VALUES; ++j) {
            const w32 a = values[i], b = values[j];
            for (int c = 0; c < CPUWORK_CLASSES; ++c) {
                results[(i * CPUWORK_VALUES + j) * CPUWORK_CLASSES + c] = operations[c](a, b);
            }
        }
    }
}
