// SPDX-License-Identifier: GPL-3.0-or-later
// The status readers: one shared procedure that copies a group's cells to the caller's
// outputs once the group was received for the connected model, and one public method
// per reader that names the group, its models and the cells in output order.
#include "linkcore/radio/CommandTable.h"
#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>

using linkcore::Cell;
using linkcore::RadioState;
using linkcore::Text;
using linkcore::ValueGroup;
using linkcore::Models;
using linkcore::commands::Serves;
using linkcore::k19;
using linkcore::k20;
using linkcore::kBoth;

namespace {

RadioState& State()
{
    return LinkcoreShared::instance().radioState;
}

// One output of a reader and the cell or text field it is copied from.
class Output {
public:
    Output(unsigned* destination, const Cell& source) : number_(destination), cell_(&source) {}
    template <std::size_t Width>
    Output(unsigned char* destination, const Text<Width>& source) : text_(destination), field_(source.words)
    {
    }

    void clear() const
    {
        if (number_ != nullptr) {
            *number_ = 0;
        }
    }
    void copy() const
    {
        if (number_ != nullptr) {
            *number_ = static_cast<unsigned>(cell_->load());
        } else if (text_ != nullptr) {
            linkcore::LoadText(field_, reinterpret_cast<char*>(text_));
        }
    }

private:
    unsigned* number_ = nullptr;
    const Cell* cell_ = nullptr;
    unsigned char* text_ = nullptr;
    std::span<const Cell> field_;
};

// The reader procedure: every numeric output to 0; then, if the connected model is one
// of `models` and `received` is 1, every output from its cell and result 1.
int Read(Models models, const Cell& received, std::initializer_list<Output> outputs)
{
    for (const Output& output : outputs) {
        output.clear();
    }
    if (!Serves(models, State().model()) || received.load() != 1) {
        return 0;
    }
    for (const Output& output : outputs) {
        output.copy();
    }
    return 1;
}

int ReadValue(Models models, const ValueGroup& group, unsigned* value)
{
    return Read(models, group.received, {{value, group.value}});
}

void EmptyText(unsigned char* text)
{
    if (text != nullptr) {
        text[0] = 0;
    }
}

void ZeroFirstBytes(unsigned char* text)
{
    if (text != nullptr) {
        text[0] = text[1] = text[2] = text[3] = 0;
    }
}

// FA, FB, FC: re-arms the notification before looking, so that a reply arriving after
// the look notifies again; empties the text when the model is served but nothing came.
int ReadFrequency(Models models, linkcore::FrequencyGroup& group, unsigned char* frequency)
{
    group.pending.store(0);
    if (Serves(models, State().model()) && group.received.load() != 1) {
        EmptyText(frequency);
    }
    return Read(models, group.received, {{frequency, group.text}});
}

// IF and OI: the text, then the 14 numbers in the group's order.
template <typename Group>
int ReadStatus(Models models, const Group& g, unsigned char* text, const std::array<unsigned*, 14>& n)
{
    return Read(models, g.received,
                {{text, g.text}, {n[0], g.number13_16}, {n[1], g.number17_22}, {n[2], g.digit23}, {n[3], g.digit24},
                 {n[4], g.digit25}, {n[5], g.number26_27}, {n[6], g.digit28}, {n[7], g.digit29}, {n[8], g.digit30},
                 {n[9], g.digit31}, {n[10], g.digit32}, {n[11], g.digit33}, {n[12], g.number34_35},
                 {n[13], g.digit36}});
}

} // namespace

// ---- Single values ----

int CLinkcore::RcvDataAI(unsigned* value) { return ReadValue(kBoth, State().AI, value); }
int CLinkcore::RcvDataAL(unsigned* value) { return ReadValue(k19, State().AL, value); }
int CLinkcore::RcvDataAM(unsigned* value) { return ReadValue(k19, State().AM, value); }
int CLinkcore::RcvDataAN(unsigned* value) { return ReadValue(kBoth, State().AN, value); }
int CLinkcore::RcvDataBC(unsigned* value) { return ReadValue(kBoth, State().BC, value); }
int CLinkcore::RcvDataBP(unsigned* value) { return ReadValue(k19, State().BP, value); }
int CLinkcore::RcvDataCA(unsigned* value) { return ReadValue(kBoth, State().CA, value); }
int CLinkcore::RcvDataCG(unsigned* value) { return ReadValue(k19, State().CG, value); }
int CLinkcore::RcvDataCM(unsigned* value) { return ReadValue(k19, State().CM, value); }
int CLinkcore::RcvDataCN(unsigned* value) { return ReadValue(kBoth, State().CN, value); }
int CLinkcore::RcvDataCT(unsigned* value) { return ReadValue(kBoth, State().CT, value); }
int CLinkcore::RcvDataDQ(unsigned* value) { return ReadValue(k19, State().DQ, value); }
int CLinkcore::RcvDataFR(unsigned* value) { return ReadValue(kBoth, State().FR, value); }
int CLinkcore::RcvDataFS(unsigned* value) { return ReadValue(kBoth, State().FS, value); }
int CLinkcore::RcvDataFT(unsigned* value) { return ReadValue(kBoth, State().FT, value); }
int CLinkcore::RcvDataFW(unsigned* value) { return ReadValue(kBoth, State().FW, value); }
int CLinkcore::RcvDataGT(unsigned* value) { return ReadValue(kBoth, State().GT, value); }
int CLinkcore::RcvDataKS(unsigned* value) { return ReadValue(kBoth, State().KS, value); }
int CLinkcore::RcvDataKY(unsigned* value) { return ReadValue(kBoth, State().KY, value); }
int CLinkcore::RcvDataLM(unsigned* digit2) { return Read(k19, State().LM.received, {{digit2, State().LM.digit2}}); }
int CLinkcore::RcvDataLT(unsigned* value) { return ReadValue(k19, State().LT, value); }
int CLinkcore::RcvDataMD(unsigned* value) { return ReadValue(kBoth, State().MD, value); }
int CLinkcore::RcvDataMF(unsigned* value) { return ReadValue(kBoth, State().MF, value); }
int CLinkcore::RcvDataMG(unsigned* value) { return ReadValue(kBoth, State().MG, value); }
int CLinkcore::RcvDataML(unsigned* value) { return ReadValue(kBoth, State().ML, value); }
int CLinkcore::RcvDataMO(unsigned* value) { return ReadValue(k19, State().MO, value); }
int CLinkcore::RcvDataNB(unsigned* value) { return ReadValue(kBoth, State().NB, value); }
int CLinkcore::RcvDataNL(unsigned* value) { return ReadValue(kBoth, State().NL, value); }
int CLinkcore::RcvDataNR(unsigned* value) { return ReadValue(kBoth, State().NR, value); }
int CLinkcore::RcvDataNT(unsigned* value) { return ReadValue(k19, State().NT, value); }
int CLinkcore::RcvDataOF(unsigned* value) { return ReadValue(k19, State().OF, value); }
int CLinkcore::RcvDataOS(unsigned* value) { return ReadValue(k19, State().OS, value); }
int CLinkcore::RcvDataPB(unsigned* digit2) { return Read(k19, State().PB.received, {{digit2, State().PB.digit2}}); }
int CLinkcore::RcvDataPC(unsigned* value) { return ReadValue(kBoth, State().PC, value); }
int CLinkcore::RcvDataPM(unsigned* value) { return ReadValue(k19, State().PM, value); }
int CLinkcore::RcvDataPR(unsigned* value) { return ReadValue(kBoth, State().PR, value); }
int CLinkcore::RcvDataPS(unsigned* value) { return ReadValue(kBoth, State().PS, value); }
int CLinkcore::RcvDataQC(unsigned* value) { return ReadValue(k19, State().QC, value); }
int CLinkcore::RcvDataRD(unsigned* value) { return ReadValue(kBoth, State().RD, value); }
int CLinkcore::RcvDataRG(unsigned* value) { return ReadValue(kBoth, State().RG, value); }
int CLinkcore::RcvDataRL(unsigned* value) { return ReadValue(kBoth, State().RL, value); }
int CLinkcore::RcvDataRS(unsigned* value) { return ReadValue(k20, State().RS, value); }
int CLinkcore::RcvDataRT(unsigned* value) { return ReadValue(kBoth, State().RT, value); }
int CLinkcore::RcvDataRU(unsigned* value) { return ReadValue(kBoth, State().RU, value); }
int CLinkcore::RcvDataRX(unsigned* value) { return ReadValue(kBoth, State().RX, value); }
int CLinkcore::RcvDataSB(unsigned* value) { return ReadValue(k19, State().SB, value); }
int CLinkcore::RcvDataSC(unsigned* digit2) { return Read(kBoth, State().SC.received, {{digit2, State().SC.digit2}}); }
int CLinkcore::RcvDataSD(unsigned* value) { return ReadValue(kBoth, State().SD, value); }
int CLinkcore::RcvDataSH(unsigned* value) { return ReadValue(kBoth, State().SH, value); }
int CLinkcore::RcvDataSL(unsigned* value) { return ReadValue(kBoth, State().SL, value); }
int CLinkcore::RcvDataSS(unsigned* value) { return ReadValue(k19, State().SS, value); }
int CLinkcore::RcvDataST(unsigned* value) { return ReadValue(kBoth, State().ST, value); }
int CLinkcore::RcvDataTN(unsigned* value) { return ReadValue(kBoth, State().TN, value); }
int CLinkcore::RcvDataTO(unsigned* value) { return ReadValue(kBoth, State().TO, value); }
int CLinkcore::RcvDataTS(unsigned* value) { return ReadValue(kBoth, State().TS, value); }
int CLinkcore::RcvDataTX(unsigned* value) { return ReadValue(kBoth, State().TX, value); }
int CLinkcore::RcvDataUL(unsigned* value) { return ReadValue(kBoth, State().UL, value); }
int CLinkcore::RcvDataVD(unsigned* value) { return ReadValue(kBoth, State().VD, value); }
int CLinkcore::RcvDataVG(unsigned* value) { return ReadValue(kBoth, State().VG, value); }
int CLinkcore::RcvDataVX(unsigned* value) { return ReadValue(kBoth, State().VX, value); }
int CLinkcore::RcvDataXT(unsigned* value) { return ReadValue(kBoth, State().XT, value); }

// ---- Several values ----

int CLinkcore::RcvDataAC(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().AC;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataAG(unsigned index, unsigned* value)
{
    const auto& g = State().AG;
    return index < g.received.size() ? Read(kBoth, g.received[index], {{value, g.value[index]}}) : 0;
}

int CLinkcore::RcvDataAR(unsigned index, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().AR;
    return index < g.received.size()
               ? Read(k19, g.received[index], {{digit3, g.digit3[index]}, {digit4, g.digit4[index]}})
               : 0;
}

int CLinkcore::RcvDataAS(unsigned* digit2, unsigned* number3_4, unsigned char* text, unsigned* digit16)
{
    const auto& g = State().AS;
    EmptyText(text);
    return Read(kBoth, g.received, {{digit2, g.digit2}, {number3_4, g.number3_4}, {text, g.text}, {digit16, g.digit16}});
}

int CLinkcore::RcvDataBY(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().BY;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataCR(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().CR;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataDC(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().DC;
    return Read(k19, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataDL(unsigned* digit2, unsigned* number3_4)
{
    const auto& g = State().DL;
    return Read(k20, g.received, {{digit2, g.digit2}, {number3_4, g.number3_4}});
}

int CLinkcore::RcvDataEX(unsigned* menu, unsigned* number5_6, unsigned* digit7, unsigned* digit8, unsigned char* text)
{
    const auto& g = State().EX;
    return Read(kBoth, g.received,
                {{menu, g.number2_4}, {number5_6, g.number5_6}, {digit7, g.digit7}, {digit8, g.digit8}, {text, g.text}});
}

int CLinkcore::RcvDataFA(unsigned char* frequency) { return ReadFrequency(kBoth, State().FA, frequency); }
int CLinkcore::RcvDataFB(unsigned char* frequency) { return ReadFrequency(kBoth, State().FB, frequency); }
int CLinkcore::RcvDataFC(unsigned char* frequency) { return ReadFrequency(k19, State().FC, frequency); }

int CLinkcore::RcvDataFD(unsigned char* text)
{
    return Read(k19, State().FD.received, {{text, State().FD.text}});
}

int CLinkcore::RcvDataIF(unsigned char* text, unsigned* number13_16, unsigned* number17_22, unsigned* digit23,
                         unsigned* digit24, unsigned* digit25, unsigned* number26_27, unsigned* digit28,
                         unsigned* digit29, unsigned* digit30, unsigned* digit31, unsigned* digit32, unsigned* digit33,
                         unsigned* number34_35, unsigned* digit36)
{
    return ReadStatus(kBoth, State().IF, text,
                      {number13_16, number17_22, digit23, digit24, digit25, number26_27, digit28, digit29, digit30,
                       digit31, digit32, digit33, number34_35, digit36});
}

int CLinkcore::RcvDataIS(unsigned char* sign, unsigned* number)
{
    const auto& g = State().IS;
    return Read(kBoth, g.received, {{sign, g.sign}, {number, g.number}});
}

int CLinkcore::RcvDataLK(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().LK;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataLM2(unsigned* digit2, unsigned* digit3, unsigned* number4_6)
{
    const auto& g = State().LM;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {number4_6, g.number4_6}});
}

int CLinkcore::RcvDataMC(unsigned* digit2, unsigned* number)
{
    const auto& g = State().MC;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {number, g.number}});
}

int CLinkcore::RcvDataME(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().ME;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataMR(unsigned slot, unsigned* digit3, unsigned* number4_5, unsigned char* text6_16,
                         unsigned* digit17, unsigned* digit18, unsigned* digit19, unsigned* number20_21,
                         unsigned* number22_23, unsigned* number24_26, unsigned* digit27, unsigned* digit28,
                         unsigned* number29_37, unsigned* number38_39, unsigned* digit40, unsigned char* text41_48)
{
    if (slot >= State().MR.slot.size()) {
        return 0;
    }
    const auto& g = State().MR.slot[slot];
    return Read(kBoth, g.received,
                {{digit3, g.digit3}, {number4_5, g.number4_5}, {text6_16, g.text6_16}, {digit17, g.digit17},
                 {digit18, g.digit18}, {digit19, g.digit19}, {number20_21, g.number20_21},
                 {number22_23, g.number22_23}, {number24_26, g.number24_26}, {digit27, g.digit27},
                 {digit28, g.digit28}, {number29_37, g.number29_37}, {number38_39, g.number38_39},
                 {digit40, g.digit40}, {text41_48, g.text41_48}});
}

int CLinkcore::RcvDataMU(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                         unsigned* digit7, unsigned* digit8, unsigned* digit9, unsigned* digit10, unsigned* digit11)
{
    const auto& d = State().MU.digit;
    return Read(k19, State().MU.received,
                {{digit2, d[0]}, {digit3, d[1]}, {digit4, d[2]}, {digit5, d[3]}, {digit6, d[4]}, {digit7, d[5]},
                 {digit8, d[6]}, {digit9, d[7]}, {digit10, d[8]}, {digit11, d[9]}});
}

int CLinkcore::RcvDataOI(unsigned char* text, unsigned* number13_16, unsigned* number17_22, unsigned* digit23,
                         unsigned* digit24, unsigned* digit25, unsigned* number26_27, unsigned* digit28,
                         unsigned* digit29, unsigned* digit30, unsigned* digit31, unsigned* digit32, unsigned* digit33,
                         unsigned* number34_35, unsigned* digit36)
{
    return ReadStatus(k19, State().OI, text,
                      {number13_16, number17_22, digit23, digit24, digit25, number26_27, digit28, digit29, digit30,
                       digit31, digit32, digit33, number34_35, digit36});
}

int CLinkcore::RcvDataOP(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().OP;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataPA(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().PA;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataPB2(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().PB;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataPK(unsigned char* text2_12, unsigned char* text13_24, unsigned char* text25_44,
                         unsigned char* text45_49)
{
    const auto& g = State().PK;
    return Read(k19, g.received,
                {{text2_12, g.text2_12}, {text13_24, g.text13_24}, {text25_44, g.text25_44}, {text45_49, g.text45_49}});
}

int CLinkcore::RcvDataPL(unsigned* number2_4, unsigned* number)
{
    const auto& g = State().PL;
    return Read(kBoth, g.received, {{number2_4, g.number2_4}, {number, g.number}});
}

int CLinkcore::RcvDataQR(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().QR;
    return Read(kBoth, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataRA(unsigned* number2_3, unsigned* number4_5)
{
    const auto& g = State().RA;
    return Read(kBoth, g.received, {{number2_3, g.number2_3}, {number4_5, g.number4_5}});
}

int CLinkcore::RcvDataRM(unsigned* index, unsigned* value)
{
    auto& g = State().RM;
    const auto stored = static_cast<std::uint32_t>(g.index.load());
    if (stored >= g.pending.size()) {
        // The parser stores only indexes 0..9; anything else is not a value to report.
        const Cell never{0};
        return Read(kBoth, never, {{index, g.index}, {value, g.value[0]}});
    }
    g.pending[stored].store(0);
    return Read(kBoth, g.received, {{index, g.index}, {value, g.value[stored]}});
}

int CLinkcore::RcvDataRM2(unsigned index, unsigned* value)
{
    auto& g = State().RM;
    if (index >= g.pending.size()) {
        return 0;
    }
    // Taking the pending flag in one step keeps a change notified meanwhile from being lost.
    const Cell notified{g.pending[index].exchange(0) == 1 ? 1 : 0};
    return Read(kBoth, notified, {{value, g.value[index]}});
}

int CLinkcore::RcvDataSA(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                         unsigned* digit7, unsigned* digit8, unsigned char* text)
{
    const auto& g = State().SA;
    const auto& d = g.digit;
    return Read(k19, g.received,
                {{digit2, d[0]}, {digit3, d[1]}, {digit4, d[2]}, {digit5, d[3]}, {digit6, d[4]}, {digit7, d[5]},
                 {digit8, d[6]}, {text, g.text}});
}

int CLinkcore::RcvDataSC2(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().SC;
    return Read(k20, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataSM(unsigned index, unsigned* value)
{
    auto& g = State().SM;
    if (index >= g.received.size()) {
        return 0;
    }
    g.pending[index].store(0);
    return Read(kBoth, g.received[index], {{value, g.value[index]}});
}

int CLinkcore::RcvDataSQ(unsigned index, unsigned* value)
{
    const auto& g = State().SQ;
    return index < g.received.size() ? Read(kBoth, g.received[index], {{value, g.value[index]}}) : 0;
}

int CLinkcore::RcvDataSS2(unsigned index2, unsigned index3, unsigned char* text)
{
    const auto& table = State().SSTable.entry;
    if (index2 >= table.size() || index3 >= table[index2].size()) {
        return 0;
    }
    ZeroFirstBytes(text);
    const auto& entry = table[index2][index3];
    return Read(k20, entry.received, {{text, entry.text}});
}

int CLinkcore::RcvDataSU(unsigned* digit2, unsigned* digit3, unsigned* digit4, unsigned* digit5, unsigned* digit6,
                         unsigned* digit7, unsigned* digit8, unsigned* digit9, unsigned* digit10, unsigned* digit11,
                         unsigned* digit12)
{
    const auto& d = State().SU.digit;
    return Read(kBoth, State().SU.received,
                {{digit2, d[0]}, {digit3, d[1]}, {digit4, d[2]}, {digit5, d[3]}, {digit6, d[4]}, {digit7, d[5]},
                 {digit8, d[6]}, {digit9, d[7]}, {digit10, d[8]}, {digit11, d[9]}, {digit12, d[10]}});
}

int CLinkcore::RcvDataTC(unsigned* digit2, unsigned* digit3)
{
    const auto& g = State().TC;
    return Read(k19, g.received, {{digit2, g.digit2}, {digit3, g.digit3}});
}

int CLinkcore::RcvDataTI(unsigned* digit2, unsigned* digit3, unsigned* digit4)
{
    const auto& g = State().TI;
    return Read(k19, g.received, {{digit2, g.digit2}, {digit3, g.digit3}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataTY(unsigned* bit0, unsigned* bit1, unsigned* bit2, unsigned* bit3, unsigned* bit4,
                         unsigned* bit5, unsigned* bit6, unsigned* bit7, unsigned* digit4)
{
    const auto& g = State().TY;
    const auto& b = g.bit;
    return Read(kBoth, g.received,
                {{bit0, b[0]}, {bit1, b[1]}, {bit2, b[2]}, {bit3, b[3]}, {bit4, b[4]}, {bit5, b[5]}, {bit6, b[6]},
                 {bit7, b[7]}, {digit4, g.digit4}});
}

int CLinkcore::RcvDataXI(unsigned char* text, unsigned* digit13, unsigned* number14_15)
{
    const auto& g = State().XI;
    ZeroFirstBytes(text);
    return Read(k20, g.received, {{text, g.text}, {digit13, g.digit13}, {number14_15, g.number14_15}});
}

int CLinkcore::RcvDataXO(unsigned* digit2, unsigned char* text)
{
    const auto& g = State().XO;
    ZeroFirstBytes(text);
    return Read(k20, g.received, {{digit2, g.digit2}, {text, g.text}});
}
