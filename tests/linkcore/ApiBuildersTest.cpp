// SPDX-License-Identifier: GPL-3.0-or-later
// The command builders on a pseudo-terminal: the exact bytes each writes, per model,
// with its range checks, read-backs and pauses, and its refusals.
#include "ApiFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace apitest {
namespace {

using linkcore::kModelCorvex;
using linkcore::kModelTarsel;

using Call = int (*)(CLinkcore&);

struct Example {
    std::int32_t model;
    Call call;
    int result;
    std::string line; // "|": the pause before a read-back
    std::string_view replies = {};
};

std::string Blanks(std::size_t count)
{
    return std::string(count, ' ');
}

const std::vector<Example>& Examples()
{
    static const std::vector<Example> examples{
        // Frequencies: decimal texts, 11 digits, 0 .. 99,999,999,999.
        {20, [](CLinkcore& l) { return l.ConnFA("W", T("99999999999")); }, 1, "FA99999999999;"},
        {20, [](CLinkcore& l) { return l.ConnFA("W", T("100000000000")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnFA("W", T("-1")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnFA("W", T("7000000")); }, 1, "FA00007000000;"},
        {19, [](CLinkcore& l) { return l.ConnFA("W", T("  +7000000 kHz")); }, 1, "FA00007000000;"},
        {19, [](CLinkcore& l) { return l.ConnFA("W", T("MHz")); }, 1, "FA00000000000;"},
        {19, [](CLinkcore& l) { return l.ConnFA("W", T("99999999999999999999999")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnFA("R", T("garbage")); }, 1, "FA;"},
        {20, [](CLinkcore& l) { return l.ConnFA("R", T("")); }, 1, "FA;"},
        {18, [](CLinkcore& l) { return l.ConnFA("R", T("")); }, 0, ""},
        {0, [](CLinkcore& l) { return l.ConnFA("W", T("7000000")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnFB("W", T("7050000")); }, 1, "FB00007050000;"},
        {19, [](CLinkcore& l) { return l.ConnFC("W", T("21200000")); }, 1, "FC00021200000;"},
        {20, [](CLinkcore& l) { return l.ConnFC("W", T("21200000")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnFC("R", T("")); }, 0, ""},
        // Single values and their ranges per model.
        {19, [](CLinkcore& l) { return l.ConnMD("W", 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnMD("W", 8); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnMD("W", 9); }, 1, "MD9;"},
        {19, [](CLinkcore& l) { return l.ConnAI("W", 1); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAI("W", 1); }, 1, "AI1;"},
        {19, [](CLinkcore& l) { return l.ConnAI("W", 2); }, 1, "AI2;"},
        {19, [](CLinkcore& l) { return l.ConnAN("W", 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAN("W", 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAN("W", 2); }, 1, "AN2;"},
        {20, [](CLinkcore& l) { return l.ConnSC("W", 2); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSC("W", 2); }, 1, "SC2;"},
        {20, [](CLinkcore& l) { return l.ConnSC("W", 5); }, 1, "SC5;"},
        {19, [](CLinkcore& l) { return l.ConnSC("W", 7); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnPS("W", 9); }, 1, "PS9;"},
        {19, [](CLinkcore& l) { return l.ConnPS("W", 9); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnPS("W", 3); }, 1, "PS3;"},
        {20, [](CLinkcore& l) { return l.ConnPS("R", 77); }, 1, "PS;"},
        {19, [](CLinkcore& l) { return l.ConnOF("W", 59950000); }, 1, "OF059950000;"},
        {19, [](CLinkcore& l) { return l.ConnOF("W", 59950001); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnOF("W", 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAM("W", 1); }, 1, "AM1;"},
        {19, [](CLinkcore& l) { return l.ConnBC("W", 2); }, 1, "BC2;"},
        {20, [](CLinkcore& l) { return l.ConnCA("W", 1); }, 1, "CA1;"},
        {19, [](CLinkcore& l) { return l.ConnCM("W", 1); }, 1, "CM1;"},
        {20, [](CLinkcore& l) { return l.ConnCT("W", 1); }, 1, "CT1;"},
        {19, [](CLinkcore& l) { return l.ConnDQ("W", 1); }, 1, "DQ1;"},
        {19, [](CLinkcore& l) { return l.ConnFR("W", 3); }, 1, "FR3;"},
        {20, [](CLinkcore& l) { return l.ConnFR("W", 3); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnFS("W", 1); }, 1, "FS1;"},
        {19, [](CLinkcore& l) { return l.ConnFT("W", 3); }, 1, "FT3;"},
        {20, [](CLinkcore& l) { return l.ConnFT("W", 2); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnFW("W", 2400); }, 1, "FW2400;"},
        {20, [](CLinkcore& l) { return l.ConnFW("W", 10000); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnLM("W", 3); }, 1, "LM3;"},
        {20, [](CLinkcore& l) { return l.ConnLM("W", 3); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnLT("W", 1); }, 1, "LT1;"},
        {20, [](CLinkcore& l) { return l.ConnMF("W", 1); }, 1, "MF1;"},
        {19, [](CLinkcore& l) { return l.ConnMO("W", 1); }, 1, "MO1;"},
        {20, [](CLinkcore& l) { return l.ConnNB("W", 1); }, 1, "NB1;"},
        {20, [](CLinkcore& l) { return l.ConnNR("W", 2); }, 1, "NR2;"},
        {19, [](CLinkcore& l) { return l.ConnNT("W", 1); }, 1, "NT1;"},
        {19, [](CLinkcore& l) { return l.ConnOS("W", 3); }, 1, "OS3;"},
        {20, [](CLinkcore& l) { return l.ConnPA("W", 1); }, 1, "PA1;"},
        {20, [](CLinkcore& l) { return l.ConnPB("W", 3); }, 1, "PB3;"},
        {19, [](CLinkcore& l) { return l.ConnPM("W", 5); }, 1, "PM5;"},
        {19, [](CLinkcore& l) { return l.ConnPM("W", 6); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnPR("W", 1); }, 1, "PR1;"},
        {20, [](CLinkcore& l) { return l.ConnRA("W", 99); }, 1, "RA99;"},
        {20, [](CLinkcore& l) { return l.ConnRM("W", 4); }, 1, "RM4;"},
        {20, [](CLinkcore& l) { return l.ConnRM("W", 5); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnRT("W", 1); }, 1, "RT1;"},
        {19, [](CLinkcore& l) { return l.ConnSB("W", 1); }, 1, "SB1;"},
        {20, [](CLinkcore& l) { return l.ConnSH("W", 13); }, 1, "SH13;"},
        {19, [](CLinkcore& l) { return l.ConnSH("W", 13); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSL("W", 11); }, 1, "SL11;"},
        {19, [](CLinkcore& l) { return l.ConnSS("W", 2); }, 1, "SS2;"},
        {20, [](CLinkcore& l) { return l.ConnSS("W", 2); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnST("W", 9); }, 1, "ST09;"},
        {19, [](CLinkcore& l) { return l.ConnTO("W", 3); }, 1, "TO3;"},
        {20, [](CLinkcore& l) { return l.ConnTO("W", 3); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnTS("W", 1); }, 1, "TS1;"},
        {20, [](CLinkcore& l) { return l.ConnVX("W", 1); }, 1, "VX1;"},
        {19, [](CLinkcore& l) { return l.ConnXT("W", 1); }, 1, "XT1;"},
        // Several values.
        {20, [](CLinkcore& l) { return l.ConnAC("W", 1, 2, 0); }, 1, "AC120;"},
        {19, [](CLinkcore& l) { return l.ConnAC("W", 1, 2, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAC("R", 9, 9, 9); }, 1, "AC;"},
        {20, [](CLinkcore& l) { return l.ConnCR("W", 1, 2); }, 1, "CR12;"},
        {19, [](CLinkcore& l) { return l.ConnCR("W", 1, 2); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnDC("W", 1, 1); }, 1, "DC11;"},
        {19, [](CLinkcore& l) { return l.ConnDC("R", 0, 0); }, 1, "DC;"},
        {19, [](CLinkcore& l) { return l.ConnLK("W", 2, 2); }, 1, "LK22;"},
        {20, [](CLinkcore& l) { return l.ConnLK("W", 2, 2); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnLM2("W", 3, 2); }, 1, "LM32;"},
        {20, [](CLinkcore& l) { return l.ConnLM2("R", 9, 9); }, 1, "LM;"},
        {19, [](CLinkcore& l) { return l.ConnLM2("W", 3, 2); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnMC("W", 2, 99); }, 1, "MC299;"},
        {20, [](CLinkcore& l) { return l.ConnMC("W", 2, 99); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnQR("W", 1, 9); }, 1, "QR19;"},
        {19, [](CLinkcore& l) { return l.ConnSA("W", 1, 9, 1, 1, 1, 1, 1, T("not sent")); }, 1, "SA1911111;"},
        {19, [](CLinkcore& l) { return l.ConnSA("W", 1, 9, 1, 1, 1, 1, 1, nullptr); }, 1, "SA1911111;"},
        {19, [](CLinkcore& l) { return l.ConnSA("W", 1, 9, 1, 1, 1, 1, 2, nullptr); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAS("W", 3, 12, T("14195000"), 5); }, 1, "AS312000141950005;"},
        {20, [](CLinkcore& l) { return l.ConnAS("W", 1, 12, T("14195000"), 5); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAS("W", 0, 12, T("100000000000"), 5); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAS("R", 3, 12, nullptr, 9); }, 1, "AS312;"},
        {20, [](CLinkcore& l) { return l.ConnAS("R", 10, 12, nullptr, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnIS("W", T(" "), 500); }, 1, "IS 0500;"},
        {19, [](CLinkcore& l) { return l.ConnIS("W", T("-"), 500); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnIS("W", T("  "), 500); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnIS("W", T("-500"), 500); }, 1, "IS-0500;"},
        {20, [](CLinkcore& l) { return l.ConnIS("W", T("+"), 500); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnIS("W", T(""), 500); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnIS("W", T(" "), 10000); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAR("W", 1, 0, 7); }, 1, "AR107;"},
        {19, [](CLinkcore& l) { return l.ConnAR("W", 1, 0, 10); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAR("W", 1, 0, 7); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAR("R", 1, 5, 5); }, 1, "AR1;"},
        {19, [](CLinkcore& l) { return l.ConnAR("R", 2, 0, 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnXO("W", 1, T("14195000")); }, 1, "XO100014195000;XO;"},
        {20, [](CLinkcore& l) { return l.ConnXO("X", 1, T("14195000")); }, 1, "XO100014195000;"},
        {20, [](CLinkcore& l) { return l.ConnXO("W", 2, T("14195000")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnXO("W", 1, T("14195000")); }, 0, ""},
        // A selector is "R" exactly; anything else makes a set request.
        {20, [](CLinkcore& l) { return l.ConnAI("r", 0); }, 1, "AI0;"},
        {20, [](CLinkcore& l) { return l.ConnAI("READ", 0); }, 1, "AI0;"},
        {20, [](CLinkcore& l) { return l.ConnAI("", 3); }, 1, "AI3;"},
        {20, [](CLinkcore& l) { return l.ConnAI(nullptr, 3); }, 0, ""},
        // Read-back after a pause of 10 ms, with the same arguments.
        {19, [](CLinkcore& l) { return l.ConnAG("W", 1, 123); }, 1, "AG1123;|AG1;"},
        {20, [](CLinkcore& l) { return l.ConnAG("W", 1, 5); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnAG("R", 1, 5000); }, 1, "AG1;"},
        {19, [](CLinkcore& l) { return l.ConnAG("R", 2, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAG("R", 10, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnAL("W", 4); }, 1, "AL004;|AL;"},
        {19, [](CLinkcore& l) { return l.ConnAL("W", 5); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnBP("W", 63); }, 1, "BP063;|BP;"},
        {19, [](CLinkcore& l) { return l.ConnCG("W", 100); }, 1, "CG100;|CG;"},
        {19, [](CLinkcore& l) { return l.ConnCN("W", 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnCN("W", 0); }, 1, "CN00;|CN;"},
        {19, [](CLinkcore& l) { return l.ConnEX("W", 123, 45, 6, 7, T("ABC")); }, 1, "EX1234567ABC;|EX1234567;"},
        {20, [](CLinkcore& l) { return l.ConnEX("W", 24, 0, 0, 0, T("1")); }, 1, "EX02400001;|EX0240000;"},
        {20, [](CLinkcore& l) { return l.ConnEX("W", 24, 1, 0, 0, T("1")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnEX("W", 1, 0, 0, 0, T("0123456789ABCDEF")); }, 1,
         "EX00100000123456789ABCDEF;|EX0010000;"},
        {19, [](CLinkcore& l) { return l.ConnEX("W", 1, 0, 0, 0, T("0123456789ABCDEFG")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnEX("W", 1, 0, 0, 0, T("A;B")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnEX("R", 24, 1, 2, 3, nullptr); }, 1, "EX0240123;"},
        {20, [](CLinkcore& l) { return l.ConnEX("R", 1000, 0, 0, 0, nullptr); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnGT("W", 5); }, 1, "GT005;|GT;"},
        {20, [](CLinkcore& l) { return l.ConnKS("W", 20); }, 1, "KS020;|KS;"},
        {20, [](CLinkcore& l) { return l.ConnMG("W", 50); }, 1, "MG050;|MG;"},
        {20, [](CLinkcore& l) { return l.ConnML("W", 9); }, 1, "ML009;|ML;"},
        {20, [](CLinkcore& l) { return l.ConnML("W", 10); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnMU("W", 1, 0, 1, 0, 1, 0, 1, 0, 1, 0); }, 1, "MU1010101010;|MU;"},
        {19, [](CLinkcore& l) { return l.ConnMU("W", 1, 0, 1, 0, 1, 0, 1, 0, 1, 2); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnNL("W", 5); }, 1, "NL005;|NL;"},
        {20, [](CLinkcore& l) { return l.ConnPC("W", 100); }, 1, "PC100;|PC;"},
        {20, [](CLinkcore& l) { return l.ConnPC("W", 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnPL("W", 12, 345); }, 1, "PL012345;|PL;"},
        {19, [](CLinkcore& l) { return l.ConnQC("W", 103); }, 1, "QC103;|QC;"},
        {20, [](CLinkcore& l) { return l.ConnRG("W", 255); }, 1, "RG255;|RG;"},
        {20, [](CLinkcore& l) { return l.ConnRL("W", 9); }, 1, "RL09;|RL;"},
        {20, [](CLinkcore& l) { return l.ConnSD("W", 50); }, 1, "SD0050;|SD;"},
        {19, [](CLinkcore& l) { return l.ConnSQ("W", 1, 999); }, 1, "SQ1999;|SQ1;"},
        {20, [](CLinkcore& l) { return l.ConnSQ("W", 1, 999); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSQ("R", 1, 5000); }, 1, "SQ1;"},
        {19, [](CLinkcore& l) { return l.ConnSQ("R", 2, 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnSU("W", 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1); }, 1, "SU12345678901;|SU1;"},
        {20, [](CLinkcore& l) { return l.ConnSU("W", 2, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnSU("R", 7, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99); }, 1, "SU7;"},
        {19, [](CLinkcore& l) { return l.ConnTN("W", 1); }, 1, "TN01;|TN;"},
        {19, [](CLinkcore& l) { return l.ConnTN("W", 0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnVD("W", 100); }, 1, "VD0100;|VD;"},
        {20, [](CLinkcore& l) { return l.ConnVG("W", 50); }, 1, "VG050;|VG;"},
        // RD and RU: "RD;" for 0; the read-back follows the pause only while SC is non-zero.
        {20, [](CLinkcore& l) { return l.ConnRD("W", 0); }, 1, "RD;|"},
        {20, [](CLinkcore& l) { return l.ConnRD("W", 150); }, 1, "RD00150;|"},
        {20, [](CLinkcore& l) { return l.ConnRD("W", 150); }, 1, "RD00150;|RD;", "SC14;"},
        {19, [](CLinkcore& l) { return l.ConnRD("W", 150); }, 1, "RD00150;|RD;", "SC1;"},
        {20, [](CLinkcore& l) { return l.ConnRD("W", 100000); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnRD("R", 100000); }, 1, "RD;"},
        {20, [](CLinkcore& l) { return l.ConnRU("W", 99999); }, 1, "RU99999;|RU;", "SC11;"},
        {20, [](CLinkcore& l) { return l.ConnRU("W", 0); }, 1, "RU;|"},
        // Read-back at once.
        {20, [](CLinkcore& l) { return l.ConnSS2("W", 3, 4, T("14195000")); }, 1, "SS3400014195000;SS34;"},
        {20, [](CLinkcore& l) { return l.ConnSS2("W", 3, 5, T("14195000")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSS2("W", 3, 4, T("14195000")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnSS2("R", 9, 9, nullptr); }, 1, "SS99;"},
        {20, [](CLinkcore& l) { return l.ConnSS2("R", 10, 0, nullptr); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnDL("W", 1, 5); }, 1, "DL105;DL;"},
        {20, [](CLinkcore& l) { return l.ConnDL("w", 1, 5); }, 1, "DL105;"},
        {20, [](CLinkcore& l) { return l.ConnDL("R", 1, 5); }, 1, "DL;"},
        {20, [](CLinkcore& l) { return l.ConnDL("R", 2, 5); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnDL("W", 1, 100); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnDL("W", 1, 5); }, 0, ""},
        // Keying text: blank, then the text padded to 24 characters.
        {20, [](CLinkcore& l) { return l.ConnKY("W", T("")); }, 1, "KY" + Blanks(25) + ";"},
        {19, [](CLinkcore& l) { return l.ConnKY("W", T("CQ")); }, 1, "KY CQ" + Blanks(22) + ";"},
        {19, [](CLinkcore& l) { return l.ConnKY("W", T("ABCDEFGHIJKLMNOPQRSTUVWX")); }, 1,
         "KY ABCDEFGHIJKLMNOPQRSTUVWX;"},
        {19, [](CLinkcore& l) { return l.ConnKY("W", T("ABCDEFGHIJKLMNOPQRSTUVWXY")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnKY("W", T("CQ;PS0")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnKY("W", nullptr); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnKY("R", nullptr); }, 1, "KY;"},
        // TC: its own texts, ETX first to end a transfer; P1 is not used.
        {19, [](CLinkcore& l) { return l.ConnTC("W", 7, 1); }, 1, "\x03;\rTC 1;\r"},
        {19, [](CLinkcore& l) { return l.ConnTC("W", 7, 0); }, 1, "\rTC 0;"},
        {19, [](CLinkcore& l) { return l.ConnTC("W", 0, 2); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnTC("R", 5, 5); }, 1, "TC;"},
        {20, [](CLinkcore& l) { return l.ConnTC("R", 0, 0); }, 0, ""},
        // Builders without a selector.
        {20, [](CLinkcore& l) { return l.ConnBD(); }, 1, "BD;"},
        {19, [](CLinkcore& l) { return l.ConnBU(); }, 1, "BU;"},
        {20, [](CLinkcore& l) { return l.ConnBY(); }, 1, "BY;"},
        {20, [](CLinkcore& l) { return l.ConnCH(1); }, 1, "CH1;"},
        {20, [](CLinkcore& l) { return l.ConnCH(2); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnCI(); }, 1, "CI;"},
        {20, [](CLinkcore& l) { return l.ConnCI(); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnDN(0); }, 1, "DN;"},
        {19, [](CLinkcore& l) { return l.ConnDN(5); }, 1, "DN05;"},
        {20, [](CLinkcore& l) { return l.ConnDN(100); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnFD(); }, 1, "FD;"},
        {20, [](CLinkcore& l) { return l.ConnFD(); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnIF(); }, 1, "IF;"},
        {20, [](CLinkcore& l) { return l.ConnME(); }, 1, "ME;"},
        {19, [](CLinkcore& l) { return l.ConnME(); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnMR(1, 2, 99); }, 1, "MR1299;"},
        {20, [](CLinkcore& l) { return l.ConnMR(1, 0, 99); }, 1, "MR1099;"},
        {20, [](CLinkcore& l) { return l.ConnMR(1, 1, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnMR(2, 0, 0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnOI(); }, 1, "OI;"},
        {20, [](CLinkcore& l) { return l.ConnOP(); }, 1, "OP;"},
        {19, [](CLinkcore& l) { return l.ConnPI(5); }, 1, "PI5;"},
        {19, [](CLinkcore& l) { return l.ConnPI(6); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnQI(); }, 1, "QI;"},
        {19, [](CLinkcore& l) { return l.ConnRC(); }, 1, "RC;"},
        {20, [](CLinkcore& l) { return l.ConnRS(); }, 1, "RS;"},
        {20, [](CLinkcore& l) { return l.ConnRX(); }, 1, "RX;"},
        {19, [](CLinkcore& l) { return l.ConnSI(9, T("ABCDEFGH")); }, 1, "SI9ABCDEFGH;"},
        {19, [](CLinkcore& l) { return l.ConnSI(9, T("ABCDEFGHI")); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnSI(1, T("A")); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSM(3); }, 1, "SM3;"},
        {20, [](CLinkcore& l) { return l.ConnSM(0); }, 1, "SM0;"},
        {20, [](CLinkcore& l) { return l.ConnSM(1); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnSR(2); }, 1, "SR2;"},
        {20, [](CLinkcore& l) { return l.ConnSR(0); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnSV(); }, 1, "SV;"},
        {19, [](CLinkcore& l) { return l.ConnTD(9); }, 1, "TD09;"},
        {19, [](CLinkcore& l) { return l.ConnTD(10); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnTI(); }, 1, "TI;"},
        {20, [](CLinkcore& l) { return l.ConnTI(); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnTX(); }, 1, "TX;"},
        {20, [](CLinkcore& l) { return l.ConnTX(); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnTX2(1); }, 1, "TX1;"},
        {20, [](CLinkcore& l) { return l.ConnTX2(4294967295u); }, 1, "TX4294967295;"},
        {19, [](CLinkcore& l) { return l.ConnTX2(1); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnTY(); }, 1, "TY;"},
        {20, [](CLinkcore& l) { return l.ConnUP(0); }, 1, "UP;"},
        {19, [](CLinkcore& l) { return l.ConnUP(7); }, 1, "UP07;"},
        {19, [](CLinkcore& l) { return l.ConnUP(100); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnUR(T("ABC")); }, 1, "UR" + Blanks(125) + "ABC;"},
        {19, [](CLinkcore& l) { return l.ConnUT(T("")); }, 1, "UT" + Blanks(128) + ";"},
        {19, [](CLinkcore& l) { return l.ConnUT(T(std::string(128, 'x').c_str())); }, 1, "UT" + std::string(128, 'x') + ";"},
        {19, [](CLinkcore& l) { return l.ConnUT(T(std::string(129, 'x').c_str())); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnUR(nullptr); }, 0, ""},
        {19, [](CLinkcore& l) { return l.ConnVR(0); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnVR(0); }, 1, "VR0;"},
        {19, [](CLinkcore& l) { return l.ConnVR(2); }, 1, "VR2;"},
        {20, [](CLinkcore& l) { return l.ConnVV(); }, 1, "VV;"},
        {19, [](CLinkcore& l) { return l.ConnVV(); }, 0, ""},
        {20, [](CLinkcore& l) { return l.ConnXI(); }, 1, "XI;"},
        {19, [](CLinkcore& l) { return l.ConnXI(); }, 0, ""},
        // The memory write: sixteen fields, the last a text.
        {19,
         [](CLinkcore& l) {
             return l.ConnMW(1, 9, 99, T("14195000"), 9, 1, 3, 39, 38, 103, 5, 9, 999999999, 99, 9, T("ABCDEFG"));
         },
         1, "MW" "1" "9" "99" "00014195000" "9" "1" "3" "39" "38" "103" "5" "9" "999999999" "99" "9" "ABCDEFG" ";"},
        {20,
         [](CLinkcore& l) {
             return l.ConnMW(0, 0, 5, T("7050000"), 1, 0, 2, 99, 99, 0, 7, 0, 0, 12, 3, T("ABCDEFGH"));
         },
         1, "MW" "0" "0" "05" "00007050000" "1" "0" "2" "99" "99" "000" "7" "0" "000000000" "12" "3" "ABCDEFGH" ";"},
        {19,
         [](CLinkcore& l) { return l.ConnMW(1, 9, 99, T("1"), 9, 1, 3, 39, 38, 103, 5, 9, 0, 99, 9, T("ABCDEFGH")); },
         0, ""},
        {20, [](CLinkcore& l) { return l.ConnMW(0, 1, 5, T("1"), 1, 0, 2, 99, 99, 0, 7, 0, 0, 12, 3, T("")); }, 0,
         ""},
        {20, [](CLinkcore& l) { return l.ConnMW(0, 0, 5, T("1"), 1, 0, 2, 99, 99, 0, 10, 0, 0, 12, 3, T("")); }, 0,
         ""},
        {20,
         [](CLinkcore& l) {
             return l.ConnMW(0, 0, 5, T("100000000000"), 1, 0, 2, 99, 99, 0, 7, 0, 0, 12, 3, T(""));
         },
         0, ""},
    };
    return examples;
}

class BuilderLine : public LineFixture {};

TEST_F(BuilderLine, WritesExactlyTheCommandsOfEachExample)
{
    for (const Example& example : Examples()) {
        state_ = {};
        setModel(example.model);
        reply(example.replies);
        const auto [result, line] = capture([&] { return example.call(linkcore_); });
        EXPECT_EQ(result, example.result) << "line \"" << example.line << "\" on model " << example.model;
        EXPECT_EQ(line, example.line) << "on model " << example.model;
    }
}

TEST_F(BuilderLine, EveryBuilderHasAnExample)
{
    std::vector<std::string> missing;
    for (const BuilderEntry& builder : Builders()) {
        const std::string mnemonic(builder.name.substr(0, 2));
        const bool covered = std::any_of(Examples().begin(), Examples().end(), [&](const Example& example) {
            return example.result == 1 && example.line.find(mnemonic) != std::string::npos;
        });
        if (!covered) {
            missing.emplace_back(builder.name);
        }
    }
    EXPECT_EQ(missing, std::vector<std::string>{});
}

TEST_F(BuilderLine, PausesOnlyBeforeTheReadBacksThatAskForIt)
{
    // A failed set (no write) is not read back, and a read request never is.
    setModel(kModelTarsel);
    EXPECT_EQ(capture([&] { return linkcore_.ConnGT("R", 5); }).second, "GT;");
    EXPECT_EQ(pauses_, 0);
    EXPECT_EQ(capture([&] { return linkcore_.ConnGT("W", 1000); }).second, "");
    EXPECT_EQ(pauses_, 0);
    EXPECT_EQ(capture([&] { return linkcore_.ConnGT("W", 5); }).second, "GT005;|GT;");
    EXPECT_EQ(pauses_, 1);
    EXPECT_EQ(capture([&] { return linkcore_.ConnSS2("W", 0, 0, T("1")); }).second, "SS0000000000001;SS00;");
    EXPECT_EQ(pauses_, 0);
}

TEST_F(BuilderLine, ReadBackResultIsNotReported)
{
    // The set is written; its read-back is refused at the model test once the model
    // changes in the pause, and the builder still reports the set.
    setModel(kModelTarsel);
    linkcore::commands::SetReadBackPause([] { LinkcoreShared::instance().radioState.ID.model = 0; });
    const auto [result, line] = capture([&] { return linkcore_.ConnGT("W", 7); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(line, "GT007;");
}

TEST_F(BuilderLine, PassThroughRefusesEveryBuilderButTransferControl)
{
    for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
        setModel(model);
        shared_.passThrough = 1;
        for (const BuilderEntry& builder : Builders()) {
            const linkcore::commands::Row& row = RowNamed(builder.name);
            if (row.transferControl || !linkcore::commands::Serves(row.models, model)) {
                continue;
            }
            const std::vector<Arg> args = ValidArgs(row, model);
            for (const char* selector : {"R", "W"}) {
                const auto [result, line] = capture([&] { return builder.call(linkcore_, selector, args); });
                EXPECT_EQ(result, 0) << "Conn" << builder.name << " on model " << model;
                EXPECT_EQ(line, "") << "Conn" << builder.name << " on model " << model;
            }
        }
        EXPECT_EQ(shared_.passThrough.load(), 1);
    }
    // The text is written unchanged, and TC takes the radio back to command mode.
    EXPECT_EQ(capture([&] { return connDirect("ID;"); }), std::make_pair(1, std::string("ID;")));
    setModel(kModelCorvex);
    EXPECT_EQ(capture([&] { return linkcore_.ConnTC("R", 0, 0); }), std::make_pair(1, std::string("TC;")));
    EXPECT_EQ(capture([&] { return linkcore_.ConnTC("W", 0, 0); }), std::make_pair(1, std::string("\rTC 0;")));
    EXPECT_EQ(shared_.passThrough.load(), 1);
    EXPECT_EQ(capture([&] { return linkcore_.ConnTC("W", 12345, 1); }),
              std::make_pair(1, std::string("\x03;\rTC 1;\r")));
    EXPECT_EQ(shared_.passThrough.load(), 0);
    EXPECT_EQ(capture([&] { return linkcore_.ConnAI("W", 0); }), std::make_pair(1, std::string("AI0;")));
}

TEST_F(BuilderLine, TransferControlServesOnlyModel19)
{
    setModel(kModelCorvex);
    shared_.passThrough = 1;
    EXPECT_EQ(capture([&] { return linkcore_.ConnTC("W", 0, 2); }), std::make_pair(0, std::string()));
    EXPECT_EQ(shared_.passThrough.load(), 1);
    setModel(kModelTarsel);
    for (const unsigned setting : {0u, 1u}) {
        EXPECT_EQ(capture([&] { return linkcore_.ConnTC("W", 0, setting); }), std::make_pair(0, std::string()));
    }
    EXPECT_EQ(capture([&] { return linkcore_.ConnTC("R", 0, 0); }), std::make_pair(0, std::string()));
    EXPECT_EQ(shared_.passThrough.load(), 1);
}

TEST_F(BuilderLine, UnknownModelRefusesEveryBuilder)
{
    for (const std::int32_t model : {0, 1, 18, 21}) {
        setModel(model);
        for (const BuilderEntry& builder : Builders()) {
            const std::vector<Arg> args = ValidArgs(RowNamed(builder.name), kModelCorvex);
            for (const char* selector : {"R", "W"}) {
                const auto [result, line] = capture([&] { return builder.call(linkcore_, selector, args); });
                EXPECT_EQ(result, 0) << "Conn" << builder.name << " on model " << model;
                EXPECT_EQ(line, "") << "Conn" << builder.name << " on model " << model;
            }
        }
    }
}

TEST_F(BuilderLine, EveryBuilderWritesOnEachModelItServes)
{
    for (const BuilderEntry& builder : Builders()) {
        const linkcore::commands::Row& row = RowNamed(builder.name);
        for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
            setModel(model);
            const std::vector<Arg> args = ValidArgs(row, model);
            const auto [result, line] = capture([&] { return builder.call(linkcore_, "W", args); });
            const bool served = linkcore::commands::Serves(row.models, model);
            EXPECT_EQ(result, served ? 1 : 0) << "Conn" << builder.name << " on model " << model;
            EXPECT_EQ(line.starts_with(row.mnemonic()) || (row.transferControl && served), served)
                << "Conn" << builder.name << " on model " << model << ": \"" << line << "\"";
            shared_.passThrough = 0;
        }
    }
}

class ClosedLink : public radiotest::RadioStateFixture {};

TEST_F(ClosedLink, EveryBuilderRefusesWithoutTheLink)
{
    for (const std::int32_t model : {kModelCorvex, kModelTarsel}) {
        setModel(model);
        for (const BuilderEntry& builder : Builders()) {
            const std::vector<Arg> args = ValidArgs(RowNamed(builder.name), model);
            EXPECT_EQ(builder.call(linkcore_, "R", args), 0) << "Conn" << builder.name;
            EXPECT_EQ(builder.call(linkcore_, "W", args), 0) << "Conn" << builder.name;
        }
    }
}

TEST_F(ClosedLink, RefusalWithoutTheLinkClearsNothing)
{
    setModel(kModelTarsel);
    parse("BY12;TX1;ME123;");
    EXPECT_EQ(linkcore_.ConnBY(), 0);
    EXPECT_EQ(linkcore_.ConnTX2(0), 0);
    EXPECT_EQ(linkcore_.ConnME(), 0);
    unsigned a = 0, b = 0, c = 0;
    EXPECT_EQ(linkcore_.RcvDataBY(&a, &b), 1);
    EXPECT_EQ(linkcore_.RcvDataTX(&a), 1);
    EXPECT_EQ(linkcore_.RcvDataME(&a, &b, &c), 1);
}

} // namespace
} // namespace apitest
