#include "FormulaCells.h"

#include <limits>

namespace quelsor {

namespace {
    bool InTable(int column, int row)
    {
        return column >= 0 && column < CellTable::kColumns && row >= 0 && row < CellTable::kRows;
    }
}

FormulaCell* CellTable::Slot(int column, int row) const
{
    return InTable(column, row) ? slots_[static_cast<std::size_t>(column * kRows + row)] : nullptr;
}

void CellTable::SetSlot(int column, int row, FormulaCell* cell)
{
    if (InTable(column, row))
        slots_[static_cast<std::size_t>(column * kRows + row)] = cell;
}

double CellTable::ReadCell(int column, int row) const
{
    const FormulaCell* cell = Slot(column, row);
    if (cell == nullptr)
        return 0.0;
    if (cell->Kind == 0)
        return std::numeric_limits<double>::infinity();
    return cell->Value;
}

ZoneCells::ZoneCells(CellTable& table)
    : table_(table)
{
    for (int row = 0; row < CellTable::kRows; ++row)
        table_.SetSlot(CellTable::kZoneColumn, row, &cells_[static_cast<std::size_t>(row)]);
}

ZoneCells::~ZoneCells()
{
    for (int row = 0; row < CellTable::kRows; ++row) {
        if (table_.Slot(CellTable::kZoneColumn, row) == &cells_[static_cast<std::size_t>(row)])
            table_.SetSlot(CellTable::kZoneColumn, row, nullptr);
    }
}

FormulaCell* ZoneCells::Cell(int zoneNumber)
{
    if (zoneNumber < 1 || zoneNumber > CellTable::kRows)
        return nullptr;
    return &cells_[static_cast<std::size_t>(zoneNumber - 1)];
}

} // namespace quelsor
