// SPDX-License-Identifier: GPL-3.0-or-later
#include "ApiFixture.h"

#include "platform/Profile.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <stdexcept>

namespace apitest {

using linkcore::commands::Accept;
using linkcore::commands::kCommandTable;
using linkcore::commands::Param;
using linkcore::commands::Row;

// ---- Builders ----

const std::vector<BuilderEntry>& Builders()
{
    static const std::vector<BuilderEntry> builders{
        {"AC", Bind(&CLinkcore::ConnAC)},
        {"AG", Bind(&CLinkcore::ConnAG)},
        {"AI", Bind(&CLinkcore::ConnAI)},
        {"AL", Bind(&CLinkcore::ConnAL)},
        {"AM", Bind(&CLinkcore::ConnAM)},
        {"AN", Bind(&CLinkcore::ConnAN)},
        {"AR", Bind(&CLinkcore::ConnAR)},
        {"AS", Bind(&CLinkcore::ConnAS)},
        {"BC", Bind(&CLinkcore::ConnBC)},
        {"BD", Bind(&CLinkcore::ConnBD)},
        {"BP", Bind(&CLinkcore::ConnBP)},
        {"BU", Bind(&CLinkcore::ConnBU)},
        {"BY", Bind(&CLinkcore::ConnBY)},
        {"CA", Bind(&CLinkcore::ConnCA)},
        {"CG", Bind(&CLinkcore::ConnCG)},
        {"CH", Bind(&CLinkcore::ConnCH)},
        {"CI", Bind(&CLinkcore::ConnCI)},
        {"CM", Bind(&CLinkcore::ConnCM)},
        {"CN", Bind(&CLinkcore::ConnCN)},
        {"CR", Bind(&CLinkcore::ConnCR)},
        {"CT", Bind(&CLinkcore::ConnCT)},
        {"DC", Bind(&CLinkcore::ConnDC)},
        {"DL", Bind(&CLinkcore::ConnDL)},
        {"DN", Bind(&CLinkcore::ConnDN)},
        {"DQ", Bind(&CLinkcore::ConnDQ)},
        {"EX", Bind(&CLinkcore::ConnEX)},
        {"FA", Bind(&CLinkcore::ConnFA)},
        {"FB", Bind(&CLinkcore::ConnFB)},
        {"FC", Bind(&CLinkcore::ConnFC)},
        {"FD", Bind(&CLinkcore::ConnFD)},
        {"FR", Bind(&CLinkcore::ConnFR)},
        {"FS", Bind(&CLinkcore::ConnFS)},
        {"FT", Bind(&CLinkcore::ConnFT)},
        {"FW", Bind(&CLinkcore::ConnFW)},
        {"GT", Bind(&CLinkcore::ConnGT)},
        {"IF", Bind(&CLinkcore::ConnIF)},
        {"IS", Bind(&CLinkcore::ConnIS)},
        {"KS", Bind(&CLinkcore::ConnKS)},
        {"KY", Bind(&CLinkcore::ConnKY)},
        {"LK", Bind(&CLinkcore::ConnLK)},
        {"LM", Bind(&CLinkcore::ConnLM)},
        {"LM2", Bind(&CLinkcore::ConnLM2)},
        {"LT", Bind(&CLinkcore::ConnLT)},
        {"MC", Bind(&CLinkcore::ConnMC)},
        {"MD", Bind(&CLinkcore::ConnMD)},
        {"ME", Bind(&CLinkcore::ConnME)},
        {"MF", Bind(&CLinkcore::ConnMF)},
        {"MG", Bind(&CLinkcore::ConnMG)},
        {"ML", Bind(&CLinkcore::ConnML)},
        {"MO", Bind(&CLinkcore::ConnMO)},
        {"MR", Bind(&CLinkcore::ConnMR)},
        {"MU", Bind(&CLinkcore::ConnMU)},
        {"MW", Bind(&CLinkcore::ConnMW)},
        {"NB", Bind(&CLinkcore::ConnNB)},
        {"NL", Bind(&CLinkcore::ConnNL)},
        {"NR", Bind(&CLinkcore::ConnNR)},
        {"NT", Bind(&CLinkcore::ConnNT)},
        {"OF", Bind(&CLinkcore::ConnOF)},
        {"OI", Bind(&CLinkcore::ConnOI)},
        {"OP", Bind(&CLinkcore::ConnOP)},
        {"OS", Bind(&CLinkcore::ConnOS)},
        {"PA", Bind(&CLinkcore::ConnPA)},
        {"PB", Bind(&CLinkcore::ConnPB)},
        {"PC", Bind(&CLinkcore::ConnPC)},
        {"PI", Bind(&CLinkcore::ConnPI)},
        {"PL", Bind(&CLinkcore::ConnPL)},
        {"PM", Bind(&CLinkcore::ConnPM)},
        {"PR", Bind(&CLinkcore::ConnPR)},
        {"PS", Bind(&CLinkcore::ConnPS)},
        {"QC", Bind(&CLinkcore::ConnQC)},
        {"QI", Bind(&CLinkcore::ConnQI)},
        {"QR", Bind(&CLinkcore::ConnQR)},
        {"RA", Bind(&CLinkcore::ConnRA)},
        {"RC", Bind(&CLinkcore::ConnRC)},
        {"RD", Bind(&CLinkcore::ConnRD)},
        {"RG", Bind(&CLinkcore::ConnRG)},
        {"RL", Bind(&CLinkcore::ConnRL)},
        {"RM", Bind(&CLinkcore::ConnRM)},
        {"RS", Bind(&CLinkcore::ConnRS)},
        {"RT", Bind(&CLinkcore::ConnRT)},
        {"RU", Bind(&CLinkcore::ConnRU)},
        {"RX", Bind(&CLinkcore::ConnRX)},
        {"SA", Bind(&CLinkcore::ConnSA)},
        {"SB", Bind(&CLinkcore::ConnSB)},
        {"SC", Bind(&CLinkcore::ConnSC)},
        {"SD", Bind(&CLinkcore::ConnSD)},
        {"SH", Bind(&CLinkcore::ConnSH)},
        {"SI", Bind(&CLinkcore::ConnSI)},
        {"SL", Bind(&CLinkcore::ConnSL)},
        {"SM", Bind(&CLinkcore::ConnSM)},
        {"SQ", Bind(&CLinkcore::ConnSQ)},
        {"SR", Bind(&CLinkcore::ConnSR)},
        {"SS", Bind(&CLinkcore::ConnSS)},
        {"SS2", Bind(&CLinkcore::ConnSS2)},
        {"ST", Bind(&CLinkcore::ConnST)},
        {"SU", Bind(&CLinkcore::ConnSU)},
        {"SV", Bind(&CLinkcore::ConnSV)},
        {"TC", Bind(&CLinkcore::ConnTC)},
        {"TD", Bind(&CLinkcore::ConnTD)},
        {"TI", Bind(&CLinkcore::ConnTI)},
        {"TN", Bind(&CLinkcore::ConnTN)},
        {"TO", Bind(&CLinkcore::ConnTO)},
        {"TS", Bind(&CLinkcore::ConnTS)},
        {"TX", Bind(&CLinkcore::ConnTX)},
        {"TX2", Bind(&CLinkcore::ConnTX2)},
        {"TY", Bind(&CLinkcore::ConnTY)},
        {"UP", Bind(&CLinkcore::ConnUP)},
        {"UR", Bind(&CLinkcore::ConnUR)},
        {"UT", Bind(&CLinkcore::ConnUT)},
        {"VD", Bind(&CLinkcore::ConnVD)},
        {"VG", Bind(&CLinkcore::ConnVG)},
        {"VR", Bind(&CLinkcore::ConnVR)},
        {"VV", Bind(&CLinkcore::ConnVV)},
        {"VX", Bind(&CLinkcore::ConnVX)},
        {"XI", Bind(&CLinkcore::ConnXI)},
        {"XO", Bind(&CLinkcore::ConnXO)},
        {"XT", Bind(&CLinkcore::ConnXT)},
    };
    return builders;
}

const BuilderEntry& Builder(std::string_view name)
{
    for (const BuilderEntry& entry : Builders()) {
        if (entry.name == name) {
            return entry;
        }
    }
    throw std::invalid_argument("no builder Conn" + std::string(name));
}

const Row& RowNamed(std::string_view name)
{
    for (const Row& row : kCommandTable) {
        if (row.name == name) {
            return row;
        }
    }
    throw std::invalid_argument("no row " + std::string(name));
}

namespace {

// Texts handed out by ValidArgs; a deque keeps them in place.
const unsigned char* Keep(std::string text)
{
    static std::deque<std::string> kept;
    kept.push_back(std::move(text));
    return reinterpret_cast<const unsigned char*>(kept.back().c_str());
}

Arg ValidArg(const Param& param, const Accept& accept)
{
    const bool text = param.type == Param::Type::Text;
    switch (accept.kind) {
    case Accept::Kind::Range:
        return text ? Arg(Keep(std::to_string(accept.high))) : Arg(static_cast<unsigned>(accept.high));
    case Accept::Kind::OneOf: {
        unsigned value = 31;
        while (value > 0 && ((accept.set >> value) & 1u) == 0) {
            --value;
        }
        return Arg(value);
    }
    case Accept::Kind::MaxLength:
        return Arg(Keep(std::string(static_cast<std::size_t>(accept.high), 'A')));
    case Accept::Kind::Blank:
    case Accept::Kind::BlankOrMinus:
        return Arg(Keep(" "));
    case Accept::Kind::Unchecked:
    case Accept::Kind::Ignored:
        break;
    }
    return text ? Arg(Keep("TEXT")) : Arg(1u);
}

} // namespace

std::vector<Arg> ValidArgs(const Row& row, std::int32_t model)
{
    std::vector<Arg> args;
    for (std::size_t i = 0; i < row.paramCount(); ++i) {
        args.push_back(ValidArg(row.params[i], row.params[i].on(model)));
    }
    return args;
}

// ---- Readers ----

namespace detail {

Outputs::Outputs()
{
    numbers.fill(0xA5A5A5A5u);
    for (auto& text : texts) {
        text.fill('Z');
        text.back() = 0;
    }
}

ReaderResult Collect(int result, const Outputs& outputs, std::span<const Slot> slots)
{
    ReaderResult collected{result, {}};
    std::size_t number = 0;
    std::size_t text = 0;
    for (const Slot slot : slots) {
        if (slot == Slot::Number) {
            collected.outputs.push_back(std::to_string(outputs.numbers[number++]));
        } else if (slot == Slot::Text) {
            const auto& buffer = outputs.texts[text++];
            collected.outputs.emplace_back(reinterpret_cast<const char*>(buffer.data()));
        }
    }
    return collected;
}

} // namespace detail

const std::vector<ReaderEntry>& Readers()
{
    static const std::vector<ReaderEntry> readers{
        {"AC", BindReader(&CLinkcore::RcvDataAC), 0},
        {"AG", BindReader(&CLinkcore::RcvDataAG), 1},
        {"AI", BindReader(&CLinkcore::RcvDataAI), 0},
        {"AL", BindReader(&CLinkcore::RcvDataAL), 0},
        {"AM", BindReader(&CLinkcore::RcvDataAM), 0},
        {"AN", BindReader(&CLinkcore::RcvDataAN), 0},
        {"AR", BindReader(&CLinkcore::RcvDataAR), 1},
        {"AS", BindReader(&CLinkcore::RcvDataAS), 0},
        {"BC", BindReader(&CLinkcore::RcvDataBC), 0},
        {"BP", BindReader(&CLinkcore::RcvDataBP), 0},
        {"BY", BindReader(&CLinkcore::RcvDataBY), 0},
        {"CA", BindReader(&CLinkcore::RcvDataCA), 0},
        {"CG", BindReader(&CLinkcore::RcvDataCG), 0},
        {"CM", BindReader(&CLinkcore::RcvDataCM), 0},
        {"CN", BindReader(&CLinkcore::RcvDataCN), 0},
        {"CR", BindReader(&CLinkcore::RcvDataCR), 0},
        {"CT", BindReader(&CLinkcore::RcvDataCT), 0},
        {"DC", BindReader(&CLinkcore::RcvDataDC), 0},
        {"DL", BindReader(&CLinkcore::RcvDataDL), 0},
        {"DQ", BindReader(&CLinkcore::RcvDataDQ), 0},
        {"EX", BindReader(&CLinkcore::RcvDataEX), 0},
        {"FA", BindReader(&CLinkcore::RcvDataFA), 0},
        {"FB", BindReader(&CLinkcore::RcvDataFB), 0},
        {"FC", BindReader(&CLinkcore::RcvDataFC), 0},
        {"FD", BindReader(&CLinkcore::RcvDataFD), 0},
        {"FR", BindReader(&CLinkcore::RcvDataFR), 0},
        {"FS", BindReader(&CLinkcore::RcvDataFS), 0},
        {"FT", BindReader(&CLinkcore::RcvDataFT), 0},
        {"FW", BindReader(&CLinkcore::RcvDataFW), 0},
        {"GT", BindReader(&CLinkcore::RcvDataGT), 0},
        {"IF", BindReader(&CLinkcore::RcvDataIF), 0},
        {"IS", BindReader(&CLinkcore::RcvDataIS), 0},
        {"KS", BindReader(&CLinkcore::RcvDataKS), 0},
        {"KY", BindReader(&CLinkcore::RcvDataKY), 0},
        {"LK", BindReader(&CLinkcore::RcvDataLK), 0},
        {"LM", BindReader(&CLinkcore::RcvDataLM), 0},
        {"LM2", BindReader(&CLinkcore::RcvDataLM2), 0},
        {"LT", BindReader(&CLinkcore::RcvDataLT), 0},
        {"MC", BindReader(&CLinkcore::RcvDataMC), 0},
        {"MD", BindReader(&CLinkcore::RcvDataMD), 0},
        {"ME", BindReader(&CLinkcore::RcvDataME), 0},
        {"MF", BindReader(&CLinkcore::RcvDataMF), 0},
        {"MG", BindReader(&CLinkcore::RcvDataMG), 0},
        {"ML", BindReader(&CLinkcore::RcvDataML), 0},
        {"MO", BindReader(&CLinkcore::RcvDataMO), 0},
        {"MR", BindReader(&CLinkcore::RcvDataMR), 1},
        {"MU", BindReader(&CLinkcore::RcvDataMU), 0},
        {"NB", BindReader(&CLinkcore::RcvDataNB), 0},
        {"NL", BindReader(&CLinkcore::RcvDataNL), 0},
        {"NR", BindReader(&CLinkcore::RcvDataNR), 0},
        {"NT", BindReader(&CLinkcore::RcvDataNT), 0},
        {"OF", BindReader(&CLinkcore::RcvDataOF), 0},
        {"OI", BindReader(&CLinkcore::RcvDataOI), 0},
        {"OP", BindReader(&CLinkcore::RcvDataOP), 0},
        {"OS", BindReader(&CLinkcore::RcvDataOS), 0},
        {"PA", BindReader(&CLinkcore::RcvDataPA), 0},
        {"PB", BindReader(&CLinkcore::RcvDataPB), 0},
        {"PB2", BindReader(&CLinkcore::RcvDataPB2), 0},
        {"PC", BindReader(&CLinkcore::RcvDataPC), 0},
        {"PK", BindReader(&CLinkcore::RcvDataPK), 0},
        {"PL", BindReader(&CLinkcore::RcvDataPL), 0},
        {"PM", BindReader(&CLinkcore::RcvDataPM), 0},
        {"PR", BindReader(&CLinkcore::RcvDataPR), 0},
        {"PS", BindReader(&CLinkcore::RcvDataPS), 0},
        {"QC", BindReader(&CLinkcore::RcvDataQC), 0},
        {"QR", BindReader(&CLinkcore::RcvDataQR), 0},
        {"RA", BindReader(&CLinkcore::RcvDataRA), 0},
        {"RD", BindReader(&CLinkcore::RcvDataRD), 0},
        {"RG", BindReader(&CLinkcore::RcvDataRG), 0},
        {"RL", BindReader(&CLinkcore::RcvDataRL), 0},
        {"RM", BindReader(&CLinkcore::RcvDataRM), 0},
        {"RM2", BindReader(&CLinkcore::RcvDataRM2), 1},
        {"RS", BindReader(&CLinkcore::RcvDataRS), 0},
        {"RT", BindReader(&CLinkcore::RcvDataRT), 0},
        {"RU", BindReader(&CLinkcore::RcvDataRU), 0},
        {"RX", BindReader(&CLinkcore::RcvDataRX), 0},
        {"SA", BindReader(&CLinkcore::RcvDataSA), 0},
        {"SB", BindReader(&CLinkcore::RcvDataSB), 0},
        {"SC", BindReader(&CLinkcore::RcvDataSC), 0},
        {"SC2", BindReader(&CLinkcore::RcvDataSC2), 0},
        {"SD", BindReader(&CLinkcore::RcvDataSD), 0},
        {"SH", BindReader(&CLinkcore::RcvDataSH), 0},
        {"SL", BindReader(&CLinkcore::RcvDataSL), 0},
        {"SM", BindReader(&CLinkcore::RcvDataSM), 1},
        {"SQ", BindReader(&CLinkcore::RcvDataSQ), 1},
        {"SS", BindReader(&CLinkcore::RcvDataSS), 0},
        {"SS2", BindReader(&CLinkcore::RcvDataSS2), 2},
        {"ST", BindReader(&CLinkcore::RcvDataST), 0},
        {"SU", BindReader(&CLinkcore::RcvDataSU), 0},
        {"TC", BindReader(&CLinkcore::RcvDataTC), 0},
        {"TI", BindReader(&CLinkcore::RcvDataTI), 0},
        {"TN", BindReader(&CLinkcore::RcvDataTN), 0},
        {"TO", BindReader(&CLinkcore::RcvDataTO), 0},
        {"TS", BindReader(&CLinkcore::RcvDataTS), 0},
        {"TX", BindReader(&CLinkcore::RcvDataTX), 0},
        {"TY", BindReader(&CLinkcore::RcvDataTY), 0},
        {"UL", BindReader(&CLinkcore::RcvDataUL), 0},
        {"VD", BindReader(&CLinkcore::RcvDataVD), 0},
        {"VG", BindReader(&CLinkcore::RcvDataVG), 0},
        {"VX", BindReader(&CLinkcore::RcvDataVX), 0},
        {"XI", BindReader(&CLinkcore::RcvDataXI), 0},
        {"XO", BindReader(&CLinkcore::RcvDataXO), 0},
        {"XT", BindReader(&CLinkcore::RcvDataXT), 0},
    };
    return readers;
}

const ReaderEntry& Reader(std::string_view name)
{
    for (const ReaderEntry& entry : Readers()) {
        if (entry.name == name) {
            return entry;
        }
    }
    throw std::invalid_argument("no reader RcvData" + std::string(name));
}

// ---- LineFixture ----

LineFixture* LineFixture::current_ = nullptr;

void LineFixture::SetUp()
{
    RadioLinkFixture::SetUp();
    ASSERT_EQ(platform::ApplicationProfile().WriteProfileString("COM Devices", "COM" + std::to_string(kComPort),
                                                                pty_.devicePath()),
              1);
    ASSERT_EQ(openLink(linkcore::kModelTarsel), 1);
    current_ = this;
    previousPause_ = linkcore::commands::SetReadBackPause(&LineFixture::PauseHook);
}

void LineFixture::TearDown()
{
    linkcore::commands::SetReadBackPause(previousPause_);
    current_ = nullptr;
    RadioLinkFixture::TearDown();
}

void LineFixture::PauseHook()
{
    // The set command was written before the pause: wait until it has come through.
    LineFixture& self = *current_;
    ++self.pauses_;
    self.readUntil([](std::string_view text) { return text.ends_with(';'); });
    self.captured_ += '|';
}

void LineFixture::readUntil(const std::function<bool(std::string_view)>& done)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!done(captured_)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ADD_FAILURE() << "the line stopped at \"" << captured_ << "\"";
            return;
        }
        captured_ += pty_.receive(1, left);
    }
}

std::pair<int, std::string> LineFixture::capture(const std::function<int()>& call)
{
    // A marker written after the call ends the capture: the port writes in order, so
    // whatever the call wrote arrives before it.
    static constexpr std::string_view kMarker = "<end of call>";
    captured_.clear();
    pauses_ = 0;
    const int result = call();
    EXPECT_EQ(connDirect(kMarker), 1);
    readUntil([](std::string_view text) { return text.ends_with(kMarker); });
    std::string written = captured_;
    if (written.ends_with(kMarker)) {
        written.resize(written.size() - kMarker.size());
    }
    return {result, written};
}

} // namespace apitest
