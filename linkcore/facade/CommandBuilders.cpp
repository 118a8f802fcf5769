// SPDX-License-Identifier: GPL-3.0-or-later
// The command builders: one shared procedure over the command table, and one public
// method per row that hands its arguments to it.
#include "linkcore/radio/CommandTable.h"
#include "linkcore/Linkcore.h"
#include "linkcore/facade/LinkcoreShared.h"
#include "protocol/RadioTexts.h"

#include <cstring>
#include <functional>
#include <string_view>
#include <type_traits>

namespace linkcore::commands {
namespace {

using LineWrite = std::function<int(const unsigned char* bytes, unsigned long count)>;

// The two texts of TC's set request: back to command mode (with ETX first, which ends
// any pass-through transfer) and into pass-through mode.
constexpr std::string_view kTransferControlOn = protocol::kPassThroughExit;
constexpr std::string_view kTransferControlOff = "\rTC 0;";

bool IsExactly(const char* selector, const char* text)
{
    return selector != nullptr && std::strcmp(selector, text) == 0;
}

// Whether the arguments pass the row's checks on `model`. A row with checked parameters
// serves only its own models; a row whose parameters are all unchecked checks nothing.
bool ArgumentsAccepted(const Row& row, std::int32_t model, std::span<const Arg> args)
{
    bool checked = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const Param& param = row.params[i];
        for (const Accept& accept : {param.corvex, param.tarsel}) {
            checked = checked || (accept.kind != Accept::Kind::Unchecked && accept.kind != Accept::Kind::Ignored);
        }
    }
    if (!checked) {
        return true;
    }
    if (!Serves(row.models, model)) {
        return false;
    }
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (!row.params[i].on(model).accepts(args[i])) {
            return false;
        }
    }
    return true;
}

bool Compose(const Row& row, bool read, std::span<const Arg> args, CommandText& command)
{
    std::string_view format = read ? row.readFormat : row.setFormat;
    if (row.transferControl && !read) {
        format = args[1].number == 1 ? kTransferControlOn : kTransferControlOff;
    } else if (!read && !row.zeroFormat.empty() && args[0].number == 0) {
        format = row.zeroFormat;
    }
    return FormatCommand(format, args, command);
}

int Run(std::size_t index, const char* selector, std::span<const Arg> args, const LineWrite& write);

// The read-back that follows a written set request; its result is not reported.
void ReadBackAfterSet(std::size_t index, const char* selector, std::span<const Arg> args, const LineWrite& write)
{
    const Row& row = kCommandTable[index];
    switch (row.readBack) {
    case ReadBack::None:
        return;
    case ReadBack::AfterPause:
        PauseBeforeReadBack();
        break;
    case ReadBack::AtOnce:
        break;
    case ReadBack::AtOnceAfterW:
        if (!IsExactly(selector, "W")) {
            return;
        }
        break;
    case ReadBack::AfterPauseScanning:
        PauseBeforeReadBack();
        if (LinkcoreShared::instance().radioState.SC.digit2.load() == 0) {
            return;
        }
        break;
    }
    Run(index, "R", args, write);
}

// The builder procedure: guards, argument checks, the model test, the clearing of a
// read request's group and one write, then the read-back of a set.
int Run(std::size_t index, const char* selector, std::span<const Arg> args, const LineWrite& write)
{
    LinkcoreShared& shared = LinkcoreShared::instance();
    const Row& row = kCommandTable[index];
    if (shared.radioConnected.load() == 0 || (shared.passThrough.load() != 0 && !row.transferControl)) {
        return 0;
    }
    if (row.form == Form::Selector && selector == nullptr) {
        return 0;
    }
    const bool selectorRead = row.form == Form::Selector && IsExactly(selector, "R");
    const bool read = selectorRead || row.form == Form::Request;
    RadioState& state = shared.radioState;
    const std::int32_t model = state.model();
    if ((!selectorRead || row.checksReadArguments) && !ArgumentsAccepted(row, model, args)) {
        return 0;
    }
    CommandText command;
    if (!Compose(row, read, args, command)) {
        return 0;
    }
    const bool clears = row.clear && (read || row.form == Form::Action);
    if (clears && row.clearTime == ClearTime::BeforeModelTest && !row.clear.function(state, args)) {
        return 0;
    }
    if (!Serves(row.models, model)) {
        return 0;
    }
    if (clears && row.clearTime == ClearTime::AfterModelTest && !row.clear.function(state, args)) {
        return 0;
    }
    if (row.transferControl && !read && args[1].number == 1) {
        shared.passThrough.store(0);
    }
    const int written = write(command.bytes.data(), command.length);
    if (written == 1 && !read) {
        ReadBackAfterSet(index, selector, args, write);
    }
    return written;
}

template <typename Value>
constexpr Param::Type TypeOf()
{
    static_assert(std::is_same_v<Value, unsigned> || std::is_same_v<Value, const unsigned char*>,
                  "builders take unsigned numbers and const unsigned char* texts");
    return std::is_same_v<Value, unsigned> ? Param::Type::Number : Param::Type::Text;
}

// Whether a builder's argument types are the row's parameter types, in order.
template <std::size_t Index, typename... Values>
constexpr bool ArgumentsMatch()
{
    constexpr std::array<Param::Type, sizeof...(Values)> types{TypeOf<Values>()...};
    const Row& row = kCommandTable[Index];
    if (types.size() != row.paramCount()) {
        return false;
    }
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (types[i] != row.params[i].type) {
            return false;
        }
    }
    return true;
}

} // namespace
} // namespace linkcore::commands

using linkcore::commands::RowIndex;

template <unsigned Index, typename Selector, typename... Values>
int CLinkcore::RunBuilder(Selector selector, Values... values)
{
    using namespace linkcore::commands;
    static_assert(Index < kCommandTable.size(), "a builder names a row of the command table");
    constexpr bool hasSelector = kCommandTable[Index].form == Form::Selector;
    static_assert(hasSelector ? std::is_same_v<Selector, const char*> : std::is_same_v<Selector, std::nullptr_t>,
                  "builders with a selector pass it, the others pass nullptr");
    static_assert(ArgumentsMatch<Index, Values...>(), "a builder's parameters are its row's");
    const std::array<Arg, sizeof...(Values)> args{Arg(values)...};
    return Run(Index, selector, args, [this](const unsigned char* bytes, unsigned long count) {
        return WriteCom(bytes, count);
    });
}

int CLinkcore::ConnAC(const char* selector, unsigned p1, unsigned p2, unsigned p3)
{
    return RunBuilder<RowIndex("AC")>(selector, p1, p2, p3);
}

int CLinkcore::ConnAG(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("AG")>(selector, p1, p2);
}

int CLinkcore::ConnAI(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("AI")>(selector, p1);
}

int CLinkcore::ConnAL(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("AL")>(selector, p1);
}

int CLinkcore::ConnAM(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("AM")>(selector, p1);
}

int CLinkcore::ConnAN(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("AN")>(selector, p1);
}

int CLinkcore::ConnAR(const char* selector, unsigned p1, unsigned p2, unsigned p3)
{
    return RunBuilder<RowIndex("AR")>(selector, p1, p2, p3);
}

int CLinkcore::ConnAS(const char* selector, unsigned p1, unsigned p2, const unsigned char* p3, unsigned p4)
{
    return RunBuilder<RowIndex("AS")>(selector, p1, p2, p3, p4);
}

int CLinkcore::ConnBC(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("BC")>(selector, p1);
}

int CLinkcore::ConnBD()
{
    return RunBuilder<RowIndex("BD")>(nullptr);
}

int CLinkcore::ConnBP(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("BP")>(selector, p1);
}

int CLinkcore::ConnBU()
{
    return RunBuilder<RowIndex("BU")>(nullptr);
}

int CLinkcore::ConnBY()
{
    return RunBuilder<RowIndex("BY")>(nullptr);
}

int CLinkcore::ConnCA(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("CA")>(selector, p1);
}

int CLinkcore::ConnCG(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("CG")>(selector, p1);
}

int CLinkcore::ConnCH(unsigned p1)
{
    return RunBuilder<RowIndex("CH")>(nullptr, p1);
}

int CLinkcore::ConnCI()
{
    return RunBuilder<RowIndex("CI")>(nullptr);
}

int CLinkcore::ConnCM(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("CM")>(selector, p1);
}

int CLinkcore::ConnCN(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("CN")>(selector, p1);
}

int CLinkcore::ConnCR(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("CR")>(selector, p1, p2);
}

int CLinkcore::ConnCT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("CT")>(selector, p1);
}

int CLinkcore::ConnDC(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("DC")>(selector, p1, p2);
}

int CLinkcore::ConnDL(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("DL")>(selector, p1, p2);
}

int CLinkcore::ConnDN(unsigned p1)
{
    return RunBuilder<RowIndex("DN")>(nullptr, p1);
}

int CLinkcore::ConnDQ(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("DQ")>(selector, p1);
}

int CLinkcore::ConnEX(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4,
                      const unsigned char* p5)
{
    return RunBuilder<RowIndex("EX")>(selector, p1, p2, p3, p4, p5);
}

int CLinkcore::ConnFA(const char* selector, const unsigned char* p1)
{
    return RunBuilder<RowIndex("FA")>(selector, p1);
}

int CLinkcore::ConnFB(const char* selector, const unsigned char* p1)
{
    return RunBuilder<RowIndex("FB")>(selector, p1);
}

int CLinkcore::ConnFC(const char* selector, const unsigned char* p1)
{
    return RunBuilder<RowIndex("FC")>(selector, p1);
}

int CLinkcore::ConnFD()
{
    return RunBuilder<RowIndex("FD")>(nullptr);
}

int CLinkcore::ConnFR(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("FR")>(selector, p1);
}

int CLinkcore::ConnFS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("FS")>(selector, p1);
}

int CLinkcore::ConnFT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("FT")>(selector, p1);
}

int CLinkcore::ConnFW(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("FW")>(selector, p1);
}

int CLinkcore::ConnGT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("GT")>(selector, p1);
}

int CLinkcore::ConnIF()
{
    return RunBuilder<RowIndex("IF")>(nullptr);
}

int CLinkcore::ConnIS(const char* selector, const unsigned char* p1, unsigned p2)
{
    return RunBuilder<RowIndex("IS")>(selector, p1, p2);
}

int CLinkcore::ConnKS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("KS")>(selector, p1);
}

int CLinkcore::ConnKY(const char* selector, const unsigned char* p1)
{
    return RunBuilder<RowIndex("KY")>(selector, p1);
}

int CLinkcore::ConnLK(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("LK")>(selector, p1, p2);
}

int CLinkcore::ConnLM(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("LM")>(selector, p1);
}

int CLinkcore::ConnLM2(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("LM2")>(selector, p1, p2);
}

int CLinkcore::ConnLT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("LT")>(selector, p1);
}

int CLinkcore::ConnMC(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("MC")>(selector, p1, p2);
}

int CLinkcore::ConnMD(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("MD")>(selector, p1);
}

int CLinkcore::ConnME()
{
    return RunBuilder<RowIndex("ME")>(nullptr);
}

int CLinkcore::ConnMF(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("MF")>(selector, p1);
}

int CLinkcore::ConnMG(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("MG")>(selector, p1);
}

int CLinkcore::ConnML(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("ML")>(selector, p1);
}

int CLinkcore::ConnMO(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("MO")>(selector, p1);
}

int CLinkcore::ConnMR(unsigned p1, unsigned p2, unsigned p3)
{
    return RunBuilder<RowIndex("MR")>(nullptr, p1, p2, p3);
}

int CLinkcore::ConnMU(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
                      unsigned p6, unsigned p7, unsigned p8, unsigned p9, unsigned p10)
{
    return RunBuilder<RowIndex("MU")>(selector, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10);
}

int CLinkcore::ConnMW(unsigned p1, unsigned p2, unsigned p3, const unsigned char* p4, unsigned p5, unsigned p6,
                      unsigned p7, unsigned p8, unsigned p9, unsigned p10, unsigned p11, unsigned p12, unsigned p13,
                      unsigned p14, unsigned p15, const unsigned char* p16)
{
    return RunBuilder<RowIndex("MW")>(nullptr, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11, p12, p13, p14, p15, p16);
}

int CLinkcore::ConnNB(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("NB")>(selector, p1);
}

int CLinkcore::ConnNL(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("NL")>(selector, p1);
}

int CLinkcore::ConnNR(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("NR")>(selector, p1);
}

int CLinkcore::ConnNT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("NT")>(selector, p1);
}

int CLinkcore::ConnOF(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("OF")>(selector, p1);
}

int CLinkcore::ConnOI()
{
    return RunBuilder<RowIndex("OI")>(nullptr);
}

int CLinkcore::ConnOP()
{
    return RunBuilder<RowIndex("OP")>(nullptr);
}

int CLinkcore::ConnOS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("OS")>(selector, p1);
}

int CLinkcore::ConnPA(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PA")>(selector, p1);
}

int CLinkcore::ConnPB(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PB")>(selector, p1);
}

int CLinkcore::ConnPC(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PC")>(selector, p1);
}

int CLinkcore::ConnPI(unsigned p1)
{
    return RunBuilder<RowIndex("PI")>(nullptr, p1);
}

int CLinkcore::ConnPL(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("PL")>(selector, p1, p2);
}

int CLinkcore::ConnPM(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PM")>(selector, p1);
}

int CLinkcore::ConnPR(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PR")>(selector, p1);
}

int CLinkcore::ConnPS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("PS")>(selector, p1);
}

int CLinkcore::ConnQC(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("QC")>(selector, p1);
}

int CLinkcore::ConnQI()
{
    return RunBuilder<RowIndex("QI")>(nullptr);
}

int CLinkcore::ConnQR(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("QR")>(selector, p1, p2);
}

int CLinkcore::ConnRA(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RA")>(selector, p1);
}

int CLinkcore::ConnRC()
{
    return RunBuilder<RowIndex("RC")>(nullptr);
}

int CLinkcore::ConnRD(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RD")>(selector, p1);
}

int CLinkcore::ConnRG(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RG")>(selector, p1);
}

int CLinkcore::ConnRL(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RL")>(selector, p1);
}

int CLinkcore::ConnRM(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RM")>(selector, p1);
}

int CLinkcore::ConnRS()
{
    return RunBuilder<RowIndex("RS")>(nullptr);
}

int CLinkcore::ConnRT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RT")>(selector, p1);
}

int CLinkcore::ConnRU(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("RU")>(selector, p1);
}

int CLinkcore::ConnRX()
{
    return RunBuilder<RowIndex("RX")>(nullptr);
}

int CLinkcore::ConnSA(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
                      unsigned p6, unsigned p7, const unsigned char* p8)
{
    return RunBuilder<RowIndex("SA")>(selector, p1, p2, p3, p4, p5, p6, p7, p8);
}

int CLinkcore::ConnSB(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SB")>(selector, p1);
}

int CLinkcore::ConnSC(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SC")>(selector, p1);
}

int CLinkcore::ConnSD(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SD")>(selector, p1);
}

int CLinkcore::ConnSH(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SH")>(selector, p1);
}

int CLinkcore::ConnSI(unsigned p1, const unsigned char* p2)
{
    return RunBuilder<RowIndex("SI")>(nullptr, p1, p2);
}

int CLinkcore::ConnSL(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SL")>(selector, p1);
}

int CLinkcore::ConnSM(unsigned p1)
{
    return RunBuilder<RowIndex("SM")>(nullptr, p1);
}

int CLinkcore::ConnSQ(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("SQ")>(selector, p1, p2);
}

int CLinkcore::ConnSR(unsigned p1)
{
    return RunBuilder<RowIndex("SR")>(nullptr, p1);
}

int CLinkcore::ConnSS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("SS")>(selector, p1);
}

int CLinkcore::ConnSS2(const char* selector, unsigned p1, unsigned p2, const unsigned char* p3)
{
    return RunBuilder<RowIndex("SS2")>(selector, p1, p2, p3);
}

int CLinkcore::ConnST(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("ST")>(selector, p1);
}

int CLinkcore::ConnSU(const char* selector, unsigned p1, unsigned p2, unsigned p3, unsigned p4, unsigned p5,
                      unsigned p6, unsigned p7, unsigned p8, unsigned p9, unsigned p10, unsigned p11)
{
    return RunBuilder<RowIndex("SU")>(selector, p1, p2, p3, p4, p5, p6, p7, p8, p9, p10, p11);
}

int CLinkcore::ConnSV()
{
    return RunBuilder<RowIndex("SV")>(nullptr);
}

int CLinkcore::ConnTC(const char* selector, unsigned p1, unsigned p2)
{
    return RunBuilder<RowIndex("TC")>(selector, p1, p2);
}

int CLinkcore::ConnTD(unsigned p1)
{
    return RunBuilder<RowIndex("TD")>(nullptr, p1);
}

int CLinkcore::ConnTI()
{
    return RunBuilder<RowIndex("TI")>(nullptr);
}

int CLinkcore::ConnTN(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("TN")>(selector, p1);
}

int CLinkcore::ConnTO(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("TO")>(selector, p1);
}

int CLinkcore::ConnTS(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("TS")>(selector, p1);
}

int CLinkcore::ConnTX()
{
    return RunBuilder<RowIndex("TX")>(nullptr);
}

int CLinkcore::ConnTX2(unsigned p1)
{
    return RunBuilder<RowIndex("TX2")>(nullptr, p1);
}

int CLinkcore::ConnTY()
{
    return RunBuilder<RowIndex("TY")>(nullptr);
}

int CLinkcore::ConnUP(unsigned p1)
{
    return RunBuilder<RowIndex("UP")>(nullptr, p1);
}

int CLinkcore::ConnUR(const unsigned char* p1)
{
    return RunBuilder<RowIndex("UR")>(nullptr, p1);
}

int CLinkcore::ConnUT(const unsigned char* p1)
{
    return RunBuilder<RowIndex("UT")>(nullptr, p1);
}

int CLinkcore::ConnVD(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("VD")>(selector, p1);
}

int CLinkcore::ConnVG(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("VG")>(selector, p1);
}

int CLinkcore::ConnVR(unsigned p1)
{
    return RunBuilder<RowIndex("VR")>(nullptr, p1);
}

int CLinkcore::ConnVV()
{
    return RunBuilder<RowIndex("VV")>(nullptr);
}

int CLinkcore::ConnVX(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("VX")>(selector, p1);
}

int CLinkcore::ConnXI()
{
    return RunBuilder<RowIndex("XI")>(nullptr);
}

int CLinkcore::ConnXO(const char* selector, unsigned p1, const unsigned char* p2)
{
    return RunBuilder<RowIndex("XO")>(selector, p1, p2);
}

int CLinkcore::ConnXT(const char* selector, unsigned p1)
{
    return RunBuilder<RowIndex("XT")>(selector, p1);
}
