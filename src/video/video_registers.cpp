#include "video/video_registers.h"

#include <cstddef>

#include "hardware/registers.h"

namespace koru {

uint32_t BgOrder[4];
BgAffineRecord BgAffineState[2];
BlendRecord BlendCoefficients;

namespace {

inline int32_t SignExtend16(uint16_t v) { return static_cast<int16_t>(v); }

// The 28-bit reference point held in the halfwords at low and low + 2.
inline int32_t ReferencePoint(uint32_t low) {
    const uint32_t raw = (static_cast<uint32_t>(IoRead16(low + 2)) << 16) | IoRead16(low);
    return static_cast<int32_t>(raw << 4) >> 4;
}

// Keeps BgOrder sorted in descending order of (priority, number): only the
// changed background moves, and only when its priority changed.
void UpdateBgOrder(uint32_t n, uint16_t v) {
    const uint32_t key = BgOrderWord(n, v);
    int i = 0;
    while (i < 3 && BgOrderNumber(BgOrder[i]) != n) ++i;
    if (BgOrderPriority(BgOrder[i]) == BgOrderPriority(key)) {
        BgOrder[i] = key;
        return;
    }
    while (i > 0 && key > BgOrder[i - 1]) {
        BgOrder[i] = BgOrder[i - 1];
        --i;
    }
    while (i < 3 && key < BgOrder[i + 1]) {
        BgOrder[i] = BgOrder[i + 1];
        ++i;
    }
    BgOrder[i] = key;
}

inline int32_t Weight(uint32_t field) { return (field & 0x10) ? 16 : static_cast<int32_t>(field & 0x0F); }

static_assert(sizeof(BgAffineRecord) == 8 * sizeof(int32_t) && offsetof(BgAffineRecord, pd) == 7 * sizeof(int32_t));

const StateWords VideoWords[] = {
    {1, 1, StateBits(&BlendCoefficients.brightWeight)},
    {2, 1, StateBits(&BlendCoefficients.firstWeight)},
    {3, 1, StateBits(&BlendCoefficients.secondWeight)},
    {4, 4, BgOrder},
    {16, 8, StateBits(&BgAffineState[0].refX)},
    {24, 8, StateBits(&BgAffineState[1].refX)},
};

// The weights must be ones a write can make, and BgOrder must hold each
// background once, with the priority of its own control value: the
// renderers take the background number as an index.
bool VideoWordsValid(const uint32_t* block) {
    for (int i = 1; i <= 3; ++i) {
        if (block[i] > 16) return false;
    }
    uint32_t backgroundsSeen = 0;
    for (int slot = 0; slot < 4; ++slot) {
        const uint32_t word = block[4 + slot];
        const uint32_t control = word & BgOrderControl;
        if ((word & ~BgOrderSecondTarget) != BgOrderWord(BgOrderNumber(word), static_cast<uint16_t>(control))) {
            return false;
        }
        backgroundsSeen |= 1u << BgOrderNumber(word);
    }
    return backgroundsSeen == 0xF;
}

// A loaded state takes both backgrounds' reference points from their
// registers, as every write and reset leaves them. The file keeps both the
// registers and the points; one written by an earlier build may hold a
// point its reset left over, which the registers do not, and which would
// otherwise come back with every load of that file.
void TakeReferencePointsFromRegisters() {
    constexpr uint32_t Points[2][2] = {{IoBG2X, IoBG2Y}, {IoBG3X, IoBG3Y}};
    for (int n = 0; n < 2; ++n) {
        BgAffineRecord& bg = BgAffineState[n];
        const int32_t x = ReferencePoint(Points[n][0]);
        const int32_t y = ReferencePoint(Points[n][1]);
        // The drawing of the current frame keeps its progress from the
        // point, now counted from the right one.
        bg.curX = static_cast<int32_t>(static_cast<uint32_t>(bg.curX) - static_cast<uint32_t>(bg.refX) + static_cast<uint32_t>(x));
        bg.curY = static_cast<int32_t>(static_cast<uint32_t>(bg.curY) - static_cast<uint32_t>(bg.refY) + static_cast<uint32_t>(y));
        bg.refX = x;
        bg.refY = y;
    }
}

}  // namespace

const StateUnit VideoStateUnit = MakeStateUnit(VideoWords, VideoWordsValid, TakeReferencePointsFromRegisters);

void VideoRegisterWrite(uint32_t offset, uint16_t v) {
    switch (offset) {
    case IoDISPSTAT:
        // The blank and match flags are the display's, not the program's.
        IoStore16(offset, static_cast<uint16_t>((v & ~DispStatFlags) | (IoRead16(offset) & DispStatFlags)));
        return;
    case IoVCOUNT:
        return;
    case IoBGCNT(0):
    case IoBGCNT(1):
    case IoBGCNT(2):
    case IoBGCNT(3):
        UpdateBgOrder((offset - IoBG0CNT) / 2, v);
        break;
    case IoBG2PA:
    case IoBG2PA + 2:
    case IoBG2PA + 4:
    case IoBG2PA + 6:
    case IoBG3PA:
    case IoBG3PA + 2:
    case IoBG3PA + 4:
    case IoBG3PA + 6: {
        BgAffineRecord& bg = BgAffineState[offset >= IoBG3PA];
        int32_t* parameters[4] = {&bg.pa, &bg.pb, &bg.pc, &bg.pd};
        *parameters[(offset & 7) / 2] = SignExtend16(v);
        break;
    }
    case IoBG2X:
    case IoBG2X + 2:
    case IoBG2Y:
    case IoBG2Y + 2:
    case IoBG3X:
    case IoBG3X + 2:
    case IoBG3Y:
    case IoBG3Y + 2: {
        IoStore16(offset, v);
        BgAffineRecord& bg = BgAffineState[offset >= IoBG3PA];
        // A write to either half latches the whole point; the drawing
        // starts from it again at once.
        const int32_t point = ReferencePoint(offset & ~2u);
        if ((offset & ~2u) == IoBG2X || (offset & ~2u) == IoBG3X) {
            bg.refX = bg.curX = point;
        } else {
            bg.refY = bg.curY = point;
        }
        return;
    }
    case IoBLDALPHA:
        BlendCoefficients.firstWeight = Weight(v);
        BlendCoefficients.secondWeight = Weight(v >> 8);
        break;
    case IoBLDY:
        BlendCoefficients.brightWeight = Weight(v);
        break;
    default:
        break;
    }
    IoStore16(offset, v);
}

void ResetVideoRegisters() {
    IoStore16(IoDISPCNT, DispCntForcedBlank);
    IoStore16(IoDISPSTAT, 0);
    IoStore16(IoVCOUNT, 0);
    IoStore16(IoMOSAIC, 0);
    IoStore16(IoBLDCNT, 0);
    IoStore16(IoBLDALPHA, 0);
    IoStore16(IoBLDY, 0);
    BlendCoefficients = BlendRecord{0, 0, 0};
    for (uint32_t n = 0; n < 4; ++n) {
        IoStore16(IoBGCNT(n), 0);
        IoStore16(IoBGHOFS(n), 0);
        IoStore16(IoBGVOFS(n), 0);
    }
    for (uint32_t slot = 0; slot < 4; ++slot) BgOrder[slot] = BgOrderWord(3 - slot, 0);
    // Both rotation backgrounds start with the identity matrix at origin 0.
    const uint16_t parameters[8] = {0x0100, 0, 0, 0x0100, 0, 0, 0, 0};
    for (uint32_t i = 0; i < 8; ++i) {
        IoStore16(IoBG3PA + 2 * i, parameters[i]);
        IoStore16(IoBG2PA + 2 * i, parameters[i]);
    }
    for (BgAffineRecord& bg : BgAffineState) {
        bg.pa = bg.pd = 0x100;
        bg.pb = bg.pc = 0;
    }
    // Both reference points of both backgrounds, as a fresh machine has
    // them: a point left over from the last game (or from a loaded state)
    // would shift a bitmap or rotation background that the next program
    // never positions, often off the screen for good.
    for (BgAffineRecord& bg : BgAffineState) bg.refX = bg.curX = bg.refY = bg.curY = 0;
}

}  // namespace koru
