#pragma once

// The printer's single-byte code tables whose character sets are known, by
// their place in one fixed order (0 .. kCodeTableCount-1) and by n of ESC t n.

#include <cstdint>

namespace kesto {

constexpr int kCodeTableCount = 21;

// n of ESC t n for the table at `table`, and the place of table n (-1: none known).
int CodeTableNumber(int table);
int CodeTableIndex(int number);

// The character byte `byte` stands for in table `table`; 0 for none.
char32_t CodeTableChar(int table, uint8_t byte);

// The tables (bit i: the table at place i) that hold `cp` in their upper half.
uint32_t TablesHolding(char32_t cp);
// The byte of `cp` in table `table`, which holds it.
uint8_t CodeTableByte(char32_t cp, int table);

}  // namespace kesto
