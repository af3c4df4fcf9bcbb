#include "KeyboardShortcuts/XkbKeyNames.h"

#include <array>

namespace vandrel::KeyboardShortcuts {
namespace {

// Positions on a PC keyboard. The Help key sits where PC keyboards have Insert; the keypad Clear
// key where they have Num Lock. Fn has a keycode name but is normally handled by the keyboard itself.
constexpr std::array<XkbKeyName, 113> kTable{{
    {0, "AC01"},   {11, "AB05"},  {8, "AB03"},   {2, "AC03"},   {14, "AD03"},  {3, "AC04"},   {5, "AC05"},
    {4, "AC06"},   {34, "AD08"},  {38, "AC07"},  {40, "AC08"},  {37, "AC09"},  {46, "AB07"},  {45, "AB06"},
    {31, "AD09"},  {35, "AD10"},  {12, "AD01"},  {15, "AD04"},  {1, "AC02"},   {17, "AD05"},  {32, "AD07"},
    {9, "AB04"},   {13, "AD02"},  {7, "AB02"},   {16, "AD06"},  {6, "AB01"},   {29, "AE10"},  {18, "AE01"},
    {19, "AE02"},  {20, "AE03"},  {21, "AE04"},  {23, "AE05"},  {22, "AE06"},  {26, "AE07"},  {28, "AE08"},
    {25, "AE09"},  {57, "CAPS"},  {56, "LFSH"},  {63, "I472"},  {59, "LCTL"},  {58, "LALT"},  {55, "LWIN"},
    {54, "RWIN"},  {61, "RALT"},  {62, "RCTL"},  {60, "RTSH"},  {36, "RTRN"},  {42, "BKSL"},  {50, "TLDE"},
    {43, "AB08"},  {24, "AE12"},  {27, "AE11"},  {47, "AB09"},  {39, "AC11"},  {41, "AC10"},  {44, "AB10"},
    {49, "SPCE"},  {48, "TAB"},   {33, "AD11"},  {30, "AD12"},  {116, "PGUP"}, {121, "PGDN"}, {115, "HOME"},
    {119, "END"},  {126, "UP"},   {124, "RGHT"}, {125, "DOWN"}, {123, "LEFT"}, {53, "ESC"},   {51, "BKSP"},
    {117, "DELE"}, {114, "INS"},  {74, "MUTE"},  {72, "VOL+"},  {73, "VOL-"},  {122, "FK01"}, {120, "FK02"},
    {99, "FK03"},  {118, "FK04"}, {96, "FK05"},  {97, "FK06"},  {98, "FK07"},  {100, "FK08"}, {101, "FK09"},
    {109, "FK10"}, {103, "FK11"}, {111, "FK12"}, {105, "FK13"}, {107, "FK14"}, {113, "FK15"}, {106, "FK16"},
    {64, "FK17"},  {79, "FK18"},  {80, "FK19"},  {90, "FK20"},  {82, "KP0"},   {83, "KP1"},   {84, "KP2"},
    {85, "KP3"},   {86, "KP4"},   {87, "KP5"},   {88, "KP6"},   {89, "KP7"},   {91, "KP8"},   {92, "KP9"},
    {71, "NMLK"},  {65, "KPDL"},  {75, "KPDV"},  {76, "KPEN"},  {81, "KPEQ"},  {78, "KPSU"},  {67, "KPMU"},
    {69, "KPAD"},
}};

}  // namespace

std::span<const XkbKeyName> xkbKeyNameTable() { return kTable; }

std::optional<std::string_view> xkbKeyNameForCarbonKeyCode(std::int64_t code) {
    for (const auto& e : kTable)
        if (e.carbonKeyCode == code) return e.name;
    return std::nullopt;
}

std::optional<std::int64_t> carbonKeyCodeForXkbKeyName(std::string_view name) {
    for (const auto& e : kTable)
        if (e.name == name) return e.carbonKeyCode;
    return std::nullopt;
}

}  // namespace vandrel::KeyboardShortcuts
