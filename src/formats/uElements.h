// Van der Waals radius and display colour of each chemical element, looked up by symbol.
#pragma once

#include <string_view>

#include "support/uGeometry.h"

namespace pelorin {

// Elements with a table entry: H (1) to Lr (103).
constexpr int kLastElementNumber = 103;

// Radius and colour of an element that is not in the table (or a symbol that names none):
// 2.0 Angstrom, the deep pink (FF1493) that Jmol gives unknown atoms.
constexpr float kUnknownElementRadius = 2.0f;
constexpr TMeshColor kUnknownElementColor = {1.0f, 20 / 255.0f, 147 / 255.0f};

struct TElementStyle {
  float Radius = kUnknownElementRadius;  // van der Waals radius in Angstrom
  TMeshColor Color = kUnknownElementColor;
};

// Atomic number of a symbol, matched without regard to case ("CL", "cl" and "Cl" give 17);
// 0 for anything that is not the symbol of an element in the table.
int ElementNumber(std::string_view symbol);

// Proper-case symbol of atomic number 1..kLastElementNumber ("Cl"); empty otherwise.
std::string_view ElementSymbol(int number);

// Style of an atomic number or symbol; the unknown style for anything outside the table.
TElementStyle ElementStyle(int number);
TElementStyle ElementStyle(std::string_view symbol);

}  // namespace pelorin
