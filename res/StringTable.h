#pragma once
// The string table: texts by resource id.

#include <QString>

namespace StringTable {

// Loads string n into str; false (str unchanged) when there is no such string.
bool Load(int nId, QString& str);
// String n, or an empty string.
QString Get(int nId);

} // namespace StringTable
