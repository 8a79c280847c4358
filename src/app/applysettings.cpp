#include "app/applysettings.h"

#include "app/mainmodel.h"

namespace ApplySettings {

const QList<int> &columns(Group group)
{
    static const std::array<QList<int>, GroupCount> table = {{
        {Col::DT, Col::DArt},
        {Col::ZT, Col::ZTxt},
        {Col::HG, Col::Sch, Col::SchGr, Col::FontN, Col::FSize, Col::FStyle, Col::HGColor,
         Col::SchColor, Col::TxtColor},
        {Col::Rx, Col::Ry, Col::Pos},
        {Col::Rot},
        {Col::AVerz},
        {Col::TimeDN},
        {Col::TimeDat},
    }};
    return table.at(group);
}

Choice initialChoice()
{
    Choice c;
    c.groups.fill(true);
    c.groups[Rotation] = false;
    return c;
}

void apply(MainModel &model, const Choice &choice)
{
    const int count = qMin(model.entryCount(), model.NGrid2.rowCount());
    for (int i = 0; i < count; ++i) {
        if (choice.selectedOnly && !model.isSelected(i))
            continue;
        for (int g = 0; g < GroupCount; ++g) {
            if (!choice.groups[g])
                continue;
            for (int col : columns(Group(g)))
                model.NGrid2.setCell(col, i, model.cell(col));
        }
    }
}

} // namespace ApplySettings
