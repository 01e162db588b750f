// Writes the batches the live library sends for a search of every object type, as a
// bsqlodbc input file ("go" after each batch), so bench/live_bench.sh can time FreeTDS
// fetching the very same results.
//   live_queries objects|scripts DATABASE...
#include "catalog/CatalogQueries.h"
#include "platform/Utf.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    const std::string kind = argc > 1 ? argv[1] : "";
    if (argc < 3 || (kind != "objects" && kind != "scripts")) {
        std::fprintf(stderr, "usage: live_queries objects|scripts DATABASE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const auto use = CatalogQueries::UseDatabase(quarrow::FromUtf8(argv[i]));
        if (!use) {
            std::fprintf(stderr, "live_queries: '%s' cannot be quoted\n", argv[i]);
            return 2;
        }
        const auto query = kind == "objects"
                               ? CatalogQueries::Objects(EFlavour::Modern, ObjectType::All)
                               : CatalogQueries::Scripts(EFlavour::Modern, ObjectType::All);
        std::printf("%s\ngo\n%s\ngo\n", quarrow::ToUtf8(*use).c_str(),
                    quarrow::ToUtf8(query).c_str());
    }
    return 0;
}
