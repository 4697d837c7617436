#pragma once

#include <array>
#include <cstdint>

namespace quelsor {

// One cell a formula can read. Kind 0: no number (reads as +infinity); any other Kind: Value.
struct FormulaCell {
    std::uint8_t Kind = 0;
    double Value = 0.0;
};

// 100 columns (A..Z = 0..25, AA = 26 ... CV = 99) by 100 rows (1..100 in formulas, stored as
// indices 0..99) of optional cells. The table does not own the cells it refers to. Whoever
// decodes answers owns one table (the window, a decoder session) and hands it to its formula
// evaluator and its zone cells.
class CellTable {
public:
    static constexpr int kColumns = 100;
    static constexpr int kRows = 100;
    static constexpr int kZoneColumn = 25; // column Z

    FormulaCell* Slot(int column, int row) const;
    void SetSlot(int column, int row, FormulaCell* cell);
    // Value of a cell for formulas: an empty slot (or indices out of range) reads 0.0, a cell of
    // Kind 0 reads +infinity, any other cell its Value.
    double ReadCell(int column, int row) const;

private:
    std::array<FormulaCell*, kColumns * kRows> slots_ {};
};

// The 100 cells of column Z, rows 1..100, entered in a table for the lifetime of this object.
// Cell Z<n> holds zone n's last stored raw value; a cell never stored holds no number (Kind 0).
class ZoneCells {
public:
    explicit ZoneCells(CellTable& table);
    ~ZoneCells();
    ZoneCells(const ZoneCells&) = delete;
    ZoneCells& operator=(const ZoneCells&) = delete;

    // The cell of zone number n (1..100), or nullptr for any other number.
    FormulaCell* Cell(int zoneNumber);

private:
    CellTable& table_;
    std::array<FormulaCell, CellTable::kRows> cells_ {};
};

} // namespace quelsor
