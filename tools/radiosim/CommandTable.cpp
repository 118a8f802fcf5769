// Compile-time checks of the command table: the procedures in Transceiver.cpp
// rely on these invariants instead of testing them at run time.
#include "tools/radiosim/CommandTable.h"

namespace radiosim {
namespace {

constexpr bool IsMnemonic(std::string_view text)
{
    return text.size() == 2 && text[0] >= 'A' && text[0] <= 'Z' && text[1] >= 'A' && text[1] <= 'Z';
}

constexpr bool SortedAndUnique()
{
    for (std::size_t i = 0; i < kCommandCount; ++i) {
        if (!IsMnemonic(kCommands[i].mnemonic)) {
            return false;
        }
        if (i > 0 && !(kCommands[i - 1].mnemonic < kCommands[i].mnemonic)) {
            return false;
        }
    }
    return true;
}

// A model missing from a row has no format; a model present has a well-formed one.
constexpr bool FormatsFollowModels()
{
    for (const CommandRow& row : kCommands) {
        if (row.models == 0) {
            return false;
        }
        for (int model : {19, 20}) {
            const std::string_view format = FormatFor(row, model);
            const bool present = (row.models & ModelBit(model)) != 0;
            if (!present && !format.empty()) {
                return false;
            }
            if (present && FormatWidth(format) < 0) {
                return false;
            }
        }
    }
    return true;
}

// Replies of one mnemonic have one length whichever model answers.
constexpr bool WidthsAgreeAcrossModels()
{
    for (const CommandRow& row : kCommands) {
        if (row.models == BothModels && FormatWidth(row.format19) != FormatWidth(row.format20)) {
            return false;
        }
    }
    return true;
}

// The start value of every stored row is one its own set command could store.
constexpr bool InitialValuesFitFormats()
{
    for (const CommandRow& row : kCommands) {
        for (int model : {19, 20}) {
            if ((row.models & ModelBit(model)) == 0) {
                continue;
            }
            const std::string_view format = FormatFor(row, model);
            switch (row.kind) {
            case Kind::Value:
            case Kind::Power:
            case Kind::Keying:
            case Kind::Terminal:
                if (!Matches(format, row.initial)) {
                    return false;
                }
                break;
            case Kind::Indexed:
                if (FirstField(format).empty() || !Matches(WithoutFirstField(format), row.initial)) {
                    return false;
                }
                break;
            case Kind::Menu:
                if (FormatWidth(format) != 7 || row.initial.empty()) {
                    return false;
                }
                break;
            case Kind::Identity:
            case Kind::Status:
            case Kind::Transmit:
            case Kind::Receive:
                break;
            }
        }
    }
    return true;
}

static_assert(SortedAndUnique(), "command rows must be sorted by mnemonic, each once");
static_assert(FormatsFollowModels(), "formats must be present exactly for the row's models");
static_assert(WidthsAgreeAcrossModels(), "both models must answer a mnemonic with one width");
static_assert(InitialValuesFitFormats(), "start values must fit the row's formats");
static_assert(FindCommand("FA")->mnemonic == "FA" && FindCommand("ZZ") == nullptr);
static_assert(Matches("1:1-7,9", "9") && !Matches("1:1-7,9", "8") && !Matches("1:1-7,9", "0"));
static_assert(Matches("2x 1", "3F1") && !Matches("2x 1", "3G1") && !Matches("11", "123"));

} // namespace
} // namespace radiosim
