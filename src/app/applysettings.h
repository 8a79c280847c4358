#pragma once

#include <QList>
#include <array>

class MainModel;

// Copies chosen groups of the current settings row into the job table rows of the
// selected or of all entries. Datei, Suffix, Miniat. and StpV belong to no group: every
// entry keeps its own source and the preview switch is not per entry.
namespace ApplySettings {

// The groups in the order the dialog lists and applies them.
enum Group : int {
    TimeMode,     // DT, DArt
    ExtraText,    // ZT, ZTxt
    FontLayout,   // HG, Sch, SchGr, FontN, FSize, FStyle, HGColor, SchColor, TxtColor
    Position,     // Rx, Ry, Pos
    Rotation,     // Rot
    OutputFolder, // AVerz
    FileName,     // TimeDN
    FileTime,     // TimeDat
    GroupCount
};

const QList<int> &columns(Group group);

struct Choice {
    bool selectedOnly = false;
    std::array<bool, GroupCount> groups{};
};

// The choices of a fresh dialog: all entries, every group except the rotation.
Choice initialChoice();

// Applies to entries 0..n-1 in order; nothing else of the model changes.
void apply(MainModel &model, const Choice &choice);

} // namespace ApplySettings
