#pragma once
// The two libraries in use, one per flavour. Quarrow asks the modern library first and the
// legacy one second; a missing library is a null pointer.

#include "catalog/ObjectModel.h"

#include <memory>

class CObjectModel
{
public:
    // The library of a flavour, or null when it is missing.
    static std::shared_ptr<ILibrary> GetLibrary(EFlavour flavour);

    // Puts other libraries in place (tests, the command line's choice). Null: missing.
    static void SetLibraries(std::shared_ptr<ILibrary> modern, std::shared_ptr<ILibrary> legacy);

    // The libraries Quarrow ships with: catalogue snapshot files for names ending in
    // ".qcat", live servers over ODBC for any other name.
    static void UseDefaultLibraries();
};
