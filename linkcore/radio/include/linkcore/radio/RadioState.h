// SPDX-License-Identifier: GPL-3.0-or-later
// RadioState: the last value of every radio reply, 1050 signed 32-bit cells in one
// group per reply mnemonic. The radio reader thread is the only writer (the read
// requests of the command builders and the host's readers also clear groups and
// pending cells); any thread may read.
//
// Race freedom: every cell, text included, is a lock-free std::atomic<int32_t>.
// Text fields pack four characters into each cell. Stores are release and loads
// acquire, so a caller that sees a `received` cell set also sees the values the
// parser stored before it. A reader may still see a mixture of an old and a new
// reply (a group is not replaced as a unit), but never a data race and never a
// text without its terminator: the last character of every field is always NUL.
//
// A group, or the whole table, is cleared by assigning an empty one to it
// (`state.FA = {};`, `state = {};`): every cell is stored as 0, one by one.
#pragma once

#include "linkcore/LinkcoreCodes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace linkcore {

// One 32-bit cell. Copying a cell copies its value through atomic operations, so
// that groups can be cleared and snapshot by plain assignment.
class Cell {
public:
    constexpr Cell(std::int32_t value = 0) noexcept : value_(value) {}
    Cell(const Cell& other) noexcept : value_(other.load()) {}
    Cell& operator=(const Cell& other) noexcept
    {
        store(other.load());
        return *this;
    }
    Cell& operator=(std::int32_t value) noexcept
    {
        store(value);
        return *this;
    }
    operator std::int32_t() const noexcept { return load(); }

    std::int32_t load() const noexcept { return value_.load(std::memory_order_acquire); }
    void store(std::int32_t value) noexcept { value_.store(value, std::memory_order_release); }
    // Stores `value` and returns the value held before.
    std::int32_t exchange(std::int32_t value) noexcept
    {
        return value_.exchange(value, std::memory_order_acq_rel);
    }
    // The cell as a run of one, so that tables can address cells and texts alike.
    std::span<Cell> cells() noexcept { return {this, 1}; }

private:
    std::atomic<std::int32_t> value_;
};

static_assert(sizeof(Cell) == 4);
static_assert(std::atomic<std::int32_t>::is_always_lock_free);

// Writes `text` into the cells of a text field of `cells.size() * 4` characters:
// at most width - 1 characters, the rest of the field NUL.
void StoreText(std::span<Cell> cells, std::string_view text) noexcept;
// Copies a text field into `destination` (room for the field's width), always
// NUL-terminated; returns the text's length.
std::size_t LoadText(std::span<const Cell> cells, char* destination) noexcept;

// A NUL-terminated text field of `Width` characters (terminator included).
template <std::size_t Width>
struct Text {
    static_assert(Width % 4 == 0, "text fields are whole cells");
    static constexpr std::size_t width = Width;

    std::array<Cell, Width / 4> words{};

    void assign(std::string_view text) noexcept { StoreText(words, text); }
    std::size_t copyTo(char* destination) const noexcept { return LoadText(words, destination); }
    std::size_t copyTo(unsigned char* destination) const noexcept
    {
        return LoadText(words, reinterpret_cast<char*>(destination));
    }
    std::string str() const
    {
        char buffer[Width];
        const std::size_t length = copyTo(buffer);
        return std::string(buffer, length);
    }
    std::span<Cell> cells() noexcept { return words; }
};

// ---- Group shapes shared by several mnemonics ----

// One value: a digit at 2 or a number from 2.
struct ValueGroup {
    Cell received;
    Cell value;
};

struct TwoDigitGroup {
    Cell received;
    Cell digit2;
    Cell digit3;
};

struct ThreeDigitGroup {
    Cell received;
    Cell digit2;
    Cell digit3;
    Cell digit4;
};

// A frequency of 11 digits at 2..12 whose notification is throttled.
struct FrequencyGroup {
    Cell received;
    Cell pending;
    Text<20> text;
};

// The IF reply and its twin OI.
struct StatusGroup {
    Cell received;
    Text<20> text; // 11 characters at 2..12
    Cell number13_16;
    Cell number17_22; // signed
    Cell digit23;
    Cell digit24;
    Cell digit25;
    Cell number26_27;
    Cell digit28;
    Cell digit29;
    Cell digit30;
    Cell digit31;
    Cell digit32;
    Cell digit33;
    Cell number34_35;
    Cell digit36;
};

// ---- Groups with a layout of their own ----

struct AGGroup {
    std::array<Cell, 2> received; // one per index 0 and 1
    Cell index;
    std::array<Cell, 2> value; // number from 3
};

struct ARGroup {
    std::array<Cell, 2> received;
    Cell index;
    std::array<Cell, 2> digit3;
    std::array<Cell, 2> digit4;
};

struct ASGroup {
    Cell received;
    Cell digit2;
    Cell number3_4;
    Cell digit16;
    Text<20> text; // 11 characters at 5..15
};

struct DCGroup {
    Cell received;
    Cell digit2;
    Cell digit3;
    Cell spare;
};

struct DLGroup {
    Cell received;
    Cell digit2;
    Cell number3_4;
};

struct EXGroup {
    Cell received;
    Cell number2_4; // menu number
    Cell number5_6;
    Cell digit7;
    Cell digit8;
    Text<20> text; // from 9 to the end
};

struct FDGroup {
    Cell received;
    Text<12> text; // from 2 to the end
};

struct IDGroup {
    Cell received;
    Cell model;
};

struct ISGroup {
    Cell received;
    Text<4> sign; // the character at 2
    Cell number;  // from 3
};

struct LMGroup {
    Cell received;
    Cell digit2;
    Cell digit3;    // model 20 only
    Cell number4_6; // model 20 only
};

struct MCGroup {
    Cell received;
    Cell digit2;
    Cell number; // from 3
};

struct MRSlot {
    Cell received;
    Cell digit3;
    Cell number4_5;
    Cell digit17;
    Cell digit18;
    Cell digit19;
    Cell number20_21;
    Cell number22_23;
    Cell number24_26;
    Cell digit27;
    Cell digit28;
    Cell number38_39;
    Cell number29_37;
    Cell digit40;
    Text<20> text6_16;
    Text<20> text41_48;
};

struct MRGroup {
    std::array<MRSlot, 2> slot; // chosen by the digit at 2
};

template <std::size_t Count>
struct DigitsGroup {
    Cell received;
    std::array<Cell, Count> digit; // digit[i] is the digit at 2 + i
};

struct PKGroup {
    Cell received;
    Text<20> text2_12;
    Text<20> text13_24;
    Text<40> text25_44;
    Text<12> text45_49;
};

struct PLGroup {
    Cell received;
    Cell number2_4;
    Cell number; // from 5
};

struct RAGroup {
    Cell received;
    Cell number2_3;
    Cell number4_5;
};

struct RMGroup {
    Cell received;
    std::array<Cell, 10> pending; // one per index
    Cell index;
    std::array<Cell, 10> value; // number from 3, one per index
};

struct SAGroup {
    Cell received;
    std::array<Cell, 7> digit; // digits at 2 to 8
    Text<12> text;             // from 9 to the end
};

struct SMGroup {
    std::array<Cell, 4> received;
    std::array<Cell, 4> pending;
    Cell index;
    std::array<Cell, 4> value;
};

struct SQGroup {
    std::array<Cell, 2> received;
    Cell index;
    std::array<Cell, 2> value;
};

struct SSEntry {
    Cell received;
    Text<20> text; // from 4 to the end
};

// The model-20 SS table, addressed by the digits at 2 and 3: entry[digit2][digit3].
struct SSTableGroup {
    std::array<std::array<SSEntry, 10>, 10> entry;
};

struct TYGroup {
    Cell received;
    std::array<Cell, 8> bit; // least significant first
    Cell digit4;
};

struct XIGroup {
    Cell received;
    Cell digit13;
    Cell number14_15;
    Text<20> text; // 11 characters at 2..12
};

struct XOGroup {
    Cell received;
    Cell digit2;
    Text<20> text; // 11 characters at 3..13
};

// ---- The table, one group per reply mnemonic, in this order ----

struct RadioState {
    ThreeDigitGroup AC;
    AGGroup AG;
    ValueGroup AI;
    ValueGroup AL;
    ValueGroup AM;
    ValueGroup AN;
    ARGroup AR;
    ASGroup AS;
    ValueGroup BC;
    ValueGroup BP;
    TwoDigitGroup BY;
    ValueGroup CA;
    ValueGroup CG;
    ValueGroup CM;
    ValueGroup CN;
    ThreeDigitGroup CR;
    ValueGroup CT;
    DCGroup DC;
    DLGroup DL;
    ValueGroup DQ;
    EXGroup EX;
    FrequencyGroup FA;
    FrequencyGroup FB;
    FrequencyGroup FC;
    FDGroup FD;
    ValueGroup FR;
    ValueGroup FS;
    ValueGroup FT;
    ValueGroup FW;
    ValueGroup GT;
    IDGroup ID;
    StatusGroup IF;
    ISGroup IS;
    ValueGroup KS;
    ValueGroup KY;
    TwoDigitGroup LK;
    LMGroup LM;
    ValueGroup LT;
    MCGroup MC;
    ValueGroup MD;
    ThreeDigitGroup ME;
    ValueGroup MF;
    ValueGroup MG;
    ValueGroup ML;
    ValueGroup MO;
    MRGroup MR;
    DigitsGroup<10> MU;
    ValueGroup NB;
    ValueGroup NL;
    ValueGroup NR;
    ValueGroup NT;
    ValueGroup OF;
    StatusGroup OI;
    ThreeDigitGroup OP;
    ValueGroup OS;
    TwoDigitGroup PA;
    ThreeDigitGroup PB; // digits at 3 and 4 on model 20 only
    ValueGroup PC;
    PKGroup PK;
    PLGroup PL;
    ValueGroup PM;
    ValueGroup PR;
    ValueGroup PS;
    ValueGroup QC;
    TwoDigitGroup QR;
    RAGroup RA;
    ValueGroup RD;
    ValueGroup RG;
    ValueGroup RL;
    RMGroup RM;
    ValueGroup RS;
    ValueGroup RT;
    ValueGroup RU;
    ValueGroup RX;
    SAGroup SA;
    ValueGroup SB;
    TwoDigitGroup SC; // digit at 3 on model 20 only
    ValueGroup SD;
    ValueGroup SH;
    ValueGroup SL;
    SMGroup SM;
    SQGroup SQ;
    ValueGroup SS;
    SSTableGroup SSTable;
    ValueGroup ST;
    DigitsGroup<11> SU;
    TwoDigitGroup TC;
    ThreeDigitGroup TI;
    ValueGroup TN;
    ValueGroup TO;
    ValueGroup TS;
    ValueGroup TX;
    TYGroup TY;
    ValueGroup UL;
    ValueGroup VD;
    ValueGroup VG;
    ValueGroup VX;
    XIGroup XI;
    XOGroup XO;
    ValueGroup XT;

    // The connected model: the ID group's model cell.
    std::int32_t model() const noexcept { return ID.model; }
};

// Cell counts of the groups whose layout is easy to get wrong, and of the whole.
static_assert(sizeof(StatusGroup) == 20 * sizeof(Cell));
static_assert(sizeof(MRSlot) == 24 * sizeof(Cell));
static_assert(sizeof(PKGroup) == 24 * sizeof(Cell));
static_assert(sizeof(RMGroup) == 22 * sizeof(Cell));
static_assert(sizeof(SMGroup) == 13 * sizeof(Cell));
static_assert(sizeof(SSTableGroup) == 600 * sizeof(Cell));
static_assert(sizeof(RadioState) == 1050 * sizeof(Cell));
static_assert(sizeof(RadioState) == 4200);

} // namespace linkcore
